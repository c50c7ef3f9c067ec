#include "ajustes.h"

#include "perfil.h"

#include <array>
#include <charconv>
#include <vector>

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

// The values of every key below, read in one pass over the text: a large file costs one
// reading, not one per key.
class Valores {
  public:
    explicit Valores(std::string_view texto) {
        consultas_.push_back({"Sistema", "Porta"});
        for (const char* chave : {"Timeout", "TimeoutLeituraX", "Velocidade", "Log"})
            consultas_.push_back({kSecao, chave});
        for (int n = 1; n <= 15; ++n)
            nomesCom_[n - 1] = "COM" + std::to_string(n);
        for (const auto& nome : nomesCom_)
            consultas_.push_back({kSecao, nome});
        perfil::LerDoTexto(texto, consultas_);
    }
    Valores(const Valores&) = delete;
    Valores& operator=(const Valores&) = delete;

    // Only the keys asked above are read.
    std::string_view Le(std::string_view secao, std::string_view chave) const {
        for (const auto& consulta : consultas_)
            if (consulta.secao == secao && consulta.chave == chave) return consulta.valor;
        return {};
    }

  private:
    std::array<std::string, 15> nomesCom_;
    std::vector<perfil::Consulta> consultas_;
};

std::string Valor(const Valores& valores, std::string_view secao, std::string_view chave) {
    return std::string(Apara(valores.Le(secao, chave)));
}

std::optional<long> Numero(std::string_view texto) {
    texto = Apara(texto);
    long valor = 0;
    const auto [fim, erro] = std::from_chars(texto.data(), texto.data() + texto.size(), valor);
    if (texto.empty() || erro != std::errc{} || fim != texto.data() + texto.size())
        return std::nullopt;
    return valor;
}

void LeTimeout(const Valores& valores, std::string_view chave, std::chrono::milliseconds& valor) {
    const auto n = Numero(Valor(valores, kSecao, chave));
    if (n && *n > 0 && *n <= kTimeoutMaximo) valor = std::chrono::milliseconds(*n);
}

} // namespace

Ajustes LeAjustes(std::string_view texto, const std::filesystem::path& pasta) {
    const Valores valores(texto);
    Ajustes a;
    a.porta = Valor(valores, "Sistema", "Porta");
    LeTimeout(valores, "Timeout", a.timeout);
    LeTimeout(valores, "TimeoutLeituraX", a.timeoutLeituraX);
    if (const auto v = Numero(Valor(valores, kSecao, "Velocidade")); v && *v > 0)
        a.velocidade = static_cast<unsigned>(*v);
    // The log is a plain file name in the folder of Bemafi32.ini: a folder part (or "..")
    // would let whoever wrote the file aim the log at another user's files, and so would a
    // drive ("D:x.log" is a file on D: for Windows).
    if (const auto log = Valor(valores, kSecao, "Log"); !log.empty()) {
        if (log == "." || log == ".." || log.find_first_of("/\\:") != std::string::npos)
            a.logRecusado = log;
        else
            a.log = pasta / log;
    }
    for (int n = 1; n <= 15; ++n) {
        const auto dispositivo = Valor(valores, kSecao, "COM" + std::to_string(n));
        if (!dispositivo.empty()) a.portasCom[n] = dispositivo;
    }
    return a;
}

std::optional<Ajustes> CarregaAjustes(const std::filesystem::path& arquivo) {
    std::error_code erro;
    if (!std::filesystem::is_regular_file(arquivo, erro)) return std::nullopt;
    // Read as the profile layer reads it: no wait on a FIFO put in its place meanwhile, and
    // one copy of a large file in memory.
    std::string texto;
    if (perfil::LerTexto(arquivo, texto)) return std::nullopt;
    return LeAjustes(texto, arquivo.parent_path());
}

} // namespace bemafi32
