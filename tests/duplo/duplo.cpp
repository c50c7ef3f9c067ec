#include "duplo.h"

#include "bemafi32.h"

#include <QHash>
#include <QQueue>

namespace duplo {
namespace {

QHash<QString, QQueue<Resposta>>& Filas() {
    static QHash<QString, QQueue<Resposta>> filas;
    return filas;
}

QStringList& DiarioMutavel() {
    static QStringList diario;
    return diario;
}

std::function<void(const QString&)>& Observador() {
    static std::function<void(const QString&)> observador;
    return observador;
}

Resposta Proxima(const QString& funcao) {
    Anota(funcao);
    if (Observador()) Observador()(funcao);
    auto& fila = Filas()[funcao];
    return fila.isEmpty() ? Resposta{} : fila.dequeue();
}

int32_t Status(const QString& funcao, int32_t* ack, int32_t* st1, int32_t* st2, int32_t* st3) {
    const Resposta r = Proxima(funcao);
    *ack = r.status.ACK;
    *st1 = r.status.ST1;
    *st2 = r.status.ST2;
    *st3 = r.status.ST3;
    return r.retorno;
}

} // namespace

void Enfileira(const QString& funcao, Resposta resposta) { Filas()[funcao].enqueue(resposta); }
const QStringList& Diario() { return DiarioMutavel(); }
void Anota(const QString& linha) { DiarioMutavel().append(linha); }
void AoChamar(std::function<void(const QString&)> observador) {
    Observador() = std::move(observador);
}

void Reinicia() {
    Filas().clear();
    DiarioMutavel().clear();
    Observador() = nullptr;
    iRetorno = 0;
    StatusECF = {};
    sMsgRetorno.clear();
    Resposta1.clear();
    Resposta2.clear();
    Resposta3.clear();
    sPath.clear();
}

} // namespace duplo

extern "C" {
int32_t BEMAFI32_CALL Bematech_FI_SelecionaIniLocal(void) {
    return duplo::Proxima(QStringLiteral("Bematech_FI_SelecionaIniLocal")).retorno;
}
int32_t BEMAFI32_CALL Bematech_FI_ReloadINIFile(void) {
    return duplo::Proxima(QStringLiteral("Bematech_FI_ReloadINIFile")).retorno;
}
int32_t BEMAFI32_CALL Bematech_FI_AbrePortaSerial(void) {
    return duplo::Proxima(QStringLiteral("Bematech_FI_AbrePortaSerial")).retorno;
}
int32_t BEMAFI32_CALL Bematech_FI_FechaPortaSerial(void) {
    return duplo::Proxima(QStringLiteral("Bematech_FI_FechaPortaSerial")).retorno;
}
int32_t BEMAFI32_CALL Bematech_FI_VerificaEstadoImpressoraMFD(int32_t* ack, int32_t* st1,
                                                              int32_t* st2, int32_t* st3) {
    return duplo::Status(QStringLiteral("Bematech_FI_VerificaEstadoImpressoraMFD"), ack, st1, st2,
                         st3);
}
int32_t BEMAFI32_CALL Bematech_FI_RetornoImpressoraMFD(int32_t* ack, int32_t* st1, int32_t* st2,
                                                       int32_t* st3) {
    return duplo::Status(QStringLiteral("Bematech_FI_RetornoImpressoraMFD"), ack, st1, st2, st3);
}
int32_t BEMAFI32_CALL Bematech_FI_LeituraX(void) {
    return duplo::Proxima(QStringLiteral("Bematech_FI_LeituraX")).retorno;
}
}

#ifdef _WIN64
// The program's code is built to call the library through the import table's pointers
// (__imp_...), as it calls the printer maker's DLL; in the tests the double fills them.
#define ECF_PONTEIRO_DE_IMPORTACAO(funcao) decltype(&funcao) __imp_##funcao = &funcao;
extern "C" {
ECF_PONTEIRO_DE_IMPORTACAO(Bematech_FI_SelecionaIniLocal)
ECF_PONTEIRO_DE_IMPORTACAO(Bematech_FI_ReloadINIFile)
ECF_PONTEIRO_DE_IMPORTACAO(Bematech_FI_AbrePortaSerial)
ECF_PONTEIRO_DE_IMPORTACAO(Bematech_FI_FechaPortaSerial)
ECF_PONTEIRO_DE_IMPORTACAO(Bematech_FI_VerificaEstadoImpressoraMFD)
ECF_PONTEIRO_DE_IMPORTACAO(Bematech_FI_RetornoImpressoraMFD)
ECF_PONTEIRO_DE_IMPORTACAO(Bematech_FI_LeituraX)
}
#endif
