#include "impressora.h"

#include <array>
#include <charconv>
#include <utility>

namespace emulador {

namespace {

using protocolo::Comando;

struct DadosDoEstado {
    Estado estado;
    std::string_view nome;
    Status status; // for the states that execute commands
};

constexpr std::array<DadosDoEstado, 12> kEstados{{
    {Estado::Normal, "normal", {6, 0, 0, 0}},
    {Estado::PoucoPapel, "pouco-papel", {6, 64, 0, 0}},            // Pouco Papel
    {Estado::SemPapel, "sem-papel", {6, 128, 0, 11}},              // Fim do Papel; SEM PAPEL
    {Estado::CabecaLevantada, "cabeca-levantada", {6, 16, 0, 12}}, // ECF em Erro; CABEÇA
    {Estado::ErroRelogio, "erro-relogio", {6, 32, 0, 145}}, // Erro no Relógio; ACERTO RELÓGIO
    {Estado::CupomAberto, "cupom-aberto", {6, 2, 0, 7}},    // Cupom Aberto; CUPOM ABERTO
    {Estado::EmErro, "em-erro", {6, 16, 0, 10}},            // ECF em Erro; IMPRESSORA EM ERRO
    {Estado::OffLine, "off-line", {6, 16, 0, 13}},          // ECF em Erro; OFF LINE
    {Estado::Recusa, "recusa", {21, 0, 0, 0}},
    {Estado::Silencio, "silencio", {6, 0, 0, 0}},
    {Estado::Lixo, "lixo", {6, 0, 0, 0}},
    {Estado::Corta, "corta", {6, 0, 0, 0}},
}};

const DadosDoEstado& Dados(Estado estado) {
    for (const DadosDoEstado& d : kEstados)
        if (d.estado == estado) return d;
    return kEstados[0];
}

constexpr Status kComandoInexistente{6, 4, 0, 1}; // Comando Inexistente; COMANDO INVÁLIDO
constexpr uint8_t kFimDoPapel = 128;
constexpr uint8_t kEcfEmErro = 16;

// What a printer sends at the wrong line speed: bytes that frame nothing.
constexpr std::array<uint8_t, 12> kLixo{0xF8, 0x80, 0x00, 0xFE, 0x78, 0x06,
                                        0xE0, 0x1E, 0xFF, 0x15, 0x86, 0x98};

bool Imprime(const Status& s) {
    return s.ack == protocolo::kAck && s.st3 == 0 && !(s.st1 & (kFimDoPapel | kEcfEmErro));
}

bool Conhecido(Comando comando) {
    return comando == Comando::Status || comando == Comando::StatusUltimo ||
           comando == Comando::LeituraX;
}

// Splits a control line into words separated by spaces or tabs.
std::vector<std::string_view> Palavras(std::string_view linha) {
    std::vector<std::string_view> palavras;
    std::size_t i = 0;
    while (i < linha.size()) {
        while (i < linha.size() && (linha[i] == ' ' || linha[i] == '\t'))
            ++i;
        std::size_t fim = i;
        while (fim < linha.size() && linha[fim] != ' ' && linha[fim] != '\t')
            ++fim;
        if (fim > i) palavras.push_back(linha.substr(i, fim - i));
        i = fim;
    }
    return palavras;
}

std::string Junta(const std::vector<std::string_view>& palavras) {
    std::string texto;
    for (std::string_view p : palavras)
        texto += (texto.empty() ? "" : " ") + std::string(p);
    return texto;
}

// What a control line said, fit to be repeated on a terminal: every byte outside printable
// ASCII as \xNN, so that no control character or escape sequence comes back to act.
std::string Eco(std::string_view texto) {
    std::string eco;
    for (const char c : texto) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F) {
            eco += c;
        } else {
            static constexpr char kHex[] = "0123456789ABCDEF";
            eco += {'\\', 'x', kHex[b >> 4], kHex[b & 0xF]};
        }
    }
    return eco;
}

template <typename T> std::optional<T> LeNumero(std::string_view texto, T maximo) {
    T valor{};
    const auto [fim, erro] = std::from_chars(texto.data(), texto.data() + texto.size(), valor);
    if (erro != std::errc{} || fim != texto.data() + texto.size() || valor < T{} || valor > maximo)
        return std::nullopt;
    return valor;
}

} // namespace

std::optional<Estado> EstadoPorNome(std::string_view nome) {
    for (const DadosDoEstado& d : kEstados)
        if (d.nome == nome) return d.estado;
    return std::nullopt;
}

std::string_view NomeDoEstado(Estado estado) { return Dados(estado).nome; }

