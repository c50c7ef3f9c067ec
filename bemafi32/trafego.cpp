#include "trafego.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>

namespace bemafi32 {

std::string Hex(std::span<const uint8_t> bytes) {
    std::string texto;
    texto.reserve(bytes.size() * 3);
    char par[4];
    for (uint8_t b : bytes) {
        std::snprintf(par, sizeof par, texto.empty() ? "%02X" : " %02X", b);
        texto += par;
    }
    return texto;
}

void Trafego::Anota(const std::string& linha) const {
    if (arquivo_.empty()) return;
    const auto agora = std::chrono::system_clock::now();
    const auto segundos = std::chrono::system_clock::to_time_t(agora);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(agora.time_since_epoch()).count() %
        1000;
    std::tm local{};
    ::localtime_r(&segundos, &local);
    char quando[40];
    const auto n = std::strftime(quando, sizeof quando, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(quando + n, sizeof quando - n, ".%03d", static_cast<int>(ms));

    std::ofstream saida(arquivo_, std::ios::app | std::ios::binary);
    saida << quando << ' ' << linha << '\n';
}

void Trafego::AnotaTroca(const std::string& porta, const protocolo::Pedido& pedido,
                         const Troca& troca) const {
    if (arquivo_.empty()) return;
    std::string linha = porta + " -> [" + Hex(troca.enviados) + "] " + protocolo::Descreve(pedido);
    linha += " <- [" + Hex(troca.recebidos) + "] ";
    switch (troca.desfecho) {
    case Desfecho::Respondeu:
        linha += protocolo::Descreve(troca.resposta);
        break;
    case Desfecho::Silencio:
        linha += "sem resposta";
        break;
    case Desfecho::Ilegivel:
        linha += "resposta ilegível";
        break;
    }
    char tempo[32];
    std::snprintf(tempo, sizeof tempo, " em %.3f ms",
                  std::chrono::duration<double, std::milli>(troca.duracao).count());
    Anota(linha + tempo);
}

} // namespace bemafi32
