// Measures the stand-in library against the emulator on a pseudo-terminal, each figure
// as a ratio against a baseline taken in the same run:
//   1. one locate (open, two status queries, status of the last command) through the
//      library, against the same two requests and answers written and read bare on the
//      same pty;
//   2. "Default" discovery among 15 registered ptys that never answer and the emulator
//      last, against one timeout; and with no emulator at all, the worst case.
// Not a test: it prints figures and judges nothing. See bench/README.md.
#include "bemafi32.h"
#include "protocolo.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Relogio = std::chrono::steady_clock;
using Micros = std::chrono::duration<double, std::micro>;

namespace {

constexpr int kTimeoutMs = 300;

[[noreturn]] void Morre(const std::string& motivo) {
    std::fprintf(stderr, "bench_bemafi32: %s\n", motivo.c_str());
    std::exit(1);
}

// One emulator, spoken to through its standard input and output.
class Emulador {
  public:
    explicit Emulador(std::vector<std::string> opcoes) {
        int entrada[2], saida[2];
        if (::pipe2(entrada, O_CLOEXEC) != 0 || ::pipe2(saida, O_CLOEXEC) != 0) Morre("pipe");
        pid_ = ::fork();
        if (pid_ < 0) Morre("fork");
        if (pid_ == 0) {
            ::dup2(entrada[0], 0);
            ::dup2(saida[1], 1);
            std::vector<char*> argv{const_cast<char*>(EMULADOR)};
            for (auto& o : opcoes)
                argv.push_back(o.data());
            argv.push_back(nullptr);
            ::execv(EMULADOR, argv.data());
            ::_exit(127);
        }
        ::close(entrada[0]);
        ::close(saida[1]);
        entrada_ = entrada[1];
        saida_ = saida[0];
        pty_ = Linha();
        if (pty_.rfind("/dev/", 0) != 0) Morre("the emulator did not start (" EMULADOR ")");
    }
    ~Emulador() {
        (void)!::write(entrada_, "sair\n", 5);
        ::close(entrada_);
        int estado = 0;
        ::waitpid(pid_, &estado, 0);
        ::close(saida_);
    }
    const std::string& Pty() const { return pty_; }

