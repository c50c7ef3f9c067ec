// End to end: the program's locate and X-reading actions and their analysis, through the
// real stand-in library and a pseudo-terminal, to the printer emulator. Every row says
// what the operator sees: the return codes, the four status values and the boxes.
#include "acoes.h"
#include "bemafi32.h"
#include "diario.h"
#include "escala.h"
#include "registro.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// The library's timeouts, by what the row expects of the line. A row waits out the short and
// the middle one to the end, so they are small; it ends as soon as an answer comes within the
// long one, so that can be generous. The three stay far apart on any machine.
constexpr int kCurto = 300;                     // nothing is to come
const int kMedio = int(teste::Escalado(1000));  // bytes come, but never a whole answer
const int kLongo = int(teste::Escalado(10000)); // an answer is to come
// For the test's own waits on the emulator: ended as soon as what is waited for happens.
const int kEspera = int(teste::Escalado(5000));
constexpr int kSemLeituraX = 999; // the locate failed, so the X-reading button stays off

const QString kNaoLocalizada =
    u"informacao|LOCALIZAÇÃO DO ECF|Erro de Comunicação, Impressora não Localizada"_s;
const QString kRecusa =
    u"erro|Atenção|A Impressora retornou NAK !\rErro de Protocolo de Comunicação !"_s;
const QString kDesligada = u"Impressora Desligada ou Cabo de Comunicação Desconectado !"_s;
const QString kComunicacao = u"Erro de Comunicação !"_s;
const QString kDiferente = u"Status diferente de 6, 0, 0 !"_s;

QString Mensagem(const QString& r1, const QString& r2, const QString& r3) {
    return u"mensagem||1ª Resposta : "_s + r1 + u"\r2ª Resposta : "_s + r2 + u"\r3ª Resposta : "_s +
           r3;
}
QString Retorno(const QString& texto) { return u"informacao|RETORNO DO ECF|"_s + texto; }
QString Ok(const QString& r3 = u"COMANDO OK"_s) { return Mensagem(u"OK"_s, u"OK"_s, r3); }

QList<int> UltimoStatus() {
    int32_t ack = -1, st1 = -1, st2 = -1, st3 = -1;
    Bematech_FI_RetornoImpressoraMFD(&ack, &st1, &st2, &st3);
    return {ack, st1, st2, st3};
}

// One running emulator: its pty, its control channel, and its end.
class Emulador {
  public:
    explicit Emulador(const QStringList& opcoes) {
        processo_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        processo_.start(QStringLiteral(EMULADOR), opcoes);
        if (processo_.waitForStarted(kEspera)) pty_ = Linha(kEspera);
    }
    ~Emulador() {
        if (processo_.state() == QProcess::NotRunning) return;
        processo_.write("sair\n");
        processo_.closeWriteChannel();
        if (!processo_.waitForFinished(kEspera)) processo_.kill();
        processo_.waitForFinished(kEspera);
    }
    Emulador(const Emulador&) = delete;
    Emulador& operator=(const Emulador&) = delete;

    const QString& Pty() const { return pty_; }

    // Sends one control command and returns its acknowledgement ("ok ..."), skipping the
    // printed receipts in between; empty when none came in time.
    QString Comando(const QString& comando) {
        processo_.write((comando + u'\n').toUtf8());
        const QDeadlineTimer prazo(kEspera);
        for (;;) {
            const QString linha = Linha(prazo.remainingTime());
            if (linha.isNull() || linha.startsWith("ok "_L1) || linha.startsWith("erro "_L1))
                return linha;
        }
    }
    bool Termina() {
        processo_.write("sair\n");
        return processo_.waitForFinished(kEspera);
    }

  private:
    QString Linha(qint64 ms) {
        const QDeadlineTimer prazo(ms);
        while (!processo_.canReadLine()) {
            if (prazo.hasExpired() || !processo_.waitForReadyRead(prazo.remainingTime())) return {};
        }
        return QString::fromUtf8(processo_.readLine()).trimmed();
    }

    QProcess processo_;
    QString pty_;
};

} // namespace

