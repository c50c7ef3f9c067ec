// One open serial line: exclusive, raw, non-blocking, read and written to deadlines.
#pragma once

#include "portas.h"
#include "relogio.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace bemafi32 {

struct Vigia;

class PortaSerial {
  public:
    // Opens the vetted candidate without blocking, checks that the path still leads to the
    // same device, takes the exclusive lock, sets raw mode at `velocidade` and reads it back,
    // and flushes stale input. nullopt when any of it fails; `erro` says why. Whatever it
    // changed on the line is put back when the line is closed (or the open fails).
    // `comOutras`: the line will be waited on together with others (EsperaAlguma), as the
    // "Default" probe does; Windows then opens it for overlapped I/O, slower under Wine than
    // the plain calls a line on its own gets. POSIX lines are the same either way.
    static std::optional<PortaSerial> Abre(const Candidato& candidato, unsigned velocidade,
                                           std::string* erro = nullptr, bool comOutras = false);

    PortaSerial(PortaSerial&&) noexcept;
    PortaSerial& operator=(PortaSerial&& outra) noexcept;
    ~PortaSerial();

    // The line's descriptor, for tests that look at it (POSIX only).
    int fd() const;
    const std::string& Caminho() const { return caminho_; }

    // Writes everything before `prazo`; false on timeout or a dead line.
    bool Escreve(std::span<const uint8_t> bytes, Instante prazo, const Relogio& relogio);

    enum class Leitura { Dados, Prazo, Fechada };
    // Waits for bytes until `prazo` and appends what arrived to `destino`.
    Leitura Le(std::vector<uint8_t>& destino, Instante prazo, const Relogio& relogio);
    // These two, and EsperaAlguma, are for lines opened `comOutras` (on POSIX systems, any).
    // Reads what is there without waiting; Dados when some arrived.
    Leitura LeDisponivel(std::vector<uint8_t>& destino);
    // Writes what the line takes now, without waiting, and drops it from `bytes`; false when
    // the line is dead.
    bool EscreveSemEsperar(std::span<const uint8_t>& bytes);

  private:
    friend bool EsperaAlguma(std::span<Vigia> vigias, Instante prazo, const Relogio& relogio);

    // The open line in the system's own terms (porta_serial.cpp on POSIX systems,
    // porta_serial_windows.cpp), with what is needed to put it back as it was found.
    struct Linha;

    PortaSerial(std::unique_ptr<Linha> linha, std::string caminho);

    std::unique_ptr<Linha> linha_;
    std::string caminho_;
};

// One line among several waited on at once, and what the wait found on it.
struct Vigia {
    PortaSerial* porta = nullptr;
    bool escrever = false; // also wake when the line takes output
    bool entrada = false;  // bytes to read, or the line hung up or failed
    bool saida = false;    // the line takes output
    bool falhou = false;   // an error on the line
    bool desligou = false; // the other end hung up
};

// Waits until one of `vigias` has something to report, or until `prazo`; false on the
// deadline. Retried on signals.
bool EsperaAlguma(std::span<Vigia> vigias, Instante prazo, const Relogio& relogio);

} // namespace bemafi32
