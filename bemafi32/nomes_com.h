// The names COM1 to COM15 that the program offers, and the devices they stand for.
#pragma once

#include "ajustes.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace bemafi32 {

// "COM1".."COM15" in any letter case, as a number; nullopt for anything else.
std::optional<int> NumeroCom(std::string_view nome);

// The device of COMn: the library's own key COMn when the file sets it, else, in `dev`,
// COM1-COM4 -> ttyS0-3, COM5-COM10 -> ttyUSB0-5, COM11-COM15 -> ttyACM0-4.
std::string DispositivoCom(int numero, const Ajustes& ajustes,
                           const std::filesystem::path& dev = "/dev");

} // namespace bemafi32
