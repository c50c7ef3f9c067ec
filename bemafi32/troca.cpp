#include "troca.h"

namespace bemafi32 {

namespace {

// Takes the answers out of the decoder; true when the one for `sequencia` is among them.
// `ilegivel` records payloads that are no answer at all.
bool ProcuraResposta(protocolo::Decodificador& decodificador, uint8_t sequencia,
                     protocolo::Resposta& resposta, bool& ilegivel) {
    while (auto carga = decodificador.Proximo()) {
        auto lida = protocolo::LeResposta(*carga);
        if (!lida) {
            ilegivel = true;
            continue;
        }
        if (lida->sequencia == sequencia) {
            resposta = std::move(*lida);
            return true;
        }
    }
    return false;
}

bool Sobrou(const protocolo::Decodificador& decodificador, std::size_t descartadosAntes) {
    return decodificador.Descartados() != descartadosAntes || decodificador.Retidos() > 0;
}

} // namespace

Troca Pergunta(PortaSerial& porta, protocolo::Decodificador& decodificador,
               const protocolo::Pedido& pedido, std::chrono::milliseconds timeout,
               const Relogio& relogio) {
    Troca troca;
    const auto inicio = relogio.Agora();
    const auto prazo = inicio + timeout;
    troca.enviados = protocolo::Codifica(pedido);
    // What an earlier exchange left half-read (an answer cut short) belongs to no one now,
    // and would make silence look like garbage.
    decodificador.Limpa();
    const auto descartadosAntes = decodificador.Descartados();
    bool ilegivel = false;

    if (porta.Escreve(troca.enviados, prazo, relogio)) {
        for (;;) {
            const auto antes = troca.recebidos.size();
            const auto leitura = porta.Le(troca.recebidos, prazo, relogio);
            decodificador.Alimenta(std::span(troca.recebidos).subspan(antes));
            if (ProcuraResposta(decodificador, pedido.sequencia, troca.resposta, ilegivel)) {
                troca.desfecho = Desfecho::Respondeu;
                troca.duracao = relogio.Agora() - inicio;
                return troca;
            }
            if (leitura != PortaSerial::Leitura::Dados) break;
        }
    }
    troca.desfecho = ilegivel || Sobrou(decodificador, descartadosAntes) ? Desfecho::Ilegivel
                                                                         : Desfecho::Silencio;
    troca.duracao = relogio.Agora() - inicio;
    return troca;
}

namespace {

struct Sonda {
    PortaSerial porta;
    protocolo::Decodificador decodificador;
    std::span<const uint8_t> falta; // what is still to be written
    std::vector<uint8_t> recebidos;
    bool viva = true;
    bool ilegivel = false;
};

void EscreveO_QuePuder(Sonda& sonda) {
    if (!sonda.porta.EscreveSemEsperar(sonda.falta)) sonda.viva = false;
}

} // namespace

Descoberta Descobre(const std::vector<Candidato>& candidatos, const protocolo::Pedido& pedido,
                    std::chrono::milliseconds timeout, unsigned velocidade,
                    const Relogio& relogio) {
    Descoberta descoberta;
    const auto inicio = relogio.Agora();
    const auto prazo = inicio + timeout;
    const auto quadro = protocolo::Codifica(pedido);

    std::vector<Sonda> sondas;
    sondas.reserve(candidatos.size());
    for (const auto& candidato : candidatos) {
        auto porta = PortaSerial::Abre(candidato, velocidade, nullptr, true);
        if (!porta) continue;
        sondas.push_back(Sonda{std::move(*porta), {}, quadro, {}});
        EscreveO_QuePuder(sondas.back());
    }
    descoberta.abertas = static_cast<int>(sondas.size());

    std::vector<Vigia> vigias;
    std::vector<std::size_t> indices;
    for (;;) {
        vigias.clear();
        indices.clear();
        for (std::size_t i = 0; i < sondas.size(); ++i) {
            if (!sondas[i].viva) continue;
            vigias.push_back({&sondas[i].porta, !sondas[i].falta.empty()});
            indices.push_back(i);
        }
        if (vigias.empty() || !EsperaAlguma(vigias, prazo, relogio)) break;

        // In candidate order, so that answers in the same wake-up always pick the same line.
        std::optional<std::size_t> vencedora;
        for (std::size_t k = 0; k < vigias.size(); ++k) {
            auto& sonda = sondas[indices[k]];
            const Vigia& vigia = vigias[k];
            if (vigia.saida) EscreveO_QuePuder(sonda);
            if (!vigia.entrada) continue;
            const auto antes = sonda.recebidos.size();
            const auto leitura = sonda.porta.LeDisponivel(sonda.recebidos);
            sonda.decodificador.Alimenta(std::span(sonda.recebidos).subspan(antes));
            protocolo::Resposta resposta;
            if (ProcuraResposta(sonda.decodificador, pedido.sequencia, resposta, sonda.ilegivel)) {
                if (!vencedora) {
                    vencedora = indices[k];
                    descoberta.troca.resposta = std::move(resposta);
                }
                continue;
            }
            if (leitura == PortaSerial::Leitura::Fechada || vigia.falhou ||
                (vigia.desligou && leitura != PortaSerial::Leitura::Dados))
                sonda.viva = false;
        }
        if (vencedora) {
            auto& sonda = sondas[*vencedora];
            descoberta.troca.desfecho = Desfecho::Respondeu;
            descoberta.troca.enviados = quadro;
            descoberta.troca.recebidos = std::move(sonda.recebidos);
            descoberta.troca.duracao = relogio.Agora() - inicio;
            descoberta.porta = std::move(sonda.porta);
            return descoberta;
        }
    }
    for (const auto& sonda : sondas)
        if (sonda.ilegivel || sonda.decodificador.Descartados() > 0 ||
            sonda.decodificador.Retidos() > 0)
            descoberta.ilegivel = true;
    descoberta.troca.desfecho = descoberta.ilegivel ? Desfecho::Ilegivel : Desfecho::Silencio;
    descoberta.troca.enviados = quadro;
    descoberta.troca.duracao = relogio.Agora() - inicio;
    return descoberta;
}

} // namespace bemafi32
