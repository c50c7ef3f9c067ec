// Starts a program and waits, without polling, for the X server to map its window, found
// by a part of its title. Prints the milliseconds from the start to the map and the
// program's peak resident memory in kilobytes by then, then ends the program.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string Titulo(Display* tela, Window janela) {
    const Atom nome = XInternAtom(tela, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(tela, "UTF8_STRING", False);
    Atom tipo = None;
    int formato = 0;
    unsigned long itens = 0, resto = 0;
    unsigned char* dados = nullptr;
    std::string titulo;
    if (XGetWindowProperty(tela, janela, nome, 0, 1024, False, utf8, &tipo, &formato, &itens,
                           &resto, &dados) == Success &&
        dados) {
        titulo.assign(reinterpret_cast<char*>(dados), itens);
        XFree(dados);
    }
    char* antigo = nullptr;
    if (titulo.empty() && XFetchName(tela, janela, &antigo) && antigo) {
        titulo = antigo;
        XFree(antigo);
    }
    return titulo;
}

// A window can be gone by the time its title is read (Wine maps short-lived helper windows):
// the read then finds no title, and the wait goes on.
int IgnoraErro(Display*, XErrorEvent*) { return 0; }

int Termina(pid_t filho, long& picoKb) {
    kill(filho, SIGKILL);
    int estado = 0;
    rusage uso{};
    wait4(filho, &estado, 0, &uso);
    picoKb = uso.ru_maxrss;
    return estado;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s TITLE_PART TIMEOUT_MS PROGRAM [ARGUMENTS...]\n", argv[0]);
        return 2;
    }
    const std::string parte = argv[1];
    const auto limite = std::chrono::milliseconds(std::atol(argv[2]));
    Display* tela = XOpenDisplay(nullptr);
    if (!tela) {
        std::fprintf(stderr, "cannot open the display\n");
        return 1;
    }
    XSetErrorHandler(IgnoraErro);
    // Without a window manager, top-level windows are children of the root.
    XSelectInput(tela, DefaultRootWindow(tela), SubstructureNotifyMask);
    XSync(tela, False);

    const auto inicio = std::chrono::steady_clock::now();
    const pid_t filho = fork();
    if (filho == 0) {
        const int nulo = open("/dev/null", O_WRONLY);
        dup2(nulo, STDOUT_FILENO);
        dup2(nulo, STDERR_FILENO);
        execv(argv[3], argv + 3);
        _exit(127);
    }
    const auto prazo = inicio + limite;
    pollfd conexao{ConnectionNumber(tela), POLLIN, 0};
    for (;;) {
        while (XPending(tela)) {
            XEvent evento;
            XNextEvent(tela, &evento);
            if (evento.type != MapNotify ||
                Titulo(tela, evento.xmap.window).find(parte) == std::string::npos)
                continue;
            const auto ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - inicio)
                    .count();
            long picoKb = 0;
            Termina(filho, picoKb);
            std::printf("%.1f %ld\n", ms, picoKb);
            return 0;
        }
        const auto falta = std::chrono::duration_cast<std::chrono::milliseconds>(
            prazo - std::chrono::steady_clock::now());
        if (falta.count() <= 0 || poll(&conexao, 1, int(falta.count())) == 0) {
            long picoKb = 0;
            Termina(filho, picoKb);
            std::fprintf(stderr, "no window titled \"...%s...\" mapped in %lld ms\n", parte.c_str(),
                         static_cast<long long>(limite.count()));
            return 1;
        }
        int estado = 0;
        if (waitpid(filho, &estado, WNOHANG) == filho) {
            std::fprintf(stderr, "the program ended before its window was mapped\n");
            return 1;
        }
    }
}
