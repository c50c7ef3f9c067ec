#include "trafego.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bemafi32 {

std::string Hex(std::span<const uint8_t> bytes) {
    std::string texto;
    texto.reserve(bytes.size() * 3);
    char par[4];
    for (uint8_t b : bytes) {
        std::snprintf(par, sizeof par, texto.empty() ? "%02X" : " %02X", b);
        texto += par;
    }
    return texto;
}

std::string Escapa(std::string_view texto) {
    std::string saida;
    saida.reserve(texto.size());
    for (const char c : texto) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '\\') {
            saida += "\\\\";
        } else if (b < 0x20 || b >= 0x7F) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", b);
            saida += escape;
        } else {
            saida += c;
        }
    }
    return saida;
}

void Trafego::Avisa(const std::string& texto) {
    if (avisou_) return;
    avisou_ = true;
    const std::string linha = "bemafi32: " + Escapa(texto) + "\n";
    (void)!::write(STDERR_FILENO, linha.data(), linha.size());
}

void Trafego::Anota(const std::string& linha) {
    if (!recusado_.empty()) {
        Avisa("no traffic log: Log=" + recusado_ +
              " is not a plain file name in the folder of Bemafi32.ini");
        return;
    }
    if (arquivo_.empty()) return;

    const auto agora = std::chrono::system_clock::now();
    const auto segundos = std::chrono::system_clock::to_time_t(agora);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(agora.time_since_epoch()).count() %
        1000;
    std::tm local{};
    ::localtime_r(&segundos, &local);
    char quando[40];
    const auto n = std::strftime(quando, sizeof quando, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(quando + n, sizeof quando - n, ".%03d ", static_cast<int>(ms));
    const std::string texto = quando + Escapa(linha) + "\n";

    // No link followed, no wait on a FIFO, nothing another user could read.
    const std::string caminho = arquivo_.string();
    const int fd = ::open(
        caminho.c_str(),
        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int erro = errno;
        const char* porque = erro == ELOOP                     ? "is a symbolic link"
                             : erro == ENXIO || erro == EISDIR ? "is not a regular file"
                                                               : std::strerror(erro);
        Avisa("no traffic log: " + caminho + " " + porque);
        arquivo_.clear();
        return;
    }
    struct stat info {};
    const char* recusa = nullptr;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        recusa = "is not a regular file";
    else if (info.st_uid != ::geteuid())
        recusa = "belongs to another user";
    else if (info.st_nlink != 1)
        recusa = "has other names (hard links)";
    if (recusa) {
        ::close(fd);
        Avisa("no traffic log: " + caminho + " " + recusa);
        arquivo_.clear();
        return;
    }
    // One write, so that lines of two programs sharing the log never interleave.
    ssize_t escritos;
    do
        escritos = ::write(fd, texto.data(), texto.size());
    while (escritos < 0 && errno == EINTR);
    const int erro = errno;
    ::close(fd);
    if (escritos != static_cast<ssize_t>(texto.size()))
        Avisa("the traffic log " + caminho + " could not be written" +
              (escritos < 0 ? std::string(": ") + std::strerror(erro) : std::string()));
}

void Trafego::AnotaTroca(const std::string& porta, const protocolo::Pedido& pedido,
                         const Troca& troca) {
    if (arquivo_.empty() && recusado_.empty()) return;
    std::string linha = porta + " -> [" + Hex(troca.enviados) + "] " + protocolo::Descreve(pedido);
    linha += " <- [" + Hex(troca.recebidos) + "] ";
    switch (troca.desfecho) {
    case Desfecho::Respondeu:
        linha += protocolo::Descreve(troca.resposta);
        break;
    case Desfecho::Silencio:
        linha += "sem resposta";
        break;
    case Desfecho::Ilegivel:
        linha += "resposta incompleta ou lixo";
        break;
    }
    char tempo[32];
    std::snprintf(tempo, sizeof tempo, " em %.3f ms",
                  std::chrono::duration<double, std::milli>(troca.duracao).count());
    Anota(linha + tempo);
}

} // namespace bemafi32
