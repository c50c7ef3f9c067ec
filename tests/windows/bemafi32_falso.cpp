// A DLL with the seven functions of the printer library, built from our binding header,
// so that a program can be linked against its import library as against the maker's.
#define BEMAFI32_BUILDING
#include "bemafi32.h"

namespace {
int32_t chamadas = 0;
}

extern "C" {
int32_t BEMAFI32_CALL Bematech_FI_SelecionaIniLocal(void) { return 10 + chamadas++; }
int32_t BEMAFI32_CALL Bematech_FI_ReloadINIFile(void) { return 20 + chamadas++; }
int32_t BEMAFI32_CALL Bematech_FI_AbrePortaSerial(void) { return 30 + chamadas++; }
int32_t BEMAFI32_CALL Bematech_FI_FechaPortaSerial(void) { return 40 + chamadas++; }
int32_t BEMAFI32_CALL Bematech_FI_VerificaEstadoImpressoraMFD(int32_t* ack, int32_t* st1,
                                                              int32_t* st2, int32_t* st3) {
    *ack = 6;
    *st1 = 0x80;
    *st2 = 0x08;
    *st3 = 13;
    return 50 + chamadas++;
}
int32_t BEMAFI32_CALL Bematech_FI_RetornoImpressoraMFD(int32_t* ack, int32_t* st1, int32_t* st2,
                                                       int32_t* st3) {
    *ack = 21;
    *st1 = 1;
    *st2 = 2;
    *st3 = 3;
    return 60 + chamadas++;
}
int32_t BEMAFI32_CALL Bematech_FI_LeituraX(void) { return 70 + chamadas++; }
}
