// Reads and writes one value of a Windows-style profile file by section and key.
// Plain C++: shared by the program and the stand-in printer library.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace perfil {

// The value of `chave` in `secao` of the file, at most 2047 characters;
// empty when the file, the section or the key is missing. Never fails.
std::string LerString(const std::filesystem::path& arquivo, std::string_view secao,
                      std::string_view chave);

// Stores `valor` under `chave` in `secao`, creating the file, the section or the key
// when missing and leaving every other line as it was. The file is replaced atomically.
// Returns an empty error code on success.
std::error_code GravarString(const std::filesystem::path& arquivo, std::string_view secao,
                             std::string_view chave, std::string_view valor);

// The same two operations on the file's text, for callers and tests that hold it.
std::string LerDoTexto(std::string_view texto, std::string_view secao, std::string_view chave);
std::string GravarNoTexto(std::string_view texto, std::string_view secao, std::string_view chave,
                          std::string_view valor);

} // namespace perfil
