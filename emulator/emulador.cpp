#include "emulador.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <system_error>

namespace emulador {

namespace {

using namespace std::chrono;

constexpr std::size_t kMaxLinhaDeControle = 1024;
constexpr std::string_view kInicioRecibo = "=== RECIBO INICIO ===\n";
constexpr std::string_view kFimRecibo = "=== RECIBO FIM ===\n";

// SIGINT, SIGTERM and SIGHUP arrive as reads on a descriptor, in turn with everything else.
Descritor AbreSinais() {
    sigset_t sinais;
    sigemptyset(&sinais);
    sigaddset(&sinais, SIGINT);
    sigaddset(&sinais, SIGTERM);
    sigaddset(&sinais, SIGHUP);
    if (::sigprocmask(SIG_BLOCK, &sinais, nullptr) != 0)
        throw std::system_error(errno, std::generic_category(), "sigprocmask");
    Descritor fd(::signalfd(-1, &sinais, SFD_CLOEXEC | SFD_NONBLOCK));
    if (fd.fd() < 0) throw std::system_error(errno, std::generic_category(), "signalfd");
    // A reader of standard output that goes away must not end the emulator, nor may a
    // terminal it was started from in the background stop it: reading that terminal then
    // fails, and the emulator stops reading commands but goes on answering the printer line.
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGTTIN, SIG_IGN);
    ::signal(SIGTTOU, SIG_IGN);
    return fd;
}

std::function<std::tm()> Relogio(const std::optional<std::tm>& fixo) {
    if (fixo) return [t = *fixo] { return t; };
    return [] {
        const std::time_t agora = system_clock::to_time_t(system_clock::now());
        std::tm local{};
        ::localtime_r(&agora, &local);
        return local;
    };
}

} // namespace

Emulador::Emulador(const Opcoes& opcoes)
    : opcoes_(opcoes), impressora_(Relogio(opcoes.relogio)), sinais_(AbreSinais()),
      terminal_(AbreTerminal()) {
    impressora_.MudaEstado(opcoes.estado);
    impressora_.MudaAtraso(opcoes.atraso);
    if (opcoes.proximo) impressora_.DefineProximo(*opcoes.proximo);
    if (!opcoes.semRegistro) inscricao_.emplace(terminal_.caminho);
}

int Emulador::Executa() {
    saida_.Poe(terminal_.caminho + "\n");
    while (!sair_) {
        // Output waits for its readers here, with everything else: never in a write.
        pollfd fds[] = {
            {sinais_.fd(), POLLIN, 0},
            {terminal_.mestre.fd(), POLLIN, 0},
            {lendoControle_ ? STDIN_FILENO : -1, POLLIN, 0},
            {saida_.Pendente() ? saida_.fd() : -1, POLLOUT, 0},
            {erros_.Pendente() ? erros_.fd() : -1, POLLOUT, 0},
        };
        if (::poll(fds, std::size(fds), EsperaAteProximoEnvio()) < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category(), "poll");
        }
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            if (::read(sinais_.fd(), &info, sizeof info) == sizeof info) {
                Registra("sinal " + std::to_string(info.ssi_signo) + ", saindo");
                sair_ = true;
            }
        }
        if (fds[1].revents & (POLLIN | POLLERR | POLLHUP)) LeLinha();
        if (fds[2].revents & (POLLIN | POLLERR | POLLHUP)) LeControle();
        EnviaVencidos();
        if (fds[3].revents) saida_.Escreve();
        if (fds[4].revents) erros_.Escreve();
    }
    // What the readers take now; the rest is not waited for.
    saida_.Escreve();
    if (const auto n = saida_.Descartados() + erros_.Descartados(); n > 0)
        Avisa(std::to_string(n) + " linhas de saída descartadas: ninguém as lia");
    erros_.Escreve();
    return 0;
}

int Emulador::EsperaAteProximoEnvio() const {
    if (envios_.empty()) return -1;
    const auto falta = envios_.front().prazo - steady_clock::now();
    if (falta <= steady_clock::duration::zero()) return 0;
    // Rounded up, so that the wait never ends just short of the deadline and spins.
    return static_cast<int>(ceil<milliseconds>(falta).count());
}

