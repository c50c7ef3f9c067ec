// One factor for every upper bound on time in the tests: a slow or loaded machine, or the
// sanitizer build (whose preset raises it), stretches them all alike. Bounds that a row
// must stay inside (a silent line, one timeout for many ports) are multiplied by it; the
// times a test asks the code under test to wait are not.
#pragma once

#include <QtGlobal>

#include <chrono>
#include <cstdlib>

namespace teste {

inline int Escala() {
    static const int escala = [] {
        const char* texto = std::getenv("TESTEECF_ESCALA_TEMPO");
        const int valor = texto ? std::atoi(texto) : 1;
        return valor >= 1 ? valor : 1;
    }();
    return escala;
}

inline qint64 Escalado(qint64 ms) { return ms * Escala(); }
inline std::chrono::milliseconds Escalado(std::chrono::milliseconds ms) { return ms * Escala(); }

} // namespace teste