std::string NomesDosEstados() {
    std::string nomes;
    for (const DadosDoEstado& d : kEstados)
        nomes += (nomes.empty() ? "" : ", ") + std::string(d.nome);
    return nomes;
}

std::optional<uint8_t> LeByte(std::string_view texto) {
    const auto valor = LeNumero<unsigned>(texto, 255);
    return valor ? std::optional<uint8_t>(static_cast<uint8_t>(*valor)) : std::nullopt;
}

std::optional<std::chrono::milliseconds> LeAtraso(std::string_view texto) {
    const auto valor = LeNumero<long long>(texto, Impressora::kMaxAtraso.count());
    return valor ? std::optional(std::chrono::milliseconds(*valor)) : std::nullopt;
}

Atendimento Impressora::Atende(const protocolo::Pedido& pedido) {
    ++pedidos_;
    Atendimento a;
    if (estado_ == Estado::Silencio) {
        a.descricao = "sem resposta (silencio)";
        return a;
    }
    if (estado_ == Estado::Lixo) {
        a.bytes.assign(kLixo.begin(), kLixo.end());
        a.descricao = "lixo, " + std::to_string(a.bytes.size()) + " bytes";
        return a;
    }

    const Status s = Executa(pedido, a.recibo);
    const protocolo::Resposta resposta{pedido.sequencia, s.ack, s.st1, s.st2, s.st3, {}};
    a.bytes = protocolo::Codifica(resposta);
    a.descricao = protocolo::Descreve(resposta);
    if (estado_ == Estado::Corta) {
        a.bytes.resize(a.bytes.size() / 2);
        a.descricao += ", cortada em " + std::to_string(a.bytes.size()) + " bytes";
    }
    return a;
}

Status Impressora::Executa(const protocolo::Pedido& pedido, std::string& recibo) {
    if (estado_ == Estado::Recusa) return ultimo_ = Dados(estado_).status;
    if (pedido.comando == Comando::StatusUltimo) return ultimo_;
    if (!Conhecido(pedido.comando)) return ultimo_ = kComandoInexistente;

    ultimo_ = proximo_ ? *std::exchange(proximo_, std::nullopt) : Dados(estado_).status;
    if (pedido.comando == Comando::LeituraX && Imprime(ultimo_)) {
        ++contadores_.coo;
        ++contadores_.gnf;
        ++leituras_;
        recibo = LeituraX(contadores_, relogio_());
    }
    return ultimo_;
}

std::optional<Controle> Controla(std::string_view linha, Impressora& impressora) {
    const std::vector<std::string_view> p = Palavras(linha);
    if (p.empty() || p[0].front() == '#') return std::nullopt;

    const std::string_view comando = p[0];
    const auto erro = [](std::string texto) { return Controle{"erro " + texto}; };
    if (comando == "estado" && p.size() == 2) {
        const auto estado = EstadoPorNome(p[1]);
        if (!estado)
            return erro("estado desconhecido: " + Eco(p[1]) + " (estados: " + NomesDosEstados() +
                        ")");
        impressora.MudaEstado(*estado);
        return Controle{"ok " + Junta(p)};
    }
    if (comando == "atraso" && p.size() == 2) {
        const auto atraso = LeAtraso(p[1]);
        if (!atraso)
            return erro("atraso inválido: " + Eco(p[1]) + " (0 a " +
                        std::to_string(Impressora::kMaxAtraso.count()) + " ms)");
        impressora.MudaAtraso(*atraso);
        return Controle{"ok atraso " + std::to_string(atraso->count())};
    }
    if (comando == "proximo" && p.size() == 4) {
        const auto st1 = LeByte(p[1]), st2 = LeByte(p[2]), st3 = LeByte(p[3]);
        if (!st1 || !st2 || !st3)
            return erro("valores inválidos: " + Eco(Junta(p)) + " (cada um de 0 a 255)");
        impressora.DefineProximo({protocolo::kAck, *st1, *st2, *st3});
        return Controle{"ok " + Junta(p)};
    }
    if (comando == "situacao" && p.size() == 1)
        return Controle{"ok situacao estado " + std::string(NomeDoEstado(impressora.estado())) +
                        " atraso " + std::to_string(impressora.atraso().count()) + " pedidos " +
                        std::to_string(impressora.pedidos()) + " leituras " +
                        std::to_string(impressora.leituras())};
    if (comando == "ajuda" && p.size() == 1)
        return Controle{"ok ajuda: estado NOME | atraso MS | proximo ST1 ST2 ST3 | situacao | "
                        "ajuda | sair; estados: " +
                        NomesDosEstados()};
    if (comando == "sair" && p.size() == 1) return Controle{"ok sair", true};
    return erro("comando inválido: " + Eco(Junta(p)) + " (ajuda lista os comandos)");
}

} // namespace emulador
