// The status analysis against texts written out here, independently of the program's tables.
#include "analise.h"
#include "duplo.h"
#include "registro.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(TStatusECF)

namespace {

const QString kRetorno = u"Bematech_FI_RetornoImpressoraMFD"_s;

QString Mensagem(const QString& r1, const QString& r2, const QString& r3) {
    return u"mensagem||1ª Resposta : "_s + r1 + u"\r2ª Resposta : "_s + r2 + u"\r3ª Resposta : "_s +
           r3;
}

QString CaixaRetorno(const QString& texto) { return u"informacao|RETORNO DO ECF|"_s + texto; }

const QString kRecusa =
    u"erro|Atenção|A Impressora retornou NAK !\rErro de Protocolo de Comunicação !"_s;

// Runs one analysis with `ackAntes` stored and `atualizado` queued as the status refresh.
void Analisa(int32_t retorno, int32_t ackAntes, TStatusECF atualizado) {
    duplo::Reinicia();
    Resposta1 = u"r1 anterior"_s;
    Resposta2 = u"r2 anterior"_s;
    Resposta3 = u"r3 anterior"_s;
    iRetorno = retorno;
    StatusECF = {ackAntes, 0, 0, 0};
    duplo::Enfileira(kRetorno, {1, atualizado});
    AnalisaRetorno();
}

} // namespace

class TstAnalise : public QObject {
    Q_OBJECT
  private slots:
    void casos_data();
    void casos();
    void tabelaRetorno_data();
    void tabelaRetorno();
    void tabelaST3();
    void recusaFicaGuardadaAteNovaConsulta();
};

