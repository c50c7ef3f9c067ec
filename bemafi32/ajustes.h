// The library's settings, read from Bemafi32.ini.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace bemafi32 {

// The section of Bemafi32.ini that belongs to the library; the program owns "Sistema".
inline constexpr std::string_view kSecao = "Bemafi32";

struct Ajustes {
    std::string porta = "Default";                    // "Porta" of "Sistema"
    std::chrono::milliseconds timeout{1000};          // status queries and discovery
    std::chrono::milliseconds timeoutLeituraX{20000}; // the printer answers once printed
    unsigned velocidade = 115200;                     // bits per second
    std::filesystem::path log;                        // traffic log; empty: off
    std::string logRecusado; // a Log that is no plain file name, so no log
    std::map<int, std::string> portasCom;             // COM1..COM15 set by the file
};

// The settings in the text of a Bemafi32.ini found in `pasta` (where the log goes).
// Missing or unreadable values keep their defaults.
Ajustes LeAjustes(std::string_view texto, const std::filesystem::path& pasta);

// Reads the file; nullopt when it does not exist or cannot be read.
std::optional<Ajustes> CarregaAjustes(const std::filesystem::path& arquivo);

} // namespace bemafi32