class TstPontaAPonta : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void init();
    void cleanup();

    void cenario_data();
    void cenario();
    void respostaAtrasadaNaoPassaPorOutra();
    void portaDisputada();
    void liberarSoltaAPorta();
    void leituraXTemSeuProprioTimeout();
    void semPortaOsValoresZeram_data();
    void semPortaOsValoresZeram();
    void default__data();
    void default_();
    void ptySemRegistroNaoEhAberto();
    void iniAusente();
    void registroDeTrafego();
    void registroQueNaoSeEscreveNaoPesa_data();
    void registroQueNaoSeEscreveNaoPesa();

  private:
    void EscreveIni(const QString& porta, const QString& extra = {}, bool log = true,
                    int timeout = kLongo, int timeoutLeituraX = kLongo);
    QString Ini() const {
        return QDir(QCoreApplication::applicationDirPath()).filePath("Bemafi32.ini");
    }

    QTemporaryDir runtime_;
    QString log_;
    QString sistema_; // the library's view of the system: sys/ and dev/ of the test's own
};

void TstPontaAPonta::initTestCase() {
    QVERIFY(runtime_.isValid());
    QVERIFY(QFile::setPermissions(runtime_.path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit());
    // The log is a plain name in the folder of Bemafi32.ini.
    log_ = QDir(QCoreApplication::applicationDirPath()).filePath("trafego.log");
    // The library looks at no real serial port: only at what a row puts here.
    sistema_ = runtime_.filePath("sistema");
    qputenv("TESTEECF_SISTEMA", sistema_.toLocal8Bit());
    QVERIFY2(QFile::exists(QStringLiteral(EMULADOR)), "the emulator is built with the project");
    Bematech_FI_SelecionaIniLocal();
}

void TstPontaAPonta::init() {
    QDir(sistema_).removeRecursively();
    QVERIFY(QDir(sistema_).mkpath("sys/class/tty") && QDir(sistema_).mkpath("sys/dev/char") &&
            QDir(sistema_).mkpath("dev"));
    duplo::LimpaDiario();
    iRetorno = 0;
    StatusECF = {};
    QFile::remove(log_);
}

void TstPontaAPonta::cleanup() { Bematech_FI_FechaPortaSerial(); }

void TstPontaAPonta::EscreveIni(const QString& porta, const QString& extra, bool log, int timeout,
                                int timeoutLeituraX) {
    QFile ini(Ini());
    QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QString texto = u"[Sistema]\r\nPath=%1/\r\nPorta=%2\r\n[Bemafi32]\r\nTimeout=%3\r\n"
                    u"TimeoutLeituraX=%4\r\n"_s.arg(QCoreApplication::applicationDirPath(), porta)
                        .arg(timeout)
                        .arg(timeoutLeituraX);
    if (log) texto += u"Log=trafego.log\r\n"_s;
    ini.write((texto + extra).toUtf8());
    ini.close();
    Bematech_FI_ReloadINIFile();
}

void TstPontaAPonta::cenario_data() {
    QTest::addColumn<QStringList>("opcoes"); // the emulator's at start
    QTest::addColumn<QString>("porta");      // "pty", "Default", "cOM3" or "COM1"
    QTest::addColumn<QString>("durante");    // a control command between the two actions
    QTest::addColumn<bool>("localiza");
    QTest::addColumn<int>("retornoLocalizar");
    QTest::addColumn<QList<int>>("statusLocalizar");
    QTest::addColumn<QStringList>("caixasLocalizar");
    QTest::addColumn<int>("retornoX");
    QTest::addColumn<QList<int>>("statusX");
    QTest::addColumn<QStringList>("caixasX");
    QTest::addColumn<bool>("impresso");
    QTest::addColumn<int>("timeout");  // the library's, for the locate
    QTest::addColumn<int>("timeoutX"); // the library's, for the X reading

    const QList<int> ok{6, 0, 0, 0};
    const QList<int> nada{0, 0, 0, 0};

    QTest::newRow("idle") << QStringList{} << "pty"
                          << "" << true << 1 << ok << QStringList{Ok()} << 1 << ok
                          << QStringList{Ok()} << true << kLongo << kLongo;
    QTest::newRow("idle, found by Default") << QStringList{} << "Default"
                                            << "" << true << 1 << ok << QStringList{Ok()} << 1 << ok
                                            << QStringList{Ok()} << true << kLongo << kLongo;
    QTest::newRow("idle, as COM1: ttyS0 of the test's own system")
        << QStringList{} << "COM1"
        << "" << true << 1 << ok << QStringList{Ok()} << 1 << ok << QStringList{Ok()} << true
        << kLongo << kLongo;
    QTest::newRow("idle, as COM3 typed cOM3")
        << QStringList{} << "cOM3"
        << "" << true << 1 << ok << QStringList{Ok()} << 1 << ok << QStringList{Ok()} << true
        << kLongo << kLongo;

    struct Estado {
        const char* linha;
        const char* nome;
        int st1;
        int st3;
        QString flag;
        QString texto;
        bool imprime;
    };
    const Estado estados[] = {
        {"paper running out", "pouco-papel", 64, 0, u"Pouco Papel"_s, u"COMANDO OK"_s, true},
        {"out of paper", "sem-papel", 128, 11, u"Fim do Papel"_s, u"IMPRESSORA SEM PAPEL"_s, false},
        {"head lifted", "cabeca-levantada", 16, 12, u"ECF em Erro"_s,
         u"IMPRESSORA COM CABEÇA LEVANTADA"_s, false},
        {"clock lost", "erro-relogio", 32, 145, u"Erro no Relógio"_s,
         u"AGUARDANDO ACERTO DE RELÓGIO"_s, false},
        {"coupon left open", "cupom-aberto", 2, 7, u"Cupom Aberto"_s, u"CUPOM FISCAL ABERTO"_s,
         false},
        {"printer in error", "em-erro", 16, 10, u"ECF em Erro"_s, u"IMPRESSORA EM ERRO"_s, false},
        {"off line", "off-line", 16, 13, u"ECF em Erro"_s, u"IMPRESSORA OFF LINE"_s, false},
    };
    for (const auto& e : estados) {
        const QString r1 = u" \""_s + e.flag + u'"';
        const QList<int> status{6, e.st1, 0, e.st3};
        QTest::newRow(e.linha) << QStringList{"--estado", e.nome} << "pty"
                               << "" << true << 1 << status
                               << QStringList{Mensagem(r1, u"OK"_s, e.texto)} << -27 << status
                               << QStringList{Retorno(kDiferente),
                                              Mensagem(r1, u"OK"_s, kDiferente + e.texto)}
                               << e.imprime << kLongo << kLongo;
    }

    QTest::newRow("refuses every command")
        << QStringList{"--estado", "recusa"} << "pty"
        << "" << true << 1 << QList<int>{21, 0, 0, 0} << QStringList{kRecusa} << -27
        << QList<int>{21, 0, 0, 0} << QStringList{kRecusa} << false << kLongo << kLongo;
    QTest::newRow("switched off") << QStringList{"--estado", "silencio"} << "pty"
                                  << "" << false << 0 << nada << QStringList{kNaoLocalizada}
                                  << kSemLeituraX << nada << QStringList{} << false << kCurto
                                  << kCurto;
    QTest::newRow("garbage") << QStringList{"--estado", "lixo"} << "pty"
                             << "" << false << 0 << nada << QStringList{kNaoLocalizada}
                             << kSemLeituraX << nada << QStringList{} << false << kMedio << kCurto;
    QTest::newRow("answers cut in half")
        << QStringList{"--estado", "corta"} << "pty"
        << "" << false << 0 << nada << QStringList{kNaoLocalizada} << kSemLeituraX << nada
        << QStringList{} << false << kMedio << kCurto;
    QTest::newRow("switched off mid-session")
        << QStringList{} << "pty"
        << "estado silencio" << true << 1 << ok << QStringList{Ok()} << -6 << nada
        << QStringList{Retorno(kDesligada), Ok(kDesligada + u"COMANDO OK"_s)} << false << kLongo
        << kCurto;
    QTest::newRow("garbage mid-session")
        << QStringList{} << "pty"
        << "estado lixo" << true << 1 << ok << QStringList{Ok()} << 0 << nada
        << QStringList{Retorno(kComunicacao), Ok(kComunicacao + u"COMANDO OK"_s)} << false << kLongo
        << kMedio;
    QTest::newRow("line closed in the middle of an answer")
        << QStringList{} << "pty"
        << "estado corta" << true << 1 << ok << QStringList{Ok()} << 0 << nada
        << QStringList{Retorno(kComunicacao), Ok(kComunicacao + u"COMANDO OK"_s)} << true << kLongo
        << kMedio;
    QTest::newRow("emulator gone mid-session")
        << QStringList{} << "pty"
        << "sair" << true << 1 << ok << QStringList{Ok()} << -6 << nada
        << QStringList{Retorno(kDesligada), Ok(kDesligada + u"COMANDO OK"_s)} << false << kLongo
        << kCurto;
    QTest::newRow("slow answer inside the timeout")
        << QStringList{"--atraso", "150"} << "pty"
        << "" << true << 1 << ok << QStringList{Ok()} << 1 << ok << QStringList{Ok()} << true
        << kLongo << kLongo;
    QTest::newRow("slow answer outside the timeout")
        << QStringList{"--atraso", "600"} << "pty"
        << "" << false << 0 << nada << QStringList{kNaoLocalizada} << kSemLeituraX << nada
        << QStringList{} << false << kCurto << kCurto;
}

void TstPontaAPonta::cenario() {
    QFETCH(QStringList, opcoes);
    QFETCH(QString, porta);
    QFETCH(QString, durante);
    QFETCH(int, retornoX);
    QFETCH(int, timeout);
    QFETCH(int, timeoutX);

    const QString recibo = runtime_.filePath(u"recibo-%1.txt"_s.arg(QTest::currentDataTag()));
    Emulador emulador(opcoes + QStringList{"--recibo", recibo});
    QVERIFY2(emulador.Pty().startsWith("/dev/"), "the emulator did not start");
    if (porta == "pty")
        EscreveIni(emulador.Pty(), {}, true, timeout, timeoutX);
    else if (porta == "COM1") {
        QVERIFY(QFile::link(emulador.Pty(), sistema_ + u"/dev/ttyS0"_s));
        EscreveIni(porta, {}, true, timeout, timeoutX);
    } else if (porta == "cOM3")
        EscreveIni(porta, u"COM3="_s + emulador.Pty() + u"\r\n"_s, true, timeout, timeoutX);
    else
        EscreveIni(porta, {}, true, timeout, timeoutX);
    // A hang guard, not a timing: the locate asks twice, the X reading once.
    const qint64 limiteMs = 2 * timeout + kEspera;

    QElapsedTimer tempo;
    tempo.start();
    QTEST(Localizar(), "localiza");
    QTEST(int(iRetorno), "retornoLocalizar");
    QTEST(UltimoStatus(), "statusLocalizar");
    QTEST(duplo::Diario(), "caixasLocalizar");
    QVERIFY2(tempo.elapsed() < limiteMs, qPrintable(u"locate took %1 ms"_s.arg(tempo.elapsed())));

    if (retornoX == kSemLeituraX) return;
    if (durante == "sair")
        QVERIFY(emulador.Termina());
    else if (!durante.isEmpty())
        QCOMPARE(emulador.Comando(durante), u"ok "_s + durante);
    duplo::LimpaDiario();
    tempo.restart();
    LeituraX();
    QCOMPARE(int(iRetorno), retornoX);
    QTEST(UltimoStatus(), "statusX");
    QTEST(duplo::Diario(), "caixasX");
    QVERIFY2(tempo.elapsed() < timeoutX + kEspera,
             qPrintable(u"X reading took %1 ms"_s.arg(tempo.elapsed())));

    QFile impresso(recibo);
    const bool temLeitura =
        impresso.open(QIODevice::ReadOnly) && impresso.readAll().contains("LEITURA X");
    QTEST(temLeitura, "impresso");
}

// An answer that comes after the library gave up must not be taken for the answer to a
// later request.
void TstPontaAPonta::respostaAtrasadaNaoPassaPorOutra() {
    Emulador emulador({"--atraso", "450", "--proximo", "128,0,11"});
    QVERIFY(emulador.Pty().startsWith("/dev/"));
    EscreveIni(emulador.Pty(), {}, true, kCurto);
    QVERIFY(!Localizar());
    QCOMPARE(emulador.Comando("atraso 0"), "ok atraso 0"_L1);
    EscreveIni(emulador.Pty());
    // The late "out of paper" answer reaches the line while the library is asking again.
    int32_t ack = 0, st1 = 0, st2 = 0, st3 = 0;
    QCOMPARE(Bematech_FI_VerificaEstadoImpressoraMFD(&ack, &st1, &st2, &st3), 1);
    QCOMPARE((QList<int>{ack, st1, st2, st3}), (QList<int>{6, 0, 0, 0}));
    duplo::LimpaDiario();
    QVERIFY(Localizar());
    QCOMPARE(UltimoStatus(), (QList<int>{6, 0, 0, 0}));
    QCOMPARE(duplo::Diario(), QStringList{Ok()});
}

namespace {
// Starts the second program on the configured port; returns what its open returned.
QByteArray AbreOutro(QProcess& outro) {
    outro.start(QStringLiteral(SEGURA_PORTA));
    if (!outro.waitForStarted(kEspera)) return "not started";
    const QDeadlineTimer prazo(kEspera);
    while (!outro.canReadLine() && !prazo.hasExpired())
        outro.waitForReadyRead(prazo.remainingTime());
    return outro.readLine().trimmed();
}
} // namespace

void TstPontaAPonta::portaDisputada() {
    Emulador emulador({});
    QVERIFY(emulador.Pty().startsWith("/dev/"));
    EscreveIni(emulador.Pty());

    QProcess outro;
    QCOMPARE(AbreOutro(outro), QByteArray("1"));

    QElapsedTimer tempo;
    tempo.start();
    QCOMPARE(Bematech_FI_AbrePortaSerial(), -5);
    QVERIFY2(tempo.elapsed() < kLongo / 10, "a busy port is refused at once, without waiting");
    QVERIFY(!Localizar());
    QCOMPARE(duplo::Diario(), QStringList{kNaoLocalizada});
    QCOMPARE(UltimoStatus(), (QList<int>{0, 0, 0, 0}));

    outro.closeWriteChannel();
    QVERIFY(outro.waitForFinished(kEspera));
    QCOMPARE(Bematech_FI_AbrePortaSerial(), 1);
}

// The release at close lets the port go at once, and is harmless when repeated.
void TstPontaAPonta::liberarSoltaAPorta() {
    Emulador emulador({});
    QVERIFY(emulador.Pty().startsWith("/dev/"));
    EscreveIni(emulador.Pty());
    QVERIFY(Localizar());
    {
        QProcess outro;
        QCOMPARE(AbreOutro(outro), QByteArray("-5"));
        outro.closeWriteChannel();
        QVERIFY(outro.waitForFinished(kEspera));
    }
    Liberar();
    Liberar();
    {
        QProcess outro;
        QCOMPARE(AbreOutro(outro), QByteArray("1"));
        outro.closeWriteChannel();
        QVERIFY(outro.waitForFinished(kEspera));
    }
    duplo::LimpaDiario();
    QVERIFY(Localizar());
    QCOMPARE(duplo::Diario(), QStringList{Ok()});
}

// The printer answers an X reading once it has printed: longer than a status query may take.
void TstPontaAPonta::leituraXTemSeuProprioTimeout() {
    const QString recibo = runtime_.filePath(u"recibo-demorado.txt"_s);
    Emulador emulador({"--recibo", recibo});
    QVERIFY(emulador.Pty().startsWith("/dev/"));
    EscreveIni(emulador.Pty());
    QVERIFY(Localizar());
    // Status queries now time out long before the printer answers; the X reading does not.
    EscreveIni(emulador.Pty(), {}, true, kCurto, kLongo);
    QCOMPARE(emulador.Comando("atraso 600"), "ok atraso 600"_L1);

    duplo::LimpaDiario();
    LeituraX();
    QCOMPARE(int(iRetorno), 1);
    QCOMPARE(duplo::Diario(), QStringList{Ok()});
    QFile impresso(recibo);
    QVERIFY(impresso.open(QIODevice::ReadOnly) && impresso.readAll().contains("LEITURA X"));

    int32_t ack = 0, st1 = 0, st2 = 0, st3 = 0;
    QCOMPARE(Bematech_FI_VerificaEstadoImpressoraMFD(&ack, &st1, &st2, &st3), -6);
}

// Once the port is closed, a call that needs it fails with -5 and leaves 0, 0, 0, 0 as the
// last status, not what the printer said while the port was open.
void TstPontaAPonta::semPortaOsValoresZeram_data() {
    QTest::addColumn<QString>("funcao");
    QTest::newRow("status query") << u"VerificaEstado"_s;
    QTest::newRow("X reading") << u"LeituraX"_s;
}

void TstPontaAPonta::semPortaOsValoresZeram() {
    QFETCH(QString, funcao);
    Emulador emulador({"--estado", "pouco-papel"});
    QVERIFY(emulador.Pty().startsWith("/dev/"));
    EscreveIni(emulador.Pty());
    QVERIFY(Localizar());
    QCOMPARE(UltimoStatus(), (QList<int>{6, 64, 0, 0}));
    QCOMPARE(Bematech_FI_FechaPortaSerial(), 1);

    int32_t ack = -1, st1 = -1, st2 = -1, st3 = -1;
    const int32_t retorno = funcao == u"LeituraX"_s
                                ? Bematech_FI_LeituraX()
                                : Bematech_FI_VerificaEstadoImpressoraMFD(&ack, &st1, &st2, &st3);
    QCOMPARE(retorno, -5);
    if (funcao != u"LeituraX"_s)
        QCOMPARE((QList<int>{ack, st1, st2, st3}), (QList<int>{0, 0, 0, 0}));
    QCOMPARE(UltimoStatus(), (QList<int>{0, 0, 0, 0}));
}

// "Default" among registered ptys that never answer.
namespace {
// A serial port in the test's own system: sysfs lists it as a tty backed by hardware, and
// its node has a device number that no driver here holds, so opening it fails (ENXIO) and
// nothing real is reached. Making the node needs root.
bool PortaSerialNaVista(const QString& sistema, const QString& nome) {
    QFile dispositivos(u"/proc/devices"_s);
    if (!dispositivos.open(QIODevice::ReadOnly)) return false;
    const QByteArray usados = dispositivos.readAll().split('B').first(); // "Block devices"
    int maior = 0;
    for (int m = 239; m >= 200 && maior == 0; --m)
        if (!usados.contains('\n' + QByteArray::number(m).rightJustified(3, ' ') + ' ')) maior = m;
    const QDir r(sistema);
    const QString real = u"sys/devices/placa/tty/"_s + nome;
    return maior != 0 && r.mkpath(real) &&
           QFile::link(r.filePath(u"sys/devices/placa"_s), r.filePath(real + u"/device"_s)) &&
           QFile::link(r.filePath(real), r.filePath(u"sys/class/tty/"_s + nome)) &&
           QFile::link(r.filePath(real), r.filePath(u"sys/dev/char/%1:0"_s.arg(maior))) &&
           ::mknod(QFile::encodeName(r.filePath(u"dev/"_s + nome)).constData(), S_IFCHR | 0600,
                   makedev(maior, 0)) == 0;
}
} // namespace

void TstPontaAPonta::default__data() {
    QTest::addColumn<bool>("serial"); // a serial port in the library's view of the system
    QTest::addColumn<int>("mortas");
    QTest::addColumn<bool>("comImpressora");
    QTest::addColumn<int>("abre");
    QTest::addColumn<QStringList>("caixas");
    QTest::addColumn<QList<int>>("status");
    QTest::newRow("five dead, then the printer")
        << false << 5 << true << 1 << QStringList{Ok()} << QList<int>{6, 0, 0, 0};
    QTest::newRow("five dead and no printer")
        << false << 5 << false << -6 << QStringList{kNaoLocalizada} << QList<int>{0, 0, 0, 0};
    QTest::newRow("nothing registered")
        << false << 0 << false << -5 << QStringList{kNaoLocalizada} << QList<int>{0, 0, 0, 0};
    QTest::newRow("the system's serial port first, then the printer")
        << true << 0 << true << 1 << QStringList{Ok()} << QList<int>{6, 0, 0, 0};
}

void TstPontaAPonta::default_() {
    QFETCH(bool, serial);
    QFETCH(int, mortas);
    QFETCH(bool, comImpressora);
    if (serial && ::geteuid() != 0) QSKIP("making a device node needs root");
    if (serial) QVERIFY(PortaSerialNaVista(sistema_, u"ttyUSB0"_s));
    std::vector<std::unique_ptr<Emulador>> emuladores;
    for (int i = 0; i < mortas; ++i) {
        emuladores.push_back(std::make_unique<Emulador>(QStringList{"--estado", "silencio"}));
        QVERIFY(emuladores.back()->Pty().startsWith("/dev/"));
    }
    if (comImpressora) {
        emuladores.push_back(std::make_unique<Emulador>(QStringList{}));
        QVERIFY(emuladores.back()->Pty().startsWith("/dev/"));
    }
    // Dead lines cost one timeout in all, however many: one each would be 5 timeouts. The
    // bound lies well between. With the printer there, the answer ends the wait.
    const int timeout = comImpressora ? kLongo : int(teste::Escalado(400));
    EscreveIni("Default", {}, true, timeout);

    QElapsedTimer tempo;
    tempo.start();
    QTEST(Bematech_FI_AbrePortaSerial(), "abre");
    if (!comImpressora)
        QVERIFY2(tempo.elapsed() < timeout * 5 / 2, qPrintable(u"%1 ms"_s.arg(tempo.elapsed())));
    else
        QVERIFY2(tempo.elapsed() < timeout / 4,
                 qPrintable(u"the answer ends the wait: %1 ms"_s.arg(tempo.elapsed())));
    // The candidates were the view's serial port and the emulators, nothing else.
    QFile log(log_);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString texto = QString::fromUtf8(log.readAll());
    const auto achado =
        QRegularExpression(u"Default: (\\d+) candidatas \\(\\d+ abertas\\):( \\S+)?"_s)
            .match(texto);
    QVERIFY2(achado.hasMatch(), qPrintable(texto));
    QCOMPARE(achado.captured(1).toInt(), int(serial) + mortas + int(comImpressora));
    if (serial) QCOMPARE(achado.captured(2), u" "_s + sistema_ + u"/dev/ttyUSB0"_s);
    Localizar();
    QTEST(duplo::Diario(), "caixas");
    QTEST(UltimoStatus(), "status");
}

void TstPontaAPonta::ptySemRegistroNaoEhAberto() {
    Emulador emulador({"--sem-registro"});
    QVERIFY(emulador.Pty().startsWith("/dev/"));
    EscreveIni(emulador.Pty());
    QCOMPARE(Bematech_FI_AbrePortaSerial(), -5);
    EscreveIni("Default");
    QCOMPARE(Bematech_FI_AbrePortaSerial(), -5);
    QVERIFY(emulador.Comando("situacao").contains(" pedidos 0 "_L1));
}

void TstPontaAPonta::iniAusente() {
    EscreveIni("Default");
    QVERIFY(QFile::remove(Ini()));
    Bematech_FI_ReloadINIFile();
    QCOMPARE(Bematech_FI_AbrePortaSerial(), -4);
    QVERIFY(!Localizar());
    QCOMPARE(duplo::Diario(), QStringList{kNaoLocalizada});
}

void TstPontaAPonta::registroDeTrafego() {
    Emulador emulador({"--estado", "pouco-papel"});
    QVERIFY(emulador.Pty().startsWith("/dev/"));
    EscreveIni(emulador.Pty(), {}, false);
    QVERIFY(Localizar());
    QVERIFY2(!QFile::exists(log_), "the traffic log is off unless the file turns it on");

    EscreveIni(emulador.Pty());
    QVERIFY(Localizar());
    QFile log(log_);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QStringList linhas = QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts);
    QStringList trocas;
    for (const auto& linha : linhas)
        if (linha.contains(" -> ["_L1)) trocas << linha;
    QCOMPARE(trocas.size(), 2);
    for (const auto& linha : trocas) {
        QVERIFY2(linha.contains(emulador.Pty()), qPrintable(linha));
        QVERIFY2(linha.contains("Status"_L1), qPrintable(linha));
        QVERIFY2(linha.contains("] resposta #"_L1) && linha.contains("ST1 64"_L1),
                 qPrintable(linha));
        QVERIFY2(linha.contains(" ms"_L1), qPrintable(linha));
        QVERIFY2(linha.contains(
                     QRegularExpression(u"^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} "_s)),
                 qPrintable(linha));
        QVERIFY2(linha.contains(QRegularExpression(u"<- \\[02( [0-9A-F]{2})+\\]"_s)),
                 qPrintable(linha));
    }
}

