// The pseudo-terminal the emulated printer sits on, and a descriptor that closes itself.
#pragma once

#include <string>
#include <unistd.h>
#include <utility>

namespace emulador {

class Descritor {
  public:
    Descritor() = default;
    explicit Descritor(int fd) : fd_(fd) {}
    ~Descritor() { Fecha(); }
    Descritor(Descritor&& outro) noexcept : fd_(std::exchange(outro.fd_, -1)) {}
    Descritor& operator=(Descritor&& outro) noexcept {
        if (this != &outro) {
            Fecha();
            fd_ = std::exchange(outro.fd_, -1);
        }
        return *this;
    }
    Descritor(const Descritor&) = delete;
    Descritor& operator=(const Descritor&) = delete;

    int fd() const { return fd_; }
    void Fecha() {
        if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    }

  private:
    int fd_ = -1;
};

struct Terminal {
    Descritor mestre;    // the printer's end, non-blocking
    Descritor escravo;   // the line's end, held open so that the line stays up between users
    std::string caminho; // the line's device path, e.g. /dev/pts/5
};

// A new raw pseudo-terminal. Throws std::system_error.
Terminal AbreTerminal();

// Writes all of `bytes` to `fd`, retrying on EINTR; false on any other failure.
bool EscreveTudo(int fd, const void* bytes, std::size_t tamanho);

} // namespace emulador
