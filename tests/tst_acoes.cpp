// The locate, X-reading and release actions: the library calls, the boxes, in order.
#include "acoes.h"
#include "duplo.h"
#include "registro.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString kAbre = u"Bematech_FI_AbrePortaSerial"_s;
const QString kVerifica = u"Bematech_FI_VerificaEstadoImpressoraMFD"_s;
const QString kRetorno = u"Bematech_FI_RetornoImpressoraMFD"_s;
const QString kLeituraX = u"Bematech_FI_LeituraX"_s;
const QString kFecha = u"Bematech_FI_FechaPortaSerial"_s;
const QString kNaoLocalizada =
    u"informacao|LOCALIZAÇÃO DO ECF|Erro de Comunicação, Impressora não Localizada"_s;
const QString kRecusa =
    u"erro|Atenção|A Impressora retornou NAK !\rErro de Protocolo de Comunicação !"_s;

QString Mensagem(const QString& r3) {
    return u"mensagem||1ª Resposta : OK\r2ª Resposta : OK\r3ª Resposta : "_s + r3;
}

} // namespace

class TstAcoes : public QObject {
    Q_OBJECT
  private slots:
    void init() { duplo::Reinicia(); }
    void localizar_data();
    void localizar();
    void leituraX_data();
    void leituraX();
    void localizarDuasVezesAbreDuasVezes();
    void liberarSemLocalizar();
};

void TstAcoes::localizar_data() {
    QTest::addColumn<int>("abre");
    QTest::addColumn<int>("primeira");
    QTest::addColumn<int>("segunda");
    QTest::addColumn<int>("ackSegunda");
    QTest::addColumn<QStringList>("diario");
    QTest::addColumn<bool>("habilita");

    QTest::newRow("idle printer") << 1 << 1 << 1 << 6
                                  << QStringList{kAbre, kVerifica, kVerifica, kRetorno,
                                                 Mensagem(u"COMANDO OK"_s)}
                                  << true;
    QTest::newRow("port cannot be opened")
        << -5 << 1 << 1 << 6 << QStringList{kAbre, kNaoLocalizada} << false;
    QTest::newRow("open answers 0")
        << 0 << 1 << 1 << 6 << QStringList{kAbre, kNaoLocalizada} << false;
    QTest::newRow("open answers 2, which is not 1")
        << 2 << 1 << 1 << 6 << QStringList{kAbre, kNaoLocalizada} << false;
    QTest::newRow("first query fails")
        << 1 << 0 << 1 << 6 << QStringList{kAbre, kVerifica, kNaoLocalizada} << false;
    QTest::newRow("first query answers -6")
        << 1 << -6 << 1 << 6 << QStringList{kAbre, kVerifica, kNaoLocalizada} << false;
    QTest::newRow("second query fails, analysis still runs")
        << 1 << 1 << -6 << 6
        << QStringList{kAbre,
                       kVerifica,
                       kVerifica,
                       kRetorno,
                       u"informacao|RETORNO DO ECF|Impressora Desligada ou Cabo de Comunicação "
                       u"Desconectado !"_s,
                       Mensagem(u"Impressora Desligada ou Cabo de Comunicação Desconectado !"
                                u"COMANDO OK"_s)}
        << true;
    QTest::newRow("second query answers 3, no return box")
        << 1 << 1 << 3 << 6
        << QStringList{kAbre, kVerifica, kVerifica, kRetorno, Mensagem(u"COMANDO OK"_s)} << true;
    QTest::newRow("second query leaves ACK 21")
        << 1 << 1 << 1 << 21 << QStringList{kAbre, kVerifica, kVerifica, kRecusa} << true;
}

void TstAcoes::localizar() {
    QFETCH(int, abre);
    QFETCH(int, primeira);
    QFETCH(int, segunda);
    QFETCH(int, ackSegunda);
    QFETCH(QStringList, diario);
    QFETCH(bool, habilita);

    duplo::Enfileira(kAbre, {abre, {}});
    duplo::Enfileira(kVerifica, {primeira, {6, 0, 0, 0}});
    duplo::Enfileira(kVerifica, {segunda, {ackSegunda, 0, 0, 0}});

    QCOMPARE(Localizar(), habilita);
    QCOMPARE(duplo::Diario(), diario);
    if (habilita) QCOMPARE(iRetorno, segunda);
}

void TstAcoes::leituraX_data() {
    QTest::addColumn<int>("ackGuardado");
    QTest::addColumn<int>("retorno");
    QTest::addColumn<int>("st3");
    QTest::addColumn<QStringList>("diario");

    QTest::newRow("done") << 6 << 1 << 0
                          << QStringList{kLeituraX, kRetorno, Mensagem(u"COMANDO OK"_s)};
    QTest::newRow("paper out")
        << 6 << -27 << 11
        << QStringList{kLeituraX, kRetorno,
                       u"informacao|RETORNO DO ECF|Status diferente de 6, 0, 0 !"_s,
                       Mensagem(u"Status diferente de 6, 0, 0 !IMPRESSORA SEM PAPEL"_s)};
    QTest::newRow("refusal stored by the locate")
        << 21 << 1 << 0 << QStringList{kLeituraX, kRecusa};
}

void TstAcoes::leituraX() {
    QFETCH(int, ackGuardado);
    QFETCH(int, retorno);
    QFETCH(int, st3);
    QFETCH(QStringList, diario);

    StatusECF = {ackGuardado, 0, 0, 0};
    duplo::Enfileira(kLeituraX, {retorno, {}});
    duplo::Enfileira(kRetorno, {1, {6, 0, 0, st3}});
    LeituraX();
    QCOMPARE(duplo::Diario(), diario);
    QCOMPARE(iRetorno, retorno);
}

void TstAcoes::localizarDuasVezesAbreDuasVezes() {
    QVERIFY(Localizar());
    QVERIFY(Localizar());
    QCOMPARE(duplo::Diario().count(kAbre), 2);
    QCOMPARE(duplo::Diario().count(kFecha), 0);
}

void TstAcoes::liberarSemLocalizar() {
    Liberar();
    QCOMPARE(duplo::Diario(), QStringList{kFecha});
}

QTEST_GUILESS_MAIN(TstAcoes)
#include "tst_acoes.moc"
