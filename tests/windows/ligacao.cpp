// The binding header against a DLL through its import library: every one of the seven
// functions is found, called with its arguments in order, and its result comes back.
#include "bemafi32.h"
#include "relatorio.h"

int main() {
    int32_t ack = -1, st1 = -1, st2 = -1, st3 = -1;
    const int32_t seleciona = Bematech_FI_SelecionaIniLocal();
    const int32_t recarrega = Bematech_FI_ReloadINIFile();
    const int32_t abre = Bematech_FI_AbrePortaSerial();
    const int32_t verifica = Bematech_FI_VerificaEstadoImpressoraMFD(&ack, &st1, &st2, &st3);
    const bool estado = ack == 6 && st1 == 0x80 && st2 == 0x08 && st3 == 13;
    const int32_t retorno = Bematech_FI_RetornoImpressoraMFD(&ack, &st1, &st2, &st3);
    const bool ultimo = ack == 21 && st1 == 1 && st2 == 2 && st3 == 3;
    const int32_t leitura = Bematech_FI_LeituraX();
    const int32_t fecha = Bematech_FI_FechaPortaSerial();
    return Relata({
        {"Bematech_FI_SelecionaIniLocal", seleciona == 10},
        {"Bematech_FI_ReloadINIFile", recarrega == 21},
        {"Bematech_FI_AbrePortaSerial", abre == 32},
        {"Bematech_FI_VerificaEstadoImpressoraMFD", verifica == 53 && estado},
        {"Bematech_FI_RetornoImpressoraMFD", retorno == 64 && ultimo},
        {"Bematech_FI_LeituraX", leitura == 75},
        {"Bematech_FI_FechaPortaSerial", fecha == 46},
    });
}
