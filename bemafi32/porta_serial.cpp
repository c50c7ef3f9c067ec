#include "porta_serial.h"

#include "descritor.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>

namespace bemafi32 {

using protocolo::Descritor;

struct PortaSerial::Linha {
    ~Linha() {
        if (!fd) return;
        // close() waits for unsent output to drain, up to half a minute on a stalled adapter.
        ::tcflush(fd.fd(), TCIOFLUSH);
        // The line goes back as it was: if it was not a printer after all (a terminal someone
        // uses), it must not stay raw and silent.
        if (temModo) ::tcsetattr(fd.fd(), TCSANOW, &modo);
        if (exclusiva) ::ioctl(fd.fd(), TIOCNXCL);
    }

    Descritor fd;
    termios modo{};         // the settings found on the line
    bool temModo = false;   // ...once read
    bool exclusiva = false; // TIOCEXCL was set by us
};

namespace {

std::optional<speed_t> Velocidade(unsigned bps) {
    switch (bps) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    }
    return std::nullopt;
}

bool Falha(std::string* erro, const std::string& o_que) {
    if (erro) *erro = o_que + ": " + std::strerror(errno);
    return false;
}

bool ModoCru(int fd, speed_t velocidade, std::string* erro) {
    termios modo{};
    if (::tcgetattr(fd, &modo) != 0) return Falha(erro, "tcgetattr");
    ::cfmakeraw(&modo);
    modo.c_cflag |= CLOCAL | CREAD;
    modo.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
    modo.c_iflag &= ~(IXON | IXOFF | IXANY);
    // VMIN 1 with O_NONBLOCK: an empty line reads as EAGAIN, so a read of 0 means hang-up.
    modo.c_cc[VMIN] = 1;
    modo.c_cc[VTIME] = 0;
    ::cfsetispeed(&modo, velocidade);
    ::cfsetospeed(&modo, velocidade);
    if (::tcsetattr(fd, TCSANOW, &modo) != 0) return Falha(erro, "tcsetattr");

    // tcsetattr succeeds when any one change took, so the mode is read back.
    termios lido{};
    if (::tcgetattr(fd, &lido) != 0) return Falha(erro, "tcgetattr");
    const bool cru =
        (lido.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) == 0 && (lido.c_oflag & OPOST) == 0 &&
        (lido.c_iflag & (IXON | ICRNL | INLCR | ISTRIP)) == 0 &&
        (lido.c_cflag & (CSIZE | PARENB | CSTOPB)) == CS8 && ::cfgetospeed(&lido) == velocidade;
    if (!cru && erro) *erro = "the line did not take raw mode";
    return cru;
}

} // namespace

std::optional<PortaSerial> PortaSerial::Abre(const Candidato& candidato, unsigned bps,
                                             std::string* erro, bool /*comOutras*/) {
    const auto velocidade = Velocidade(bps);
    if (!velocidade) {
        if (erro) *erro = "unsupported speed " + std::to_string(bps);
        return std::nullopt;
    }
    // O_NONBLOCK: a modem line waiting for carrier or a Bluetooth link must not hold us.
    Descritor fd(::open(candidato.caminho.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) {
        Falha(erro, "open");
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd.fd(), &info) != 0 || !S_ISCHR(info.st_mode) ||
        info.st_rdev != candidato.dispositivo) {
        if (erro) *erro = "the path no longer leads to the device that was checked";
        return std::nullopt;
    }
    // flock, not TIOCEXCL alone: root walks through TIOCEXCL, and a second program of ours
    // must not interleave its bytes with ours.
    if (::flock(fd.fd(), LOCK_EX | LOCK_NB) != 0) {
        Falha(erro, "flock");
        return std::nullopt;
    }
    // From here on the line is ours to put back: a failure below closes it through Linha,
    // which restores what was changed.
    auto linha = std::make_unique<Linha>();
    linha->fd = std::move(fd);
    if (::tcgetattr(linha->fd.fd(), &linha->modo) != 0) {
        Falha(erro, "tcgetattr");
        return std::nullopt;
    }
    linha->temModo = true;
    linha->exclusiva =
        candidato.tipo == TipoPorta::Serial && ::ioctl(linha->fd.fd(), TIOCEXCL) == 0;
    if (!ModoCru(linha->fd.fd(), *velocidade, erro)) return std::nullopt;
    ::tcflush(linha->fd.fd(), TCIFLUSH);
    return PortaSerial(std::move(linha), candidato.caminho);
}

