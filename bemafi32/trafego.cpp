#include "trafego.h"

#include "trafego_arquivo.h"

#include <chrono>
#include <cstdio>
#include <ctime>

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

std::string Escapa(std::string_view texto) {
    std::string saida;
    saida.reserve(texto.size());
    for (const char c : texto) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '\\') {
            saida += "\\\\";
        } else if (b < 0x20 || b >= 0x7F) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", b);
            saida += escape;
        } else {
            saida += c;
        }
    }
    return saida;
}

void Trafego::Avisa(const std::string& texto) {
    if (avisou_) return;
    avisou_ = true;
    const std::string linha = "bemafi32: " + Escapa(texto) + "\n";
    EscreveNoErroPadrao(linha);
}

void Trafego::Anota(const std::string& linha) {
    if (!recusado_.empty()) {
        Avisa("no traffic log: Log=" + recusado_ +
              " is not a plain file name in the folder of Bemafi32.ini");
        // Said once; no line is built for it again.
        recusado_.clear();
        return;
    }
    if (arquivo_.empty()) return;

    const auto agora = std::chrono::system_clock::now();
    const auto segundos = std::chrono::system_clock::to_time_t(agora);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(agora.time_since_epoch()).count() %
        1000;
    const std::tm local = HoraLocal(segundos);
    char quando[40];
    const auto n = std::strftime(quando, sizeof quando, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(quando + n, sizeof quando - n, ".%03d ", static_cast<int>(ms));
    const std::string texto = quando + Escapa(linha) + "\n";

    const Acrescimo acrescimo = AcrescentaAoLog(arquivo_, texto);
    if (acrescimo.porque.empty()) return;
    if (acrescimo.recusado) {
        Avisa("no traffic log: " + arquivo_.string() + " " + acrescimo.porque);
        arquivo_.clear();
        return;
    }
    Avisa("the traffic log " + arquivo_.string() + " " + acrescimo.porque);
}

void Trafego::AnotaTroca(const std::string& porta, const protocolo::Pedido& pedido,
                         const Troca& troca) {
    if (arquivo_.empty() && recusado_.empty()) return;
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
        linha += "resposta incompleta ou lixo";
        break;
    }
    char tempo[32];
    std::snprintf(tempo, sizeof tempo, " em %.3f ms",
                  std::chrono::duration<double, std::milli>(troca.duracao).count());
    Anota(linha + tempo);
}

} // namespace bemafi32
