// One of the emulator's output streams (standard output, standard error), written without
// ever blocking: the printer line must not wait for whoever reads them, nor may a signal.
// What the reader has not taken yet waits in a bounded queue; a text that does not fit is
// dropped and counted.
#pragma once

#include "terminal.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace emulador {

class Saida {
  public:
    static constexpr std::size_t kMaxFila = 64 * 1024;

    // Writes to `fd`. A pipe, a FIFO or a terminal is opened again, non-blocking, so that
    // the description it shares with others (a shell's) is left as it was.
    explicit Saida(int fd);

    // Queues `texto` whole and writes what the stream takes now; drops it, and counts it,
    // when the queue would grow past kMaxFila.
    void Poe(std::string_view texto);
    // Writes what the stream takes now.
    void Escreve();
    // Something waits for the stream to take it: poll fd() for POLLOUT.
    bool Pendente() const { return !fila_.empty(); }
    int fd() const { return fd_; }
    std::size_t Descartados() const { return descartados_; }

  private:
    int fd_;
    Descritor proprio_;
    std::string fila_;
    bool fechada_ = false; // the reader is gone: nothing more is written
    std::size_t descartados_ = 0;
};

} // namespace emulador
