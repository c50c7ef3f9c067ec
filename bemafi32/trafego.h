// The optional traffic log: one line per event, appended, with the wall-clock time.
#pragma once

#include "troca.h"

#include <filesystem>
#include <string>

namespace bemafi32 {

class Trafego {
  public:
    // An empty path turns the log off.
    explicit Trafego(std::filesystem::path arquivo = {}) : arquivo_(std::move(arquivo)) {}

    void Anota(const std::string& linha) const;
    // The request and the answer in hex and in words, and how long the answer took.
    void AnotaTroca(const std::string& porta, const protocolo::Pedido& pedido,
                    const Troca& troca) const;

  private:
    std::filesystem::path arquivo_;
};

// "02 00 03" for the bytes {2, 0, 3}.
std::string Hex(std::span<const uint8_t> bytes);

} // namespace bemafi32
