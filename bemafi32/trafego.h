// The optional traffic log: one line per event, appended, with the wall-clock time.
#pragma once

#include "troca.h"

#include <filesystem>
#include <string>

namespace bemafi32 {

class Trafego {
  public:
    // An empty path turns the log off; so does `recusado`, a Log value that was no plain
    // file name, said on standard error at the first line that would have gone to the log.
    explicit Trafego(std::filesystem::path arquivo = {}, std::string recusado = {})
        : arquivo_(std::move(arquivo)), recusado_(std::move(recusado)) {}

    // Appends `linha`, every byte that is not printable ASCII written as \xNN. The log is
    // written only when its name leads to a regular file of the user's with no other name
    // (or to nothing: it is then created, for the user alone); anything else turns it off.
    // Never fails nor waits: a problem is said once on standard error.
    void Anota(const std::string& linha);
    // The request and the answer in hex and in words, and how long the answer took.
    void AnotaTroca(const std::string& porta, const protocolo::Pedido& pedido, const Troca& troca);

  private:
    void Avisa(const std::string& texto);

    std::filesystem::path arquivo_;
    std::string recusado_;
    bool avisou_ = false;
};

// "02 00 03" for the bytes {2, 0, 3}.
std::string Hex(std::span<const uint8_t> bytes);

// `texto` with every byte outside printable ASCII (controls, DEL, and all of UTF-8's) as
// \xNN, and the backslash itself as \\ so that the escape reads back unambiguously.
std::string Escapa(std::string_view texto);

} // namespace bemafi32