namespace {
// This process's standard error, caught in a pipe (no file size limit applies to it) for
// as long as the object lives.
class ErrosCapturados {
  public:
    ErrosCapturados() {
        if (::pipe2(cano_, O_CLOEXEC | O_NONBLOCK) != 0) return;
        std::fflush(stderr);
        copia_ = ::dup(STDERR_FILENO);
        ::dup2(cano_[1], STDERR_FILENO);
    }
    ~ErrosCapturados() {
        Solta();
        for (int fd : cano_)
            if (fd >= 0) ::close(fd);
    }
    QStringList Linhas() {
        Solta();
        QByteArray texto;
        char bloco[512];
        for (ssize_t n; (n = ::read(cano_[0], bloco, sizeof bloco)) > 0;)
            texto.append(bloco, n);
        return QString::fromUtf8(texto).split(u'\n', Qt::SkipEmptyParts);
    }

  private:
    void Solta() {
        if (copia_ < 0) return;
        std::fflush(stderr);
        ::dup2(copia_, STDERR_FILENO);
        ::close(std::exchange(copia_, -1));
    }
    int cano_[2] = {-1, -1};
    int copia_ = -1;
};
} // namespace

// A log the library may not use or cannot write is said once on standard error, and the
// exchanges go on as without it.
void TstPontaAPonta::registroQueNaoSeEscreveNaoPesa_data() {
    QTest::addColumn<QString>("log");     // the value of Log
    QTest::addColumn<bool>("semCrescer"); // the file may not grow
    QTest::addColumn<QString>("aviso");
    QTest::newRow("Log names a file in another folder")
        << runtime_.filePath("trafego.log") << false << u"not a plain file name"_s;
    QTest::newRow("the log may not grow") << u"trafego.log"_s << true << u"could not be written"_s;
}

