#include "protocolo.h"

#include <array>
#include <cstdio>
#include <stdexcept>

namespace protocolo {

namespace {

constexpr uint8_t kInicio = 0x02; // STX: starts every frame and appears nowhere else
constexpr uint8_t kEscape = 0x10; // DLE: the next byte is a reserved one, XOR kMascara
constexpr uint8_t kMascara = 0x20;
constexpr uint8_t kTipoPedido = 'P';
constexpr uint8_t kTipoResposta = 'R';

// CRC-16/CCITT-FALSE: polynomial 0x1021, initial value 0xFFFF, no reflection, no final XOR.
uint16_t Crc16(std::span<const uint8_t> bytes) {
    uint16_t crc = 0xFFFF;
    for (uint8_t b : bytes) {
        crc ^= static_cast<uint16_t>(b << 8);
        for (int i = 0; i < 8; ++i)
            crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<uint16_t>(crc << 1);
    }
    return crc;
}

void PoeEscapado(std::vector<uint8_t>& saida, uint8_t byte) {
    if (byte == kInicio || byte == kEscape) {
        saida.push_back(kEscape);
        saida.push_back(byte ^ kMascara);
    } else {
        saida.push_back(byte);
    }
}

std::vector<uint8_t> Enquadra(std::span<const uint8_t> carga) {
    const auto tamanho = static_cast<uint16_t>(carga.size());
    const std::array<uint8_t, 2> cabeca{static_cast<uint8_t>(tamanho >> 8),
                                        static_cast<uint8_t>(tamanho & 0xFF)};
    std::vector<uint8_t> corpo(cabeca.begin(), cabeca.end());
    corpo.insert(corpo.end(), carga.begin(), carga.end());
    const uint16_t crc = Crc16(corpo);
    corpo.push_back(static_cast<uint8_t>(crc >> 8));
    corpo.push_back(static_cast<uint8_t>(crc & 0xFF));

    std::vector<uint8_t> quadro;
    quadro.reserve(1 + corpo.size() * 2);
    quadro.push_back(kInicio);
    for (uint8_t b : corpo)
        PoeEscapado(quadro, b);
    return quadro;
}

void ConfereTamanho(std::size_t cabecalho, std::size_t dados) {
    if (cabecalho + dados > kMaxCarga)
        throw std::length_error("protocolo: payload longer than kMaxCarga");
}

std::string NomeComando(Comando comando) {
    switch (comando) {
    case Comando::Status:
        return "Status";
    case Comando::StatusUltimo:
        return "StatusUltimo";
    case Comando::LeituraX:
        return "LeituraX";
    }
    char texto[24];
    std::snprintf(texto, sizeof texto, "comando 0x%02X", static_cast<unsigned>(comando));
    return texto;
}

std::string Dados(const std::vector<uint8_t>& dados) {
    return dados.empty() ? std::string{} : " +" + std::to_string(dados.size()) + " bytes";
}

} // namespace

std::vector<uint8_t> Codifica(const Pedido& pedido) {
    ConfereTamanho(kCabecalhoPedido, pedido.dados.size());
    std::vector<uint8_t> carga{kTipoPedido, pedido.sequencia, static_cast<uint8_t>(pedido.comando)};
    carga.insert(carga.end(), pedido.dados.begin(), pedido.dados.end());
    return Enquadra(carga);
}

std::vector<uint8_t> Codifica(const Resposta& resposta) {
    ConfereTamanho(kCabecalhoResposta, resposta.dados.size());
    std::vector<uint8_t> carga{kTipoResposta, resposta.sequencia, resposta.ack,
                               resposta.st1,  resposta.st2,       resposta.st3};
    carga.insert(carga.end(), resposta.dados.begin(), resposta.dados.end());
    return Enquadra(carga);
}

void Decodificador::Alimenta(std::span<const uint8_t> bytes) {
    for (uint8_t b : bytes)
        Recebe(b);
}

void Decodificador::Recebe(uint8_t byte) {
    if (byte == kInicio) {
        // A start inside a frame means that frame was cut short: drop it, begin anew.
        if (fase_ != Fase::Fora) Abandona();
        fase_ = Fase::Dentro;
        brutos_ = 1;
        return;
    }
    if (fase_ == Fase::Fora) {
        ++descartados_;
        return;
    }
    ++brutos_;
    if (fase_ == Fase::Dentro && byte == kEscape) {
        fase_ = Fase::Escape;
        return;
    }
    if (fase_ == Fase::Escape) {
        byte ^= kMascara;
        if (byte != kInicio && byte != kEscape) {
            Abandona();
            return;
        }
        fase_ = Fase::Dentro;
    }

    if (buffer_.capacity() < kMaxQuadro) buffer_.reserve(kMaxQuadro);
    buffer_.push_back(byte);
    if (buffer_.size() < 2) return;
    const std::size_t tamanho = (std::size_t{buffer_[0]} << 8) | buffer_[1];
    if (tamanho == 0 || tamanho > kMaxCarga)
        Abandona();
    else if (buffer_.size() == 2 + tamanho + 2)
        Fecha();
}

void Decodificador::Fecha() {
    const std::size_t fim = buffer_.size() - 2;
    const uint16_t recebido = static_cast<uint16_t>((buffer_[fim] << 8) | buffer_[fim + 1]);
    if (Crc16(std::span(buffer_).first(fim)) != recebido) {
        Abandona();
        return;
    }
    prontos_.push_back({std::vector<uint8_t>(buffer_.begin() + 2, buffer_.begin() + fim), brutos_});
    if (prontos_.size() > kMaxProntos) {
        descartados_ += prontos_.front().brutos;
        prontos_.pop_front();
    }
    buffer_.clear();
    brutos_ = 0;
    fase_ = Fase::Fora;
}

void Decodificador::Abandona() {
    descartados_ += brutos_;
    buffer_.clear();
    brutos_ = 0;
    fase_ = Fase::Fora;
}

std::optional<std::vector<uint8_t>> Decodificador::Proximo() {
    if (prontos_.empty()) return std::nullopt;
    std::vector<uint8_t> carga = std::move(prontos_.front().carga);
    prontos_.pop_front();
    return carga;
}

std::size_t Decodificador::Retidos() const {
    std::size_t total = buffer_.size();
    for (const Pronto& p : prontos_)
        total += p.carga.size();
    return total;
}

void Decodificador::Limpa() {
    buffer_.clear();
    brutos_ = 0;
    fase_ = Fase::Fora;
    prontos_.clear();
}

std::optional<Pedido> LePedido(std::span<const uint8_t> carga) {
    if (carga.size() < kCabecalhoPedido || carga.size() > kMaxCarga || carga[0] != kTipoPedido)
        return std::nullopt;
    Pedido pedido;
    pedido.sequencia = carga[1];
    pedido.comando = static_cast<Comando>(carga[2]);
    pedido.dados.assign(carga.begin() + kCabecalhoPedido, carga.end());
    return pedido;
}

std::optional<Resposta> LeResposta(std::span<const uint8_t> carga) {
    if (carga.size() < kCabecalhoResposta || carga.size() > kMaxCarga || carga[0] != kTipoResposta)
        return std::nullopt;
    Resposta resposta;
    resposta.sequencia = carga[1];
    resposta.ack = carga[2];
    resposta.st1 = carga[3];
    resposta.st2 = carga[4];
    resposta.st3 = carga[5];
    resposta.dados.assign(carga.begin() + kCabecalhoResposta, carga.end());
    return resposta;
}

std::string Descreve(const Pedido& pedido) {
    return "pedido #" + std::to_string(pedido.sequencia) + " " + NomeComando(pedido.comando) +
           Dados(pedido.dados);
}

std::string Descreve(const Resposta& resposta) {
    return "resposta #" + std::to_string(resposta.sequencia) + " ACK " +
           std::to_string(resposta.ack) + " ST1 " + std::to_string(resposta.st1) + " ST2 " +
           std::to_string(resposta.st2) + " ST3 " + std::to_string(resposta.st3) +
           Dados(resposta.dados);
}

} // namespace protocolo
