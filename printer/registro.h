// The shared record: module-level state that lives for the whole run.
#pragma once

#include <QString>
#include <cstdint>

struct TStatusECF {
    int32_t ACK = 0;
    int32_t ST1 = 0;
    int32_t ST2 = 0;
    int32_t ST3 = 0;
};

extern int32_t iRetorno;
extern TStatusECF StatusECF;
extern QString sMsgRetorno;
extern QString Resposta1;
extern QString Resposta2;
extern QString Resposta3;
// The program's folder with its trailing separator; empty until the show step sets it.
extern QString sPath;
