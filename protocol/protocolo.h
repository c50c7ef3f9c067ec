// Our printer protocol: framing, checksums, commands and answers. One codec, used by the
// stand-in library (requests out, answers in) and by the emulator (the other way round).
// The wire format is documented in docs/protocol.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
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
// What a payload spends before its data: kind and sequence, then the command byte of a
// request or the four status bytes of an answer.
inline constexpr std::size_t kCabecalhoPedido = 3;
inline constexpr std::size_t kCabecalhoResposta = 6;

// The whole frame on the wire. Throws std::length_error when `dados` would take the payload
// past kMaxCarga.
std::vector<uint8_t> Codifica(const Pedido& pedido);
std::vector<uint8_t> Codifica(const Resposta& resposta);

// Reassembles frames from bytes as they arrive. Garbage, truncated frames and bad
// checksums are skipped: the decoder resynchronises on the next frame start. Its buffer
// never grows past one maximal frame.
class Decodificador {
  public:
    // A frame being assembled holds at most its length, payload and checksum.
    static constexpr std::size_t kMaxQuadro = 2 + kMaxCarga + 2;
    // Whole payloads waiting for Proximo; when more arrive, the oldest is dropped (and its
    // bytes counted as discarded), since the newest answer is the one a caller waits for.
    static constexpr std::size_t kMaxProntos = 4;

    void Alimenta(std::span<const uint8_t> bytes);
    // The next well-formed payload, if a whole one has arrived.
    std::optional<std::vector<uint8_t>> Proximo();
    // Bytes discarded while resynchronising since construction (for the traffic log).
    std::size_t Descartados() const { return descartados_; }
    // Bytes held: the frame being assembled plus the payloads waiting for Proximo. Never
    // more than kMaxQuadro + kMaxProntos * kMaxCarga.
    std::size_t Retidos() const;
    // Forgets the frame being assembled and the waiting payloads (not counted as discarded).
    void Limpa();

  private:
    enum class Fase : uint8_t { Fora, Dentro, Escape };
    struct Pronto {
        std::vector<uint8_t> carga;
        std::size_t brutos = 0; // the bytes it took on the wire
    };

    void Recebe(uint8_t byte);
    void Abandona();
    void Fecha();

    std::vector<uint8_t> buffer_; // the frame being assembled, unescaped, without its start
    std::size_t descartados_ = 0;
    Fase fase_ = Fase::Fora;
    std::size_t brutos_ = 0; // wire bytes of the frame being assembled, its start included
    std::deque<Pronto> prontos_;
};

std::optional<Pedido> LePedido(std::span<const uint8_t> carga);
std::optional<Resposta> LeResposta(std::span<const uint8_t> carga);

// One line in words for a traffic log, e.g. "pedido #7 Status" or
// "resposta #7 ACK 6 ST1 64 ST2 0 ST3 0".
std::string Descreve(const Pedido& pedido);
std::string Descreve(const Resposta& resposta);

} // namespace protocolo