void TstAnalise::casos_data() {
    QTest::addColumn<int>("retorno");
    QTest::addColumn<int>("ackAntes");
    QTest::addColumn<TStatusECF>("atualizado");
    QTest::addColumn<QStringList>("diario");
    QTest::addColumn<QStringList>("respostas");

    const QStringList anteriores{u"r1 anterior"_s, u"r2 anterior"_s, u"r3 anterior"_s};
    const QString erroCom = u"Erro de Comunicação !"_s;
    const QString pouco = u" \"Pouco Papel\" \"Parâmetro Inválido\""_s;
    const QString todosST1 =
        u" \"Fim do Papel\" \"Pouco Papel\" \"Erro no Relógio\" \"ECF em Erro\" \"Comando sem ESC\""
        u" \"Comando Inexistente\" \"Cupom Aberto\" \"Parâmetro Inválido\""_s;
    const QString todosST2 =
        u" \"Erro no Tipo de Parâmetro\" \"Memória Fiscal Lotada\" \"Erro de CMOS\""
        u" \"Alíquota Não Programada\" \"Alíquota Esgotada\" \"Cancelamento Não Permitido\""
        u" \"CNPJ e I.E. não Programados\" \"Comando Não Executado\""_s;

    auto linha = [&](const char* nome, int retorno, int ack, TStatusECF st, QStringList diario,
                     QStringList respostas) {
        QTest::newRow(nome) << retorno << ack << st << diario << respostas;
    };
    auto normal = [&](const QString& r1, const QString& r2, const QString& r3) {
        return QStringList{kRetorno, Mensagem(r1, r2, r3)};
    };

    linha("idle printer", 1, 6, {6, 0, 0, 0}, normal(u"OK"_s, u"OK"_s, u"COMANDO OK"_s),
          {u"OK"_s, u"OK"_s, u"COMANDO OK"_s});
    linha("communication error joins the ST3 text", 0, 6, {6, 0, 0, 0},
          {kRetorno, CaixaRetorno(erroCom), Mensagem(u"OK"_s, u"OK"_s, erroCom + u"COMANDO OK"_s)},
          {u"OK"_s, u"OK"_s, erroCom + u"COMANDO OK"_s});
    linha("code below 1 without a row shows an empty return box", -9, 6, {6, 0, 0, 0},
          {kRetorno, CaixaRetorno(QString()), Mensagem(u"OK"_s, u"OK"_s, u"COMANDO OK"_s)},
          {u"OK"_s, u"OK"_s, u"COMANDO OK"_s});
    linha("code above 1 without a row shows no return box", 2, 6, {6, 0, 0, 0},
          normal(u"OK"_s, u"OK"_s, u"COMANDO OK"_s), {u"OK"_s, u"OK"_s, u"COMANDO OK"_s});
    linha("stored ACK 21 shows only the refusal", 1, 21, {6, 0, 0, 0}, {kRecusa}, anteriores);
    linha("stored ACK 21 wins over a failure code", 0, 21, {6, 0, 0, 0}, {kRecusa}, anteriores);
    linha("ACK 21 from the refresh is not tested this time", 1, 6, {21, 0, 0, 0},
          normal(u"OK"_s, u"OK"_s, u"COMANDO OK"_s), {u"OK"_s, u"OK"_s, u"COMANDO OK"_s});
    linha("ST1 65 names two flags, highest first", 1, 6, {6, 65, 0, 0},
          normal(pouco, u"OK"_s, u"COMANDO OK"_s), {pouco, u"OK"_s, u"COMANDO OK"_s});
    linha("ST1 256 names all eight", 1, 6, {6, 256, 0, 0},
          normal(todosST1, u"OK"_s, u"COMANDO OK"_s), {todosST1, u"OK"_s, u"COMANDO OK"_s});
    linha("ST1 255 names all eight", 1, 6, {6, 255, 0, 0},
          normal(todosST1, u"OK"_s, u"COMANDO OK"_s), {todosST1, u"OK"_s, u"COMANDO OK"_s});
    linha("ST1 -1 gives an empty first answer", 1, 6, {6, -1, 0, 0},
          normal(QString(), u"OK"_s, u"COMANDO OK"_s), {QString(), u"OK"_s, u"COMANDO OK"_s});
    linha("ST2 255 names all eight of the second byte", 1, 6, {6, 0, 255, 0},
          normal(u"OK"_s, todosST2, u"COMANDO OK"_s), {u"OK"_s, todosST2, u"COMANDO OK"_s});
    linha("ST2 3 names its two lowest flags", 1, 6, {6, 0, 3, 0},
          normal(u"OK"_s, u" \"CNPJ e I.E. não Programados\" \"Comando Não Executado\""_s,
                 u"COMANDO OK"_s),
          {u"OK"_s, u" \"CNPJ e I.E. não Programados\" \"Comando Não Executado\""_s,
           u"COMANDO OK"_s});
    linha("ST3 216 has no text", 1, 6, {6, 0, 0, 216}, normal(u"OK"_s, u"OK"_s, QString()),
          {u"OK"_s, u"OK"_s, QString()});
    linha("ST3 219 is past the table", 1, 6, {6, 0, 0, 219}, normal(u"OK"_s, u"OK"_s, QString()),
          {u"OK"_s, u"OK"_s, QString()});
    linha("ST3 -1 is past the table as unsigned", 1, 6, {6, 0, 0, -1},
          normal(u"OK"_s, u"OK"_s, QString()), {u"OK"_s, u"OK"_s, QString()});
    linha("ST3 219 after code 0 leaves the return text alone", 0, 6, {6, 0, 0, 219},
          {kRetorno, CaixaRetorno(erroCom), Mensagem(u"OK"_s, u"OK"_s, erroCom)},
          {u"OK"_s, u"OK"_s, erroCom});
    linha("ST3 100 ends the message in a carriage return", 1, 6, {6, 0, 0, 100},
          normal(u"OK"_s, u"OK"_s, u"DATA E HORA INVÁLIDA\r"_s),
          {u"OK"_s, u"OK"_s, u"DATA E HORA INVÁLIDA\r"_s});
    linha("ST3 62 begins with a space", 1, 6, {6, 0, 0, 62},
          normal(u"OK"_s, u"OK"_s, u" JÁ HOUVE MOVIMENTO NO DIA"_s),
          {u"OK"_s, u"OK"_s, u" JÁ HOUVE MOVIMENTO NO DIA"_s});
    linha("ST3 62 after code 0", 0, 6, {6, 0, 0, 62},
          {kRetorno, CaixaRetorno(erroCom),
           Mensagem(u"OK"_s, u"OK"_s, erroCom + u" JÁ HOUVE MOVIMENTO NO DIA"_s)},
          {u"OK"_s, u"OK"_s, erroCom + u" JÁ HOUVE MOVIMENTO NO DIA"_s});
    linha("every field at once", -6, 6, {6, 192, 1, 13},
          {kRetorno, CaixaRetorno(u"Impressora Desligada ou Cabo de Comunicação Desconectado !"_s),
           Mensagem(
               u" \"Fim do Papel\" \"Pouco Papel\""_s, u" \"Comando Não Executado\""_s,
               u"Impressora Desligada ou Cabo de Comunicação Desconectado !IMPRESSORA OFF LINE"_s)},
          {u" \"Fim do Papel\" \"Pouco Papel\""_s, u" \"Comando Não Executado\""_s,
           u"Impressora Desligada ou Cabo de Comunicação Desconectado !IMPRESSORA OFF LINE"_s});
}

