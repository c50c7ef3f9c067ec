#include "registro.h"

int32_t iRetorno = 0;
TStatusECF StatusECF;
QString sMsgRetorno;
QString Resposta1;
QString Resposta2;
QString Resposta3;
QString sPath;
