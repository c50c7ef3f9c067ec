// emulador-ecf: a stand-in MP-4200 TH FI on a pseudo-terminal (see docs/emulator.md).
#include "emulador.h"
#include "opcoes.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    const auto leitura = emulador::LeOpcoes(std::span(argv, static_cast<std::size_t>(argc)));
    if (!leitura.erro.empty()) {
        std::fprintf(stderr, "emulador-ecf: %s\nTry 'emulador-ecf --help'.\n",
                     leitura.erro.c_str());
        return 2;
    }
    if (leitura.opcoes.ajuda) {
        std::fputs(emulador::Ajuda().c_str(), stdout);
        return 0;
    }
    try {
        emulador::Emulador emulador(leitura.opcoes);
        return emulador.Executa();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "emulador-ecf: %s\n", e.what());
        return 1;
    }
}
