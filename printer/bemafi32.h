/* The seven functions of the fiscal printer library that TesteECF calls.
 *
 * On Windows this binds the maker's BEMAFI32.DLL through its import library;
 * on Linux it binds our stand-in (bemafi32/). Every function returns a signed
 * 32-bit code, 1 meaning success; the two status functions fill ACK, ST1, ST2
 * and ST3, in that order, through the pointers they are given.
 */
#ifndef BEMAFI32_H
#define BEMAFI32_H

#include <stdint.h>

#if defined(_WIN32)
#define BEMAFI32_CALL __stdcall
#if defined(BEMAFI32_BUILDING)
#define BEMAFI32_API __declspec(dllexport)
#elif defined(BEMAFI32_LOCAL)
/* Defined inside the very program, as the tests' scripted double is. */
#define BEMAFI32_API
#else
#define BEMAFI32_API __declspec(dllimport)
#endif
#else
#define BEMAFI32_CALL
#define BEMAFI32_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

BEMAFI32_API int32_t BEMAFI32_CALL Bematech_FI_SelecionaIniLocal(void);
BEMAFI32_API int32_t BEMAFI32_CALL Bematech_FI_ReloadINIFile(void);
BEMAFI32_API int32_t BEMAFI32_CALL Bematech_FI_AbrePortaSerial(void);
BEMAFI32_API int32_t BEMAFI32_CALL Bematech_FI_FechaPortaSerial(void);
BEMAFI32_API int32_t BEMAFI32_CALL Bematech_FI_VerificaEstadoImpressoraMFD(int32_t* ack,
                                                                           int32_t* st1,
                                                                           int32_t* st2,
                                                                           int32_t* st3);
BEMAFI32_API int32_t BEMAFI32_CALL Bematech_FI_RetornoImpressoraMFD(int32_t* ack, int32_t* st1,
                                                                    int32_t* st2, int32_t* st3);
BEMAFI32_API int32_t BEMAFI32_CALL Bematech_FI_LeituraX(void);

#ifdef __cplusplus
}
#endif

#endif
