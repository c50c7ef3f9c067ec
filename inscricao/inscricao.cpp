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
    if (nome.empty() || erro != std::errc{} || fim != nome.data() + nome.size() || pid <= 0)
        return std::nullopt;
    return pid;
}

std::string Escreve(const Conteudo& conteudo) { return conteudo.pty + "\n"; }

std::optional<Conteudo> Le(std::string_view texto) {
    while (!texto.empty() && (texto.back() == '\n' || texto.back() == '\r'))
        texto.remove_suffix(1);
    if (texto.empty() || texto.front() != '/') return std::nullopt;
    for (const char c : texto)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return std::nullopt;
    return Conteudo{std::string(texto)};
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

bool PastaConfiavel(const struct stat& info) {
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace inscricao
