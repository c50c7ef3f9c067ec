// Our printer protocol: framing, checksums, commands and answers. One codec, used by the
// stand-in library (requests out, answers in) and by the emulator (the other way round).
// The wire format is documented in docs/protocol.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace protocolo {

// The printer's acknowledgement and refusal bytes, as the status analysis reads ACK.
inline constexpr uint8_t kAck = 6;
inline constexpr uint8_t kNak = 21;

enum class Comando : uint8_t {
    Status = 0x10,       // the printer's present status
    StatusUltimo = 0x11, // the status the printer gave for the last command
    LeituraX = 0x20,     // print an X reading
};

struct Pedido {
    uint8_t sequencia = 0; // echoed by the answer, so a late answer is never taken for a new one
    Comando comando = Comando::Status;
    std::vector<uint8_t> dados;
};

struct Resposta {
    uint8_t sequencia = 0;
    uint8_t ack = kAck; // kAck, or kNak when the printer refused the command
    uint8_t st1 = 0;
    uint8_t st2 = 0;
    uint8_t st3 = 0;
    std::vector<uint8_t> dados;
};

// The largest payload a frame may carry; longer input is refused, so buffers stay bounded.
inline constexpr std::size_t kMaxCarga = 512;

std::vector<uint8_t> Codifica(const Pedido& pedido);
std::vector<uint8_t> Codifica(const Resposta& resposta);

// Reassembles frames from bytes as they arrive. Garbage, truncated frames and bad
// checksums are skipped: the decoder resynchronises on the next frame start. Its buffer
// never grows past one maximal frame.
class Decodificador {
public:
    void Alimenta(std::span<const uint8_t> bytes);
    // The next well-formed payload, if a whole one has arrived.
    std::optional<std::vector<uint8_t>> Proximo();
    // Bytes discarded while resynchronising since construction (for the traffic log).
    std::size_t Descartados() const { return descartados_; }
    void Limpa();

private:
    std::vector<uint8_t> buffer_;
    std::size_t descartados_ = 0;
};

std::optional<Pedido> LePedido(std::span<const uint8_t> carga);
std::optional<Resposta> LeResposta(std::span<const uint8_t> carga);

} // namespace protocolo
