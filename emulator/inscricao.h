// The emulator's registration for the library's "Default" discovery, in the folder and
// the form that inscricao/inscricao.h sets out.
#pragma once

#include <filesystem>
#include <string>

namespace emulador {

class Inscricao {
  public:
    // Creates the folder when missing (mode 0700), refuses one that others could write to,
    // removes the entries of emulators no longer running, and writes this process's entry
    // atomically. Throws std::runtime_error or std::system_error.
    explicit Inscricao(const std::string& caminhoDoTerminal);
    ~Inscricao();
    Inscricao(const Inscricao&) = delete;
    Inscricao& operator=(const Inscricao&) = delete;

    const std::filesystem::path& arquivo() const { return arquivo_; }

  private:
    std::filesystem::path arquivo_;
};

} // namespace emulador
