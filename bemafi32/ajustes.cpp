#include "ajustes.h"

#include "perfil.h"

#include <charconv>
#include <fstream>
#include <sstream>

namespace bemafi32 {

namespace {

constexpr long kTimeoutMaximo = 600000;

std::string_view Apara(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::string Valor(std::string_view texto, std::string_view secao, std::string_view chave) {
    const std::string valor = perfil::LerDoTexto(texto, secao, chave);
    return std::string(Apara(valor));
}

std::optional<long> Numero(std::string_view texto) {
    texto = Apara(texto);
    long valor = 0;
    const auto [fim, erro] = std::from_chars(texto.data(), texto.data() + texto.size(), valor);
    if (texto.empty() || erro != std::errc{} || fim != texto.data() + texto.size())
        return std::nullopt;
    return valor;
}

void LeTimeout(std::string_view texto, std::string_view chave, std::chrono::milliseconds& valor) {
    const auto n = Numero(Valor(texto, kSecao, chave));
    if (n && *n > 0 && *n <= kTimeoutMaximo) valor = std::chrono::milliseconds(*n);
}

} // namespace

Ajustes LeAjustes(std::string_view texto, const std::filesystem::path& pasta) {
    Ajustes a;
    a.porta = Valor(texto, "Sistema", "Porta");
    LeTimeout(texto, "Timeout", a.timeout);
    LeTimeout(texto, "TimeoutLeituraX", a.timeoutLeituraX);
    if (const auto v = Numero(Valor(texto, kSecao, "Velocidade")); v && *v > 0)
        a.velocidade = static_cast<unsigned>(*v);
    if (const auto log = Valor(texto, kSecao, "Log"); !log.empty())
        a.log = pasta / std::filesystem::path(log);
    for (int n = 1; n <= 15; ++n) {
        const auto dispositivo = Valor(texto, kSecao, "COM" + std::to_string(n));
        if (!dispositivo.empty()) a.portasCom[n] = dispositivo;
    }
    return a;
}

std::optional<Ajustes> CarregaAjustes(const std::filesystem::path& arquivo) {
    std::error_code erro;
    if (!std::filesystem::is_regular_file(arquivo, erro)) return std::nullopt;
    std::ifstream entrada(arquivo, std::ios::binary);
    if (!entrada) return std::nullopt;
    std::ostringstream texto;
    texto << entrada.rdbuf();
    return LeAjustes(texto.str(), arquivo.parent_path());
}

} // namespace bemafi32
