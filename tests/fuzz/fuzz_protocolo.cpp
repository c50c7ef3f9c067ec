// The protocol decoder fed arbitrary bytes in arbitrary chunks: it must never crash, never
// hold more than its bound, and every payload it gives must survive a round trip.
// The seeds in corpus/fuzz_protocolo are wire bytes followed by the two bytes this harness
// reads first from the end of its input: 0 (take the payloads) and the bytes' count (one
// chunk).
#include "protocolo.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

using namespace protocolo;

namespace {

constexpr std::size_t kLimite = Decodificador::kMaxQuadro + Decodificador::kMaxProntos * kMaxCarga;

void Confere(bool condicao) {
    if (!condicao) std::abort();
}

// A payload read back from its own encoding must come out unchanged.
template <typename T> void IdaEVolta(const T& lido, const std::vector<uint8_t>& carga) {
    Decodificador d;
    d.Alimenta(Codifica(lido));
    const auto de_novo = d.Proximo();
    Confere(de_novo && *de_novo == carga && !d.Proximo() && d.Descartados() == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, std::size_t tamanho) {
    FuzzedDataProvider entrada(dados, tamanho);
    Decodificador d;
    std::size_t descartados = 0;
    while (entrada.remaining_bytes() > 0) {
        const auto pedaco = entrada.ConsumeIntegralInRange<std::size_t>(0, 64);
        const std::vector<uint8_t> bytes = entrada.ConsumeBytes<uint8_t>(pedaco);
        d.Alimenta(bytes);
        Confere(d.Retidos() <= kLimite);
        Confere(d.Descartados() >= descartados);
        descartados = d.Descartados();

        // Sometimes the reader is slow and lets payloads pile up; sometimes it starts over.
        if (entrada.ConsumeBool()) continue;
        while (const auto carga = d.Proximo()) {
            Confere(!carga->empty() && carga->size() <= kMaxCarga);
            if (const auto pedido = LePedido(*carga)) {
                IdaEVolta(*pedido, *carga);
                Confere(!Descreve(*pedido).empty());
            }
            if (const auto resposta = LeResposta(*carga)) {
                IdaEVolta(*resposta, *carga);
                Confere(!Descreve(*resposta).empty());
            }
        }
        if (entrada.ConsumeIntegralInRange<int>(0, 15) == 0) {
            d.Limpa();
            Confere(d.Retidos() == 0);
        }
    }
    return 0;
}
