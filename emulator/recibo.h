// The X reading as the emulated printer prints it: 48 columns of UTF-8 text.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace emulador {

// The fiscal counters an X reading reports. COO and GNF go up with each document printed.
struct Contadores {
    unsigned coo = 123;              // Contador de Ordem de Operação
    unsigned gnf = 17;               // Geral de Operação Não Fiscal
    unsigned crz = 42;               // Contador de Reduções Z
    unsigned cro = 2;                // Contador de Reinício de Operação
    unsigned ccf = 87;               // Contador de Cupom Fiscal
    unsigned cdc = 0;                // Comprovante de Crédito ou Débito
    unsigned grg = 5;                // Geral de Relatório Gerencial
    int64_t gtCentavos = 15'234'075; // Grande Total, in centavos
};

// The receipt text, each line ending in a newline, dated `quando` (local time).
std::string LeituraX(const Contadores& contadores, const std::tm& quando);

} // namespace emulador
