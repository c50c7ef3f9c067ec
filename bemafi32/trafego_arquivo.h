// The file side of the traffic log, one implementation per system (trafego_posix.cpp,
// trafego_windows.cpp): one line appended in one write, to a file that is safe to write.
#pragma once

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

namespace bemafi32 {

struct Acrescimo {
    bool recusado = false; // the name leads to something that must not be written: log off
    std::string porque;    // empty when the line was written
};

// Appends `texto` to `arquivo`, creating it for the user alone when missing, without
// following a link or waiting on a device.
Acrescimo AcrescentaAoLog(const std::filesystem::path& arquivo, std::string_view texto);

// The local time of `instante`, thread-safe.
std::tm HoraLocal(std::time_t instante);

// Writes `texto` to standard error, whole, without buffering.
void EscreveNoErroPadrao(std::string_view texto);

} // namespace bemafi32