void TstAnalise::casos() {
    QFETCH(int, retorno);
    QFETCH(int, ackAntes);
    QFETCH(TStatusECF, atualizado);
    QFETCH(QStringList, diario);
    QFETCH(QStringList, respostas);

    Analisa(retorno, ackAntes, atualizado);

    QCOMPARE(duplo::Diario(), diario);
    QCOMPARE((QStringList{Resposta1, Resposta2, Resposta3}), respostas);
}

void TstAnalise::tabelaRetorno_data() {
    QTest::addColumn<int>("retorno");
    QTest::addColumn<QString>("texto");
    QTest::newRow("0") << 0 << u"Erro de Comunicação !"_s;
    QTest::newRow("-1") << -1 << u"Erro de execução na Função !"_s;
    QTest::newRow("-2") << -2 << u"Parâmetro inválido na Função !"_s;
    QTest::newRow("-3") << -3 << u"Alíquota não Programada !"_s;
    QTest::newRow("-4") << -4 << u"Arquivo BEMAFI32.INI não Encontrado !"_s;
    QTest::newRow("-5") << -5 << u"Erro ao abrir a Porta de Comunicação !"_s;
    QTest::newRow("-6") << -6 << u"Impressora Desligada ou Cabo de Comunicação Desconectado !"_s;
    QTest::newRow("-7") << -7 << u"Código do Banco não encontrado no arquivo BEMAFI32.INI !"_s;
    QTest::newRow("-8") << -8 << u"Erro ao criar ou gravar arquivo STATUS.TXT ou RETORNO.TXT !"_s;
    QTest::newRow("-27") << -27 << u"Status diferente de 6, 0, 0 !"_s;
    QTest::newRow("-30") << -30 << u"Função incompatível com a impressora fiscal YANCO !"_s;
    QTest::newRow("-28 has no row") << -28 << QString();
    QTest::newRow("-31 has no row") << -31 << QString();
}

void TstAnalise::tabelaRetorno() {
    QFETCH(int, retorno);
    QFETCH(QString, texto);
    Analisa(retorno, 6, {6, 0, 0, 219});
    QCOMPARE(duplo::Diario(),
             (QStringList{kRetorno, CaixaRetorno(texto), Mensagem(u"OK"_s, u"OK"_s, texto)}));
}

void TstAnalise::tabelaST3() {
    QFile arquivo(QStringLiteral(TESTES_DADOS "/tabela_st3.tsv"));
    QVERIFY(arquivo.open(QIODevice::ReadOnly));
    QMap<int, QString> esperado;
    for (const QByteArray& bruta : arquivo.readAll().split('\n')) {
        const QString linha = QString::fromUtf8(bruta);
        if (linha.isEmpty() || linha.startsWith(u'#')) continue;
        const qsizetype tab = linha.indexOf(u'\t');
        esperado.insert(linha.left(tab).toInt(), linha.mid(tab + 1).replace(u"\\r"_s, u"\r"_s));
    }
    QCOMPARE(esperado.size(), 218);
    for (int codigo = 0; codigo <= 218; ++codigo) {
        Analisa(1, 6, {6, 0, 0, codigo});
        QVERIFY2(Resposta3 == esperado.value(codigo), qPrintable(QString::number(codigo)));
    }
}

void TstAnalise::recusaFicaGuardadaAteNovaConsulta() {
    // The refresh leaves ACK 21: this analysis runs normally, every later one is refused.
    Analisa(1, 6, {21, 0, 0, 0});
    duplo::Enfileira(kRetorno, {1, {6, 0, 0, 0}});
    AnalisaRetorno();
    AnalisaRetorno();
    QCOMPARE(duplo::Diario(), (QStringList{kRetorno, Mensagem(u"OK"_s, u"OK"_s, u"COMANDO OK"_s),
                                           kRecusa, kRecusa}));
    QCOMPARE(StatusECF.ACK, 21);
}

QTEST_GUILESS_MAIN(TstAnalise)
#include "tst_analise.moc"
