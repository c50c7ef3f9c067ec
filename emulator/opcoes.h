// The emulator's command line.
#pragma once

#include "impressora.h"

#include <chrono>
#include <ctime>
#include <optional>
#include <span>
#include <string>

namespace emulador {

struct Opcoes {
    Estado estado = Estado::Normal;
    std::chrono::milliseconds atraso{0};
    std::optional<Status> proximo;
    std::string recibo;             // file the X readings are appended to; none when empty
    std::optional<std::tm> relogio; // fixed date and time for the X readings
    bool semRegistro = false;
    bool trafego = false;
    bool ajuda = false;
};

// The options, or the reason they cannot be read.
struct LeituraDeOpcoes {
    Opcoes opcoes;
    std::string erro;
};
LeituraDeOpcoes LeOpcoes(std::span<char* const> argumentos);

// The --help text: options, control commands, states, registration.
std::string Ajuda();

} // namespace emulador