void Emulador::LeLinha() {
    uint8_t bytes[4096];
    const ssize_t n = ::read(terminal_.mestre.fd(), bytes, sizeof bytes);
    if (n <= 0) return;
    const std::size_t descartadosAntes = decodificador_.Descartados();
    decodificador_.Alimenta(std::span(bytes, static_cast<std::size_t>(n)));
    if (const std::size_t d = decodificador_.Descartados() - descartadosAntes; d > 0)
        Registra("<- " + std::to_string(d) + " bytes descartados");

    while (const auto carga = decodificador_.Proximo()) {
        const auto pedido = protocolo::LePedido(*carga);
        if (!pedido) {
            Registra("<- quadro que não é pedido, ignorado");
            continue;
        }
        Registra("<- " + protocolo::Descreve(*pedido));
        Atendimento a = impressora_.Atende(*pedido);
        if (a.bytes.empty()) {
            Registra("-> " + a.descricao);
            continue;
        }
        // Answers leave in the order of their requests, even when the delay was shortened.
        Instante prazo = steady_clock::now() + impressora_.atraso();
        if (!envios_.empty() && prazo < envios_.back().prazo) prazo = envios_.back().prazo;
        envios_.push_back({prazo, std::move(a)});
    }
}

void Emulador::EnviaVencidos() {
    const Instante agora = steady_clock::now();
    while (!envios_.empty() && envios_.front().prazo <= agora) {
        const Atendimento& a = envios_.front().atendimento;
        if (!a.recibo.empty()) Imprime(a.recibo);
        if (!EscreveTudo(terminal_.mestre.fd(), a.bytes.data(), a.bytes.size()))
            Avisa("a linha não aceitou a resposta inteira");
        Registra("-> " + a.descricao);
        envios_.pop_front();
    }
}

void Emulador::Imprime(const std::string& recibo) {
    std::string saida(kInicioRecibo);
    saida += recibo;
    saida += kFimRecibo;
    saida_.Poe(saida);
    if (opcoes_.recibo.empty()) return;
    // Non-blocking too: a FIFO given as the file must not stop the printer.
    Descritor arquivo(::open(opcoes_.recibo.c_str(),
                             O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                             0666));
    const std::string texto = recibo + "\n";
    if (!arquivo || ::write(arquivo.fd(), texto.data(), texto.size()) != ssize_t(texto.size()))
        Avisa("não foi possível acrescentar a leitura X a " + opcoes_.recibo);
}

void Emulador::LeControle() {
    char bytes[1024];
    const ssize_t n = ::read(STDIN_FILENO, bytes, sizeof bytes);
    if (n < 0 && errno == EINTR) return;
    if (n <= 0) {
        // End of the control channel: the printer goes on answering.
        lendoControle_ = false;
        return;
    }
    for (const char c : std::string_view(bytes, static_cast<std::size_t>(n))) {
        if (sair_) return;
        if (c == '\n') {
            if (!descartandoLinha_) ExecutaControle(controle_);
            controle_.clear();
            descartandoLinha_ = false;
        } else if (!descartandoLinha_) {
            controle_ += c;
            if (controle_.size() > kMaxLinhaDeControle) {
                saida_.Poe("erro linha longa demais\n");
                controle_.clear();
                descartandoLinha_ = true;
            }
        }
    }
}

void Emulador::ExecutaControle(std::string_view linha) {
    if (!linha.empty() && linha.back() == '\r') linha.remove_suffix(1);
    const auto controle = Controla(linha, impressora_);
    if (!controle) return;
    saida_.Poe(controle->resposta + "\n");
    sair_ = controle->sair;
}

void Emulador::Registra(const std::string& texto) {
    if (opcoes_.trafego) Avisa(texto);
}

void Emulador::Avisa(const std::string& texto) { erros_.Poe("emulador-ecf: " + texto + "\n"); }

} // namespace emulador