  private:
    std::string Linha() {
        std::string linha;
        char c;
        pollfd espera{saida_, POLLIN, 0};
        while (::poll(&espera, 1, 5000) > 0 && ::read(saida_, &c, 1) == 1 && c != '\n')
            linha += c;
        return linha;
    }
    pid_t pid_ = -1;
    int entrada_ = -1;
    int saida_ = -1;
    std::string pty_;
};

double Mediana(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

fs::path PastaDoPrograma() { return fs::read_symlink("/proc/self/exe").parent_path(); }

void EscreveIni(const std::string& porta) {
    std::ofstream ini(PastaDoPrograma() / "Bemafi32.ini", std::ios::trunc);
    ini << "[Sistema]\nPorta=" << porta << "\n[Bemafi32]\nTimeout=" << kTimeoutMs << "\n";
    ini.close();
    Bematech_FI_ReloadINIFile();
}

// The bare exchange: the same frames over the same pty, with nothing of the library.
class Direto {
  public:
    explicit Direto(const std::string& pty) {
        fd_ = ::open(pty.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        termios modo{};
        if (fd_ < 0 || ::tcgetattr(fd_, &modo) != 0) Morre("cannot open " + pty);
        ::cfmakeraw(&modo);
        ::tcsetattr(fd_, TCSANOW, &modo);
    }
    ~Direto() { ::close(fd_); }
    void Troca(uint8_t sequencia) {
        protocolo::Pedido pedido;
        pedido.sequencia = sequencia;
        const auto quadro = protocolo::Codifica(pedido);
        if (::write(fd_, quadro.data(), quadro.size()) != static_cast<ssize_t>(quadro.size()))
            Morre("write");
        uint8_t bloco[256];
        for (;;) {
            pollfd espera{fd_, POLLIN, 0};
            if (::poll(&espera, 1, kTimeoutMs) <= 0)
                Morre("the emulator did not answer a bare request");
            const auto n = ::read(fd_, bloco, sizeof bloco);
            if (n > 0) decodificador_.Alimenta(std::span(bloco, static_cast<std::size_t>(n)));
            while (auto carga = decodificador_.Proximo())
                if (auto r = protocolo::LeResposta(*carga); r && r->sequencia == sequencia) return;
        }
    }

  private:
    int fd_ = -1;
    protocolo::Decodificador decodificador_;
};

void Localizacao(int vezes) {
    Emulador emulador({});
    EscreveIni(emulador.Pty());

    Direto direto(emulador.Pty());
    std::vector<double> biblioteca, nua;
    int32_t ack, st1, st2, st3;
    uint8_t sequencia = 100;
    for (int i = 0; i < vezes; ++i) {
        auto t0 = Relogio::now();
        const bool ok = Bematech_FI_AbrePortaSerial() == 1 &&
                        Bematech_FI_VerificaEstadoImpressoraMFD(&ack, &st1, &st2, &st3) == 1 &&
                        Bematech_FI_VerificaEstadoImpressoraMFD(&ack, &st1, &st2, &st3) == 1;
        Bematech_FI_RetornoImpressoraMFD(&ack, &st1, &st2, &st3);
        auto t1 = Relogio::now();
        if (!ok) Morre("locate failed");
        Bematech_FI_FechaPortaSerial();
        biblioteca.push_back(Micros(t1 - t0).count());

        t0 = Relogio::now();
        direto.Troca(++sequencia);
        direto.Troca(++sequencia);
        t1 = Relogio::now();
        nua.push_back(Micros(t1 - t0).count());
    }
    const double b = Mediana(biblioteca), n = Mediana(nua);
    std::printf("locate through the library: median %.1f us over %d runs\n", b, vezes);
    std::printf("same two exchanges, bare:   median %.1f us\n", n);
    std::printf("ratio %.2f (target: at most 2)\n\n", b / n);
}

void Descoberta(int vezes, bool comEmulador) {
    std::vector<std::unique_ptr<Emulador>> mortos;
    for (int i = 0; i < 15; ++i)
        mortos.push_back(
            std::make_unique<Emulador>(std::vector<std::string>{"--estado", "silencio"}));
    std::unique_ptr<Emulador> vivo;
    if (comEmulador) vivo = std::make_unique<Emulador>(std::vector<std::string>{});
    EscreveIni("Default");

    std::vector<double> tempos;
    for (int i = 0; i < vezes; ++i) {
        const auto t0 = Relogio::now();
        const int32_t r = Bematech_FI_AbrePortaSerial();
        const auto t1 = Relogio::now();
        Bematech_FI_FechaPortaSerial();
        if ((r == 1) != comEmulador) Morre("discovery returned " + std::to_string(r));
        tempos.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    const double m = Mediana(tempos);
    std::printf("Default, 15 silent ptys %s: median %.2f ms over %d runs\n",
                comEmulador ? "and the emulator last" : "and no printer", m, vezes);
    std::printf("ratio to one timeout (%d ms): %.3f (target: at most 1.2)\n\n", kTimeoutMs,
                m / kTimeoutMs);
}

} // namespace

int main(int argc, char* argv[]) {
    const int vezes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 500;
    ::signal(SIGPIPE, SIG_IGN);
    char modelo[] = "/tmp/bench_bemafi32.XXXXXX";
    if (!::mkdtemp(modelo)) Morre("mkdtemp");
    ::setenv("XDG_RUNTIME_DIR", modelo, 1);
    Bematech_FI_SelecionaIniLocal();

    Localizacao(vezes);
    Descoberta(std::max(5, vezes / 25), true);
    Descoberta(5, false);
    fs::remove_all(modelo);
    fs::remove(PastaDoPrograma() / "Bemafi32.ini");
    return 0;
}
