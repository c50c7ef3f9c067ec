// Answers like an idle printer, without any I/O.
#include "bemafi32.h"

namespace {
void Ocioso(int32_t* ack, int32_t* st1, int32_t* st2, int32_t* st3) {
    *ack = 6;
    *st1 = 0;
    *st2 = 0;
    *st3 = 0;
}
} // namespace

extern "C" {
int32_t Bematech_FI_SelecionaIniLocal(void) { return 1; }
int32_t Bematech_FI_ReloadINIFile(void) { return 1; }
int32_t Bematech_FI_AbrePortaSerial(void) { return 1; }
int32_t Bematech_FI_FechaPortaSerial(void) { return 1; }
int32_t Bematech_FI_VerificaEstadoImpressoraMFD(int32_t* ack, int32_t* st1, int32_t* st2,
                                                int32_t* st3) {
    Ocioso(ack, st1, st2, st3);
    return 1;
}
int32_t Bematech_FI_RetornoImpressoraMFD(int32_t* ack, int32_t* st1, int32_t* st2, int32_t* st3) {
    Ocioso(ack, st1, st2, st3);
    return 1;
}
int32_t Bematech_FI_LeituraX(void) { return 1; }
}
