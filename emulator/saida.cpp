#include "saida.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace emulador {

Saida::Saida(int fd) : fd_(fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        fechada_ = true;
        return;
    }
    // A regular file takes what it is given without waiting.
    if (S_ISREG(info.st_mode)) return;
    const std::string caminho = "/proc/self/fd/" + std::to_string(fd);
    proprio_ = Descritor(::open(caminho.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (proprio_) {
        fd_ = proprio_.fd();
        return;
    }
    // A socket cannot be opened again: its own description becomes non-blocking.
    if (const int modos = ::fcntl(fd, F_GETFL); modos >= 0)
        ::fcntl(fd, F_SETFL, modos | O_NONBLOCK);
}

void Saida::Poe(std::string_view texto) {
    if (fechada_) return;
    if (fila_.size() + texto.size() > kMaxFila) {
        ++descartados_;
        return;
    }
    fila_ += texto;
    Escreve();
}

void Saida::Escreve() {
    while (!fila_.empty() && !fechada_) {
        const ssize_t n = ::write(fd_, fila_.data(), fila_.size());
        if (n > 0) {
            fila_.erase(0, static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno != EAGAIN) {
            // The reader went away (EPIPE), or the stream failed: nobody will read more.
            fechada_ = true;
            fila_.clear();
        } else {
            return;
        }
    }
}

} // namespace emulador
