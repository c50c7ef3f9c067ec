// A step of a test run in a child process: a fault handled badly (an exception out of a C
// function, a wait that never ends) then fails its row instead of ending or hanging the
// test, and the step may run as a second user.
#pragma once

#include <QByteArray>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace teste {

struct Fim {
    bool aTempo = false; // the child ended before the limit (else it was killed)
    int estado = 0;      // as waitpid gives it
    QByteArray saida;    // what it wrote on the descriptor it was given
    QByteArray erros;    // its standard error
};

// The uid that a child of NoFilho(..., true) runs as: "nobody".
inline uid_t OutroUsuario() {
    const passwd* ninguem = ::getpwnam("nobody");
    return ninguem ? ninguem->pw_uid : 65534;
}

// Runs `passo` in a child, which writes what it finds on the descriptor it is given, and
// waits for it up to `limite`. With `comoOutroUsuario`, and when the test is root (root
// passes every permission check), the child becomes "nobody" first.
inline Fim NoFilho(const std::function<void(int)>& passo, std::chrono::milliseconds limite,
                   bool comoOutroUsuario = false) {
    Fim fim;
    int canal[2];
    int erros[2];
    if (::pipe2(canal, O_CLOEXEC) != 0) return fim;
    if (::pipe2(erros, O_CLOEXEC) != 0) {
        ::close(canal[0]);
        ::close(canal[1]);
        return fim;
    }
    const pid_t filho = ::fork();
    if (filho == 0) {
        ::close(canal[0]);
        ::close(erros[0]);
        ::dup2(erros[1], STDERR_FILENO);
        if (comoOutroUsuario && ::geteuid() == 0) {
            const passwd* ninguem = ::getpwnam("nobody");
            if (!ninguem || ::setgroups(0, nullptr) != 0 || ::setgid(ninguem->pw_gid) != 0 ||
                ::setuid(ninguem->pw_uid) != 0)
                ::_exit(200);
        }
        passo(canal[1]);
        ::_exit(0);
    }
    ::close(canal[1]);
    ::close(erros[1]);
    const int processo = static_cast<int>(::syscall(SYS_pidfd_open, filho, 0));
    const auto prazo = std::chrono::steady_clock::now() + limite;
    int abertos = 2;
    while (processo >= 0 && filho > 0) {
        pollfd esperas[] = {{processo, POLLIN, 0}, {canal[0], POLLIN, 0}, {erros[0], POLLIN, 0}};
        const auto resta =
            std::chrono::ceil<std::chrono::milliseconds>(prazo - std::chrono::steady_clock::now());
        if (resta.count() <= 0 || ::poll(esperas, 3, int(resta.count())) == 0) break;
        for (int i = 1; i <= 2; ++i) {
            if (esperas[i].fd < 0 || !esperas[i].revents) continue;
            char bloco[512];
            const auto n = ::read(esperas[i].fd, bloco, sizeof bloco);
            if (n > 0) (i == 1 ? fim.saida : fim.erros).append(bloco, n);
            if (n <= 0) {
                ::close(esperas[i].fd);
                (i == 1 ? canal[0] : erros[0]) = -1;
                --abertos;
            }
        }
        if ((esperas[0].revents & POLLIN) && abertos == 0) {
            fim.aTempo = true;
            break;
        }
    }
    if (!fim.aTempo && filho > 0) ::kill(filho, SIGKILL);
    if (filho > 0) ::waitpid(filho, &fim.estado, 0);
    if (processo >= 0) ::close(processo);
    if (canal[0] >= 0) ::close(canal[0]);
    if (erros[0] >= 0) ::close(erros[0]);
    return fim;
}

} // namespace teste