void TstPontaAPonta::registroQueNaoSeEscreveNaoPesa() {
    QFETCH(QString, log);
    QFETCH(bool, semCrescer);
    QFETCH(QString, aviso);
    Emulador emulador({});
    QVERIFY(emulador.Pty().startsWith("/dev/"));
    EscreveIni(emulador.Pty(), u"Log="_s + log + u"\r\n"_s, false);
    QFile cheio(log_);
    QVERIFY(cheio.open(QIODevice::WriteOnly) && cheio.write("x") == 1);
    cheio.close();

    rlimit antes{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &antes), 0);
    const auto sinal = ::signal(SIGXFSZ, SIG_IGN);
    bool localizou = false;
    QStringList erros;
    {
        ErrosCapturados captura;
        rlimit limite = antes;
        limite.rlim_cur = 1;
        if (semCrescer) ::setrlimit(RLIMIT_FSIZE, &limite);
        localizou = Localizar();
        ::setrlimit(RLIMIT_FSIZE, &antes);
        erros = captura.Linhas();
    }
    ::signal(SIGXFSZ, sinal);

    QVERIFY(localizou);
    QCOMPARE(duplo::Diario(), QStringList{Ok()});
    QCOMPARE(erros.size(), 1);
    QVERIFY2(erros[0].startsWith(u"bemafi32: "_s) && erros[0].contains(aviso),
             qPrintable(erros[0]));
    QFile depois(log_);
    QVERIFY(depois.open(QIODevice::ReadOnly));
    QCOMPARE(depois.readAll(), QByteArray("x"));
}

QTEST_GUILESS_MAIN(TstPontaAPonta)
#include "tst_ponta_a_ponta.moc"
