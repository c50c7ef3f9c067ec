// The emulated printer without any I/O: its state, how it answers each request, and the
// control commands that change it.
#pragma once

#include "protocolo.h"
#include "recibo.h"

#include <chrono>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace emulador {

enum class Estado {
    Normal,
    PoucoPapel,
    SemPapel,
    CabecaLevantada,
    ErroRelogio,
    CupomAberto,
    EmErro,
    OffLine,
    Recusa,   // answers every command with NAK
    Silencio, // reads, never answers
    Lixo,     // answers with garbage, executes nothing
    Corta,    // executes, sends half of the answer
};

struct Status {
    uint8_t ack = protocolo::kAck;
    uint8_t st1 = 0;
    uint8_t st2 = 0;
    uint8_t st3 = 0;
};

std::optional<Estado> EstadoPorNome(std::string_view nome);
std::string_view NomeDoEstado(Estado estado);
// "normal, pouco-papel, ...", for the help texts.
std::string NomesDosEstados();

// What the printer does with one request.
struct Atendimento {
    std::vector<uint8_t> bytes; // what goes down the line; nothing when empty
    std::string recibo;         // the X reading printed, if one was
    std::string descricao;      // one line for the traffic log
};

class Impressora {
  public:
    static constexpr std::chrono::milliseconds kMaxAtraso{60'000};

    // `relogio` gives the local date and time printed on an X reading.
    explicit Impressora(std::function<std::tm()> relogio) : relogio_(std::move(relogio)) {}

    Atendimento Atende(const protocolo::Pedido& pedido);

    Estado estado() const { return estado_; }
    void MudaEstado(Estado estado) { estado_ = estado; }
    std::chrono::milliseconds atraso() const { return atraso_; }
    void MudaAtraso(std::chrono::milliseconds atraso) { atraso_ = atraso; }
    // The status of the next command other than StatusUltimo, whatever the state; once.
    void DefineProximo(Status status) { proximo_ = status; }
    unsigned pedidos() const { return pedidos_; }
    unsigned leituras() const { return leituras_; }

  private:
    Status Executa(const protocolo::Pedido& pedido, std::string& recibo);

    std::function<std::tm()> relogio_;
    Estado estado_ = Estado::Normal;
    std::chrono::milliseconds atraso_{0};
    std::optional<Status> proximo_;
    Status ultimo_;
    Contadores contadores_;
    unsigned pedidos_ = 0;
    unsigned leituras_ = 0;
};

// One line of the control channel. Nothing for an empty line or a comment; otherwise the
// acknowledgement line ("ok ..." or "erro ...") and whether the emulator is to end.
struct Controle {
    std::string resposta;
    bool sair = false;
};
std::optional<Controle> Controla(std::string_view linha, Impressora& impressora);

// Reads "0".."255", or nothing.
std::optional<uint8_t> LeByte(std::string_view texto);
// Reads a delay in milliseconds, 0 to Impressora::kMaxAtraso, or nothing.
std::optional<std::chrono::milliseconds> LeAtraso(std::string_view texto);

} // namespace emulador
