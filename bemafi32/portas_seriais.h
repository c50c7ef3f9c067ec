// The real serial ports of a Linux system, as sysfs describes them.
#pragma once

#include "portas.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace bemafi32 {

// Where the system's devices are described. The library's exported functions look at the
// real ones; tests give a tree of their own, so that they never reach a real device.
struct Sistema {
    std::filesystem::path sysfs = "/sys";
    std::filesystem::path dev = "/dev";
};

// The real serial ports present, in a stable order: ttyS, ttyUSB, ttyACM, rfcomm, others,
// each by number. A port the kernel uses as console, or a ttyS without a UART, is left out.
std::vector<Candidato> PortasSeriais(const Sistema& sistema);

// `caminho` as a candidate when it leads to a real serial port.
std::optional<Candidato> PortaSerialEm(const std::string& caminho, const Sistema& sistema);

} // namespace bemafi32
