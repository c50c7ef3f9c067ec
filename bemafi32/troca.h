// One request and its answer over an open line, and the probe of "Default" over many.
#pragma once

#include "porta_serial.h"
#include "protocolo.h"
#include "relogio.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace bemafi32 {

enum class Desfecho {
    Respondeu, // a well-formed answer carrying the request's sequence
    Silencio,  // nothing at all came before the deadline, or the line hung up bare
    Ilegivel,  // bytes came, but no answer could be read from them
};

struct Troca {
    Desfecho desfecho = Desfecho::Silencio;
    protocolo::Resposta resposta;
    std::vector<uint8_t> enviados;
    std::vector<uint8_t> recebidos;
    std::chrono::steady_clock::duration duracao{};
};

// Sends `pedido` and waits up to `timeout` for its answer. Answers to earlier requests
// (a printer that answered after we gave up) are skipped by their sequence.
Troca Pergunta(PortaSerial& porta, protocolo::Decodificador& decodificador,
               const protocolo::Pedido& pedido, std::chrono::milliseconds timeout,
               const Relogio& relogio);

struct Descoberta {
    std::optional<PortaSerial> porta; // the line that answered, open and locked
    Troca troca;                      // its exchange
    int abertas = 0;                  // candidates that could be opened
    bool ilegivel = false;            // some line sent bytes that were no answer
};

// Opens every candidate and sends each the same request at once, then waits on all of
// them in one poll: the first line to answer wins (in candidate order when several answer
// in the same wake-up). Silent, busy or stalled lines cost one `timeout` in total.
Descoberta Descobre(const std::vector<Candidato>& candidatos, const protocolo::Pedido& pedido,
                    std::chrono::milliseconds timeout, unsigned velocidade, const Relogio& relogio);

} // namespace bemafi32
