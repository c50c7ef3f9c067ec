// The pseudo-terminal the emulated printer sits on.
#pragma once

#include "descritor.h"

#include <string>

namespace emulador {

using protocolo::Descritor;

struct Terminal {
    Descritor mestre;    // the printer's end, non-blocking
    Descritor escravo;   // the line's end, held open so that the line stays up between users
    std::string caminho; // the line's device path, e.g. /dev/pts/5
};

// A new raw pseudo-terminal. Throws std::system_error.
Terminal AbreTerminal();

// Writes all of `bytes` to `fd`, retrying on EINTR; false on any other failure.
bool EscreveTudo(int fd, const void* bytes, std::size_t tamanho);

} // namespace emulador
