// The file side of the profile layer: reading a whole file and replacing it atomically.
// One implementation per operating system (arquivo_posix.cpp here); the text side in
// perfil.cpp stays portable.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

namespace perfil::arquivo {

// Puts the whole file into `texto`; a missing file gives the empty text.
std::error_code Ler(const std::filesystem::path& arquivo, std::string& texto);

// Replaces the file (an empty text when missing) with `transforma` of its current text:
// through a temporary file in the same folder, flushed and renamed over it, or in place
// when the folder forbids the temporary file. On failure the file is left as it was.
// Links, other users' files and held locks: see perfil.h.
std::error_code Reescrever(const std::filesystem::path& arquivo,
                           const std::function<std::string(std::string_view)>& transforma);

} // namespace perfil::arquivo
