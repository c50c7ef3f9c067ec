#include "acoes.h"

#include "analise.h"
#include "bemafi32.h"
#include "caixas.h"
#include "registro.h"

using namespace Qt::StringLiterals;

bool Localizar() {
    if (Bematech_FI_AbrePortaSerial() == 1 &&
        Bematech_FI_VerificaEstadoImpressoraMFD(&StatusECF.ACK, &StatusECF.ST1, &StatusECF.ST2,
                                                &StatusECF.ST3) == 1) {
        iRetorno = Bematech_FI_VerificaEstadoImpressoraMFD(&StatusECF.ACK, &StatusECF.ST1,
                                                           &StatusECF.ST2, &StatusECF.ST3);
        AnalisaRetorno();
        return true;
    }
    // The port is left as the library has it: the operator may simply try again.
    CaixaInformacao(u"Erro de Comunicação, Impressora não Localizada"_s, u"LOCALIZAÇÃO DO ECF"_s);
    return false;
}

void LeituraX() {
    iRetorno = Bematech_FI_LeituraX();
    AnalisaRetorno();
}

void Liberar() { Bematech_FI_FechaPortaSerial(); }
