// The stand-in library's state behind the seven C functions: where the settings come
// from, the open line, and the status the printer gave for the last command.
#pragma once

#include "ajustes.h"
#include "porta_serial.h"
#include "portas.h"
#include "protocolo.h"
#include "relogio.h"
#include "trafego.h"

#include <cstdint>
#include <filesystem>
#include <optional>

namespace bemafi32 {

// The library's return codes, as the program's return-code table reads them.
namespace retorno {
inline constexpr int32_t kSucesso = 1;
inline constexpr int32_t kErroComunicacao = 0;   // bytes came, but no answer could be read
inline constexpr int32_t kErroExecucao = -1;     // the function itself failed (no memory...)
inline constexpr int32_t kIniAusente = -4;       // the file the library was pointed at is missing
inline constexpr int32_t kPortaNaoAbre = -5;     // missing, busy, not allowed, or not open
inline constexpr int32_t kDesligada = -6;        // nothing at all came before the timeout
inline constexpr int32_t kStatusDiferente = -27; // the X reading answered other than 6, 0, 0
} // namespace retorno

struct Status {
    int32_t ack = 0;
    int32_t st1 = 0;
    int32_t st2 = 0;
    int32_t st3 = 0;
};

class Biblioteca {
  public:
    // Takes its settings from `arquivo` until told to use the program's folder; opens only
    // what `portas` offers.
    Biblioteca(std::filesystem::path arquivo, Portas& portas,
               const Relogio& relogio = RelogioDoSistema());

    // From now on the settings come from Bemafi32.ini in `pasta`; re-reads them.
    void UsaPasta(const std::filesystem::path& pasta);
    int32_t Recarrega();
    int32_t AbrePorta();
    int32_t FechaPorta();
    // Asks the printer for its present status; on failure the status reads 0, 0, 0, 0.
    int32_t VerificaEstado(Status& status);
    // The status of the last command, without asking the printer.
    Status UltimoStatus() const { return ultimo_; }
    // After a call that failed half-way: no status is known.
    void EsqueceStatus() noexcept { ultimo_ = {}; }
    int32_t LeituraX();

    const std::filesystem::path& Arquivo() const { return arquivo_; }

  private:
    int32_t Desfecho(const Troca& troca);
    // The settings read last, or the defaults when no file was found.
    const Ajustes& Atuais() const;
    protocolo::Pedido NovoPedido(protocolo::Comando comando);

    std::filesystem::path arquivo_;
    bool apontada_ = false; // the program named the file: its absence is an error
    std::optional<Ajustes> ajustes_;
    Trafego trafego_;
    std::optional<PortaSerial> porta_;
    protocolo::Decodificador decodificador_;
    uint8_t sequencia_ = 0;
    Status ultimo_;
    Portas& portas_;
    const Relogio& relogio_;
};

} // namespace bemafi32
