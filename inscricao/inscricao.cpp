#include "inscricao.h"

#include <charconv>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace inscricao {

namespace fs = std::filesystem;

fs::path Pasta() {
    if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && *xdg)
        return fs::path(xdg) / "testeecf";
    if (const char* casa = std::getenv("HOME"); casa && *casa) return fs::path(casa) / ".testeecf";
    return {};
}

std::string Nome(pid_t pid) { return std::string(kPrefixo) + std::to_string(pid); }

std::string NomeTemporario(pid_t pid) { return "." + Nome(pid) + ".tmp"; }

std::optional<pid_t> PidDoNome(std::string_view nome) {
    if (!nome.starts_with(kPrefixo)) return std::nullopt;
    nome.remove_prefix(kPrefixo.size());
    pid_t pid = 0;
    const auto [fim, erro] = std::from_chars(nome.data(), nome.data() + nome.size(), pid);
    // One spelling per pid: no sign, no leading zero.
    if (nome.empty() || nome.front() == '0' || erro != std::errc{} ||
        fim != nome.data() + nome.size() || pid <= 0)
        return std::nullopt;
    return pid;
}

std::string Escreve(const Conteudo& conteudo) {
    return conteudo.pty + "\n" + std::to_string(conteudo.inicio) + "\n";
}

std::optional<Conteudo> Le(std::string_view texto) {
    const auto quebra = texto.find('\n');
    if (quebra == std::string_view::npos) return std::nullopt;
    const std::string_view pty = texto.substr(0, quebra);
    std::string_view inicio = texto.substr(quebra + 1);
    if (!inicio.empty() && inicio.back() == '\n') inicio.remove_suffix(1);
    if (pty.empty() || pty.front() != '/') return std::nullopt;
    for (const char c : pty)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return std::nullopt;
    Conteudo conteudo{std::string(pty)};
    const auto [fim, erro] =
        std::from_chars(inicio.data(), inicio.data() + inicio.size(), conteudo.inicio);
    if (inicio.empty() || erro != std::errc{} || fim != inicio.data() + inicio.size())
        return std::nullopt;
    return conteudo;
}

std::optional<Conteudo> LeArquivo(int pasta, const char* nome) {
    const int fd = ::openat(pasta, nome, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat info {};
    char texto[4096];
    ssize_t lidos = -1;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid())
        lidos = ::read(fd, texto, sizeof texto);
    ::close(fd);
    if (lidos <= 0) return std::nullopt;
    return Le(std::string_view(texto, static_cast<std::size_t>(lidos)));
}

std::optional<unsigned long long> Inicio(pid_t pid) {
    const auto caminho = "/proc/" + std::to_string(pid) + "/stat";
    const int fd = ::open(caminho.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    char texto[1024];
    const auto lidos = ::read(fd, texto, sizeof texto);
    ::close(fd);
    if (lidos <= 0) return std::nullopt;
    const std::string_view linha(texto, static_cast<std::size_t>(lidos));
    // The command name, in parentheses, may hold spaces and parentheses of its own.
    const auto fecha = linha.rfind(')');
    if (fecha == std::string_view::npos) return std::nullopt;
    std::size_t pos = fecha + 1;
    for (int campo = 2; campo < 22; ++campo) {
        pos = linha.find(' ', pos);
        if (pos == std::string_view::npos) return std::nullopt;
        ++pos;
    }
    unsigned long long inicio = 0;
    if (std::from_chars(linha.data() + pos, linha.data() + linha.size(), inicio).ec != std::errc{})
        return std::nullopt;
    return inicio;
}

bool Vivo(pid_t pid, const Conteudo& conteudo) { return Inicio(pid) == conteudo.inicio; }

bool PastaConfiavel(const struct stat& info) {
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace inscricao
