#include "biblioteca.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace bemafi32 {

namespace {

bool EhDefault(std::string_view porta) {
    constexpr std::string_view kDefault = "default";
    return porta.empty() || std::equal(porta.begin(), porta.end(), kDefault.begin(), kDefault.end(),
                                       [](char a, char b) {
                                           return std::tolower(static_cast<unsigned char>(a)) == b;
                                       });
}

} // namespace

Biblioteca::Biblioteca(std::filesystem::path arquivo, Portas& portas, const Relogio& relogio)
    : arquivo_(std::move(arquivo)), portas_(portas), relogio_(relogio) {
    Recarrega();
}

void Biblioteca::UsaPasta(const std::filesystem::path& pasta) {
    arquivo_ = pasta / "Bemafi32.ini";
    apontada_ = true;
    Recarrega();
}

int32_t Biblioteca::Recarrega() {
    ajustes_ = CarregaAjustes(arquivo_);
    trafego_ = ajustes_ ? Trafego(ajustes_->log, ajustes_->logRecusado) : Trafego();
    if (!ajustes_ && apontada_) return retorno::kIniAusente;
    return retorno::kSucesso;
}

const Ajustes& Biblioteca::Atuais() const {
    static const Ajustes kPadrao;
    return ajustes_ ? *ajustes_ : kPadrao;
}

protocolo::Pedido Biblioteca::NovoPedido(protocolo::Comando comando) {
    protocolo::Pedido pedido;
    pedido.sequencia = ++sequencia_;
    pedido.comando = comando;
    return pedido;
}

int32_t Biblioteca::AbrePorta() {
    FechaPorta();
    // A new session has no last command yet.
    ultimo_ = {};
    // The program writes the file after pointing us at it, and may not have reloaded.
    if (!ajustes_ && Recarrega() != retorno::kSucesso) return retorno::kIniAusente;
    const Ajustes& ajustes = Atuais();

    if (EhDefault(ajustes.porta)) {
        const auto candidatos = portas_.Todas();
        const auto pedido = NovoPedido(protocolo::Comando::Status);
        auto achada = Descobre(candidatos, pedido, ajustes.timeout, ajustes.velocidade, relogio_);
        std::string portas;
        for (const auto& c : candidatos)
            portas += ' ' + c.caminho;
        trafego_.Anota("Default: " + std::to_string(candidatos.size()) + " candidatas (" +
                       std::to_string(achada.abertas) + " abertas):" + portas);
        trafego_.AnotaTroca(achada.porta ? achada.porta->Caminho() : "Default", pedido,
                            achada.troca);
        if (achada.porta) {
            porta_ = std::move(achada.porta);
            return Desfecho(achada.troca);
        }
        if (achada.abertas == 0) return retorno::kPortaNaoAbre;
        return Desfecho(achada.troca);
    }

    std::string caminho;
    const auto candidato = portas_.Nomeada(ajustes.porta, ajustes, caminho);
    if (!candidato) {
        trafego_.Anota("abre " + caminho +
                       ": ausente, ou nem porta serial nem emulador registrado");
        return retorno::kPortaNaoAbre;
    }
    std::string erro;
    porta_ = PortaSerial::Abre(*candidato, ajustes.velocidade, &erro);
    trafego_.Anota("abre " + caminho + (porta_ ? std::string(": ok") : ": " + erro));
    return porta_ ? retorno::kSucesso : retorno::kPortaNaoAbre;
}

int32_t Biblioteca::FechaPorta() {
    // The line is let go first, so that nothing after (the log) can keep it open.
    const std::optional<PortaSerial> porta = std::exchange(porta_, std::nullopt);
    if (porta) trafego_.Anota("fecha " + porta->Caminho());
    return retorno::kSucesso;
}

int32_t Biblioteca::Desfecho(const Troca& troca) {
    switch (troca.desfecho) {
    case bemafi32::Desfecho::Respondeu:
        ultimo_ = {troca.resposta.ack, troca.resposta.st1, troca.resposta.st2, troca.resposta.st3};
        return retorno::kSucesso;
    case bemafi32::Desfecho::Ilegivel:
        ultimo_ = {};
        return retorno::kErroComunicacao;
    case bemafi32::Desfecho::Silencio:
        break;
    }
    ultimo_ = {};
    return retorno::kDesligada;
}

int32_t Biblioteca::VerificaEstado(Status& status) {
    int32_t codigo = retorno::kPortaNaoAbre;
    if (porta_) {
        const auto pedido = NovoPedido(protocolo::Comando::Status);
        const auto troca = Pergunta(*porta_, decodificador_, pedido, Atuais().timeout, relogio_);
        trafego_.AnotaTroca(porta_->Caminho(), pedido, troca);
        codigo = Desfecho(troca);
    } else {
        ultimo_ = {};
    }
    status = ultimo_;
    return codigo;
}

int32_t Biblioteca::LeituraX() {
    if (!porta_) {
        ultimo_ = {};
        return retorno::kPortaNaoAbre;
    }
    const auto pedido = NovoPedido(protocolo::Comando::LeituraX);
    const auto troca =
        Pergunta(*porta_, decodificador_, pedido, Atuais().timeoutLeituraX, relogio_);
    trafego_.AnotaTroca(porta_->Caminho(), pedido, troca);
    const int32_t codigo = Desfecho(troca);
    if (codigo == retorno::kSucesso &&
        (ultimo_.ack != protocolo::kAck || ultimo_.st1 != 0 || ultimo_.st2 != 0))
        return retorno::kStatusDiferente;
    return codigo;
}

} // namespace bemafi32
