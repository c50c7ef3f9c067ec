// One line a check and the closing count, as the test runners read it.
#pragma once

#include <cstdio>
#include <initializer_list>

struct TVerificacao {
    const char* nome;
    bool ok;
};

// Prints each check and "N passed, N failed"; the process's exit code.
inline int Relata(std::initializer_list<TVerificacao> casos) {
    int passaram = 0, falharam = 0;
    for (const auto& c : casos) {
        (c.ok ? passaram : falharam)++;
        std::printf("%s %s\n", c.ok ? "ok  " : "FAIL", c.nome);
    }
    std::printf("%d passed, %d failed\n", passaram, falharam);
    return falharam ? 1 : 0;
}
