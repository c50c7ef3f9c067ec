// A file descriptor that closes itself: the line's ends, on either side of the protocol.
#pragma once

#include <unistd.h>
#include <utility>

namespace protocolo {

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
    explicit operator bool() const { return fd_ >= 0; }
    // Gives the descriptor up without closing it, to a new owner.
    int Solta() { return std::exchange(fd_, -1); }
    void Fecha() {
        if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    }

  private:
    int fd_ = -1;
};

} // namespace protocolo