PortaSerial::PortaSerial(std::unique_ptr<Linha> linha, std::string caminho)
    : linha_(std::move(linha)), caminho_(std::move(caminho)) {}

PortaSerial::PortaSerial(PortaSerial&&) noexcept = default;
PortaSerial& PortaSerial::operator=(PortaSerial&&) noexcept = default;
PortaSerial::~PortaSerial() = default;

int PortaSerial::fd() const { return linha_->fd.fd(); }

bool PortaSerial::Escreve(std::span<const uint8_t> bytes, Instante prazo, const Relogio& relogio) {
    for (;;) {
        if (!EscreveSemEsperar(bytes)) return false;
        if (bytes.empty()) return true;
        pollfd espera{linha_->fd.fd(), POLLOUT, 0};
        const int pronto = ::poll(&espera, 1, EsperaAte(prazo, relogio));
        if (pronto < 0 && errno == EINTR) continue;
        if (pronto <= 0 || (espera.revents & (POLLERR | POLLHUP | POLLNVAL))) return false;
    }
}

PortaSerial::Leitura PortaSerial::LeDisponivel(std::vector<uint8_t>& destino) {
    uint8_t bloco[512];
    bool leu = false;
    for (;;) {
        const auto lidos = ::read(linha_->fd.fd(), bloco, sizeof bloco);
        if (lidos > 0) {
            destino.insert(destino.end(), bloco, bloco + lidos);
            leu = true;
            // A short read emptied the line; asking again would only cost a system call.
            if (static_cast<std::size_t>(lidos) < sizeof bloco) return Leitura::Dados;
            continue;
        }
        if (lidos < 0 && errno == EINTR) continue;
        if (lidos < 0 && errno == EAGAIN) return leu ? Leitura::Dados : Leitura::Prazo;
        // 0 or EIO: the other end hung up (a pty whose emulator is gone, an unplugged adapter).
        return leu ? Leitura::Dados : Leitura::Fechada;
    }
}

bool PortaSerial::EscreveSemEsperar(std::span<const uint8_t>& bytes) {
    while (!bytes.empty()) {
        const auto escritos = ::write(linha_->fd.fd(), bytes.data(), bytes.size());
        if (escritos > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(escritos));
        } else if (escritos < 0 && errno == EINTR) {
            continue;
        } else {
            return !(escritos < 0 && errno != EAGAIN);
        }
    }
    return true;
}

PortaSerial::Leitura PortaSerial::Le(std::vector<uint8_t>& destino, Instante prazo,
                                     const Relogio& relogio) {
    for (;;) {
        pollfd espera{linha_->fd.fd(), POLLIN, 0};
        const int pronto = ::poll(&espera, 1, EsperaAte(prazo, relogio));
        if (pronto < 0 && errno == EINTR) continue;
        if (pronto < 0) return Leitura::Fechada;
        if (pronto == 0) return Leitura::Prazo;
        if (espera.revents & POLLNVAL) return Leitura::Fechada;
        const auto lido = LeDisponivel(destino);
        if (lido != Leitura::Prazo) return lido;
        if (espera.revents & (POLLERR | POLLHUP)) return Leitura::Fechada;
    }
}

bool EsperaAlguma(std::span<Vigia> vigias, Instante prazo, const Relogio& relogio) {
    std::vector<pollfd> esperas;
    esperas.reserve(vigias.size());
    for (const auto& v : vigias)
        esperas.push_back(
            {v.porta->fd(), static_cast<short>(POLLIN | (v.escrever ? POLLOUT : 0)), 0});
    for (;;) {
        const int prontos = ::poll(esperas.data(), esperas.size(), EsperaAte(prazo, relogio));
        if (prontos < 0 && errno == EINTR) continue;
        if (prontos <= 0) return false;
        break;
    }
    for (std::size_t i = 0; i < vigias.size(); ++i) {
        const auto eventos = esperas[i].revents;
        vigias[i].entrada = eventos & (POLLIN | POLLHUP | POLLERR | POLLNVAL);
        vigias[i].saida = eventos & POLLOUT;
        vigias[i].falhou = eventos & (POLLERR | POLLNVAL);
        vigias[i].desligou = eventos & POLLHUP;
    }
    return true;
}

} // namespace bemafi32
