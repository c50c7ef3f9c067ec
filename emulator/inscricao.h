// The emulator's entry for the library's "Default" discovery: a file emulador-<pid> holding
// the line's device path, in a folder only its user can write to.
#pragma once

#include <filesystem>
#include <string>

namespace emulador {

// $XDG_RUNTIME_DIR/testeecf, else $HOME/.testeecf. Throws std::runtime_error with neither.
std::filesystem::path PastaDeRegistro();

class Registro {
  public:
    // Creates the folder when missing (mode 0700), refuses one that others could write to,
    // removes the entries of emulators no longer running, and writes this process's entry
    // atomically. Throws std::runtime_error or std::system_error.
    explicit Registro(const std::string& caminhoDoTerminal);
    ~Registro();
    Registro(const Registro&) = delete;
    Registro& operator=(const Registro&) = delete;

    const std::filesystem::path& arquivo() const { return arquivo_; }

  private:
    std::filesystem::path arquivo_;
};

} // namespace emulador
