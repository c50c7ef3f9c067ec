#include "terminal.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <system_error>
#include <termios.h>

namespace emulador {

namespace {

[[noreturn]] void Falha(const char* onde) {
    throw std::system_error(errno, std::generic_category(), onde);
}

} // namespace

Terminal AbreTerminal() {
    Terminal t;
    t.mestre = Descritor(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (t.mestre.fd() < 0) Falha("posix_openpt");
    if (::grantpt(t.mestre.fd()) != 0) Falha("grantpt");
    if (::unlockpt(t.mestre.fd()) != 0) Falha("unlockpt");
    char caminho[PATH_MAX];
    if (const int erro = ::ptsname_r(t.mestre.fd(), caminho, sizeof caminho); erro != 0) {
        errno = erro;
        Falha("ptsname_r");
    }
    t.caminho = caminho;

    // Both ends share one set of terminal settings: raw, 8 bits, no echo.
    termios modo{};
    if (::tcgetattr(t.mestre.fd(), &modo) != 0) Falha("tcgetattr");
    ::cfmakeraw(&modo);
    ::cfsetspeed(&modo, B9600);
    modo.c_cflag |= CLOCAL | CREAD;
    if (::tcsetattr(t.mestre.fd(), TCSANOW, &modo) != 0) Falha("tcsetattr");

    const int flags = ::fcntl(t.mestre.fd(), F_GETFL);
    if (flags < 0 || ::fcntl(t.mestre.fd(), F_SETFL, flags | O_NONBLOCK) != 0) Falha("fcntl");

    // Without an open line end, the printer's end reports a hang-up on every poll.
    t.escravo = Descritor(::open(caminho, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (t.escravo.fd() < 0) Falha(caminho);
    return t;
}

bool EscreveTudo(int fd, const void* bytes, std::size_t tamanho) {
    const auto* p = static_cast<const char*>(bytes);
    while (tamanho > 0) {
        const ssize_t n = ::write(fd, p, tamanho);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        tamanho -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace emulador
