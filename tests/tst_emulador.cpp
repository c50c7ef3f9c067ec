// The emulator as a process: its device path, answers on the pseudo-terminal in the states
// set through its control channel, the X reading's receipt, and its registration.
#include "descritor.h"
#include "escala.h"
#include "protocolo.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using protocolo::Comando;
using protocolo::Descritor;

namespace {

// For anything that is to happen: long, since it ends as soon as it happens.
const std::chrono::milliseconds kEspera = teste::Escalado(5s);
// For an answer that is not to come: short, since the row waits it out.
constexpr auto kEsperaDoSilencio = 300ms;

using Status = QList<int>; // ACK, ST1, ST2, ST3; empty for no answer

// A process's start time, field 22 of /proc/<pid>/stat, as a registration holds it.
QString InicioDe(qint64 pid) {
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return {};
    const QByteArray linha = stat.readAll();
    return QString::fromLatin1(linha.mid(linha.lastIndexOf(')') + 2).split(' ').value(19));
}

// One emulator process, ended when the test is done with it.
class Emulador {
  public:
    Emulador(const QStringList& argumentos, const QProcessEnvironment& ambiente) {
        processo_.setProcessEnvironment(ambiente);
        processo_.start(QStringLiteral(EMULADOR_ECF), argumentos);
    }
    ~Emulador() {
        if (processo_.state() != QProcess::NotRunning) {
            processo_.kill();
            processo_.waitForFinished(int(kEspera.count()));
        }
        if (linha_ >= 0) ::close(linha_);
    }

    QProcess& processo() { return processo_; }

    // The next line of standard output, or a null string when none comes in time.
    QString Linha(QDeadlineTimer prazo = QDeadlineTimer(kEspera)) {
        while (!processo_.canReadLine())
            if (prazo.hasExpired() || !processo_.waitForReadyRead(int(prazo.remainingTime())))
                return {};
        return QString::fromUtf8(processo_.readLine()).chopped(1);
    }

    // Reads the device path and opens the line, as the library would.
    bool Abre() {
        caminho_ = Linha();
        if (!caminho_.startsWith(u"/dev/"_s)) return false;
        linha_ = ::open(caminho_.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        return linha_ >= 0;
    }
    const QString& caminho() const { return caminho_; }

    // Sends a control command and returns its acknowledgement; other lines are kept.
    QString Controla(const QString& comando) {
        processo_.write((comando + u"\n"_s).toUtf8());
        const QDeadlineTimer prazo(kEspera);
        for (QString linha = Linha(prazo); !linha.isNull(); linha = Linha(prazo)) {
            if (linha.startsWith(u"ok "_s) || linha.startsWith(u"erro "_s)) return linha;
            outras_ << linha;
        }
        return {};
    }

    // Sends one request and waits up to `espera` for its answer.
    Status Pergunta(Comando comando, std::chrono::milliseconds espera = kEspera) {
        const protocolo::Pedido pedido{++sequencia_, comando, {}};
        const std::vector<uint8_t> quadro = protocolo::Codifica(pedido);
        if (::write(linha_, quadro.data(), quadro.size()) != ssize_t(quadro.size())) return {};
        const QDeadlineTimer prazo(espera);
        while (!prazo.hasExpired()) {
            pollfd fd{linha_, POLLIN, 0};
            if (::poll(&fd, 1, int(prazo.remainingTime())) <= 0) continue;
            uint8_t bytes[256];
            const ssize_t n = ::read(linha_, bytes, sizeof bytes);
            if (n > 0) decodificador_.Alimenta(std::span(bytes, std::size_t(n)));
            while (const auto carga = decodificador_.Proximo()) {
                const auto r = protocolo::LeResposta(*carga);
                if (r && r->sequencia == pedido.sequencia) return {r->ack, r->st1, r->st2, r->st3};
            }
        }
        return {};
    }
    std::size_t Descartados() const { return decodificador_.Descartados(); }

    // The lines between the receipt markers on standard output, read so far or arriving.
    QString Recibo() {
        const QDeadlineTimer prazo(kEspera);
        QString linha;
        while (!outras_.contains(u"=== RECIBO FIM ==="_s) && !(linha = Linha(prazo)).isNull())
            outras_ << linha;
        const qsizetype inicio = outras_.indexOf(u"=== RECIBO INICIO ==="_s);
        const qsizetype fim = outras_.indexOf(u"=== RECIBO FIM ==="_s);
        if (inicio < 0 || fim < inicio) return {};
        return outras_.mid(inicio + 1, fim - inicio - 1).join(u'\n') + u'\n';
    }

    bool Termina(const QString& comoSair) {
        if (comoSair == u"sair"_s) {
            if (Controla(u"sair"_s) != u"ok sair"_s) return false;
        } else {
            ::kill(pid_t(processo_.processId()), comoSair == u"SIGINT"_s ? SIGINT : SIGTERM);
        }
        return processo_.waitForFinished(int(kEspera.count())) &&
               processo_.exitStatus() == QProcess::NormalExit && processo_.exitCode() == 0;
    }

  private:
    QProcess processo_;
    QString caminho_;
    int linha_ = -1;
    uint8_t sequencia_ = 0;
    protocolo::Decodificador decodificador_;
    QStringList outras_;
};

} // namespace

class TstEmulador : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void estados_data();
    void estados();
    void opcoesDeInicio_data();
    void opcoesDeInicio();
    void opcaoInvalidaNaoAbreNada_data();
    void opcaoInvalidaNaoAbreNada();
    void statusUltimoRepeteOUltimoComando();
    void respostaLentaNaoPrendeOControle();
    void leituraX_data();
    void leituraX();
    void controleInvalidoNaoMudaNada();
    void erroNaoEcoaControles_data();
    void erroNaoEcoaControles();
    void saidaQueNinguemLeNaoPrende();
    void fimDaEntradaNaoEncerra();
    void registro_data();
    void registro();
    void recusaPastaQueOutrosEscrevem();

  private:
    QProcessEnvironment Ambiente() const;
    std::unique_ptr<QTemporaryDir> pasta_;
};

void TstEmulador::init() {
    pasta_ = std::make_unique<QTemporaryDir>();
    QVERIFY(pasta_->isValid());
}

QProcessEnvironment TstEmulador::Ambiente() const {
    QProcessEnvironment ambiente = QProcessEnvironment::systemEnvironment();
    ambiente.insert(u"XDG_RUNTIME_DIR"_s, pasta_->path());
    return ambiente;
}

void TstEmulador::estados_data() {
    QTest::addColumn<QStringList>("controle");
    QTest::addColumn<int>("comando");
    QTest::addColumn<Status>("esperado");

    const int status = int(Comando::Status);
    QTest::newRow("idle printer") << QStringList{} << status << Status{6, 0, 0, 0};
    QTest::newRow("paper low") << QStringList{u"estado pouco-papel"_s} << status
                               << Status{6, 64, 0, 0};
    QTest::newRow("paper out") << QStringList{u"estado sem-papel"_s} << status
                               << Status{6, 128, 0, 11};
    QTest::newRow("head lifted") << QStringList{u"estado cabeca-levantada"_s} << status
                                 << Status{6, 16, 0, 12};
    QTest::newRow("clock error") << QStringList{u"estado erro-relogio"_s} << status
                                 << Status{6, 32, 0, 145};
    QTest::newRow("coupon open") << QStringList{u"estado cupom-aberto"_s} << status
                                 << Status{6, 2, 0, 7};
    QTest::newRow("printer in error")
        << QStringList{u"estado em-erro"_s} << status << Status{6, 16, 0, 10};
    QTest::newRow("off line") << QStringList{u"estado off-line"_s} << status
                              << Status{6, 16, 0, 13};
    QTest::newRow("refusing every command")
        << QStringList{u"estado recusa"_s} << int(Comando::LeituraX) << Status{21, 0, 0, 0};
    QTest::newRow("arbitrary status for the next command")
        << QStringList{u"estado sem-papel"_s, u"proximo 64 0 11"_s} << status
        << Status{6, 64, 0, 11};
    QTest::newRow("back to normal")
        << QStringList{u"estado em-erro"_s, u"estado normal"_s} << status << Status{6, 0, 0, 0};
    QTest::newRow("unknown command") << QStringList{} << 0x33 << Status{6, 4, 0, 1};
    QTest::newRow("silent") << QStringList{u"estado silencio"_s} << status << Status{};
    QTest::newRow("garbage answers") << QStringList{u"estado lixo"_s} << status << Status{};
    QTest::newRow("answers cut in the middle")
        << QStringList{u"estado corta"_s} << status << Status{};
}

void TstEmulador::estados() {
    QFETCH(QStringList, controle);
    QFETCH(int, comando);
    QFETCH(Status, esperado);

    Emulador e({u"--sem-registro"_s}, Ambiente());
    QVERIFY(e.Abre());
    for (const QString& c : controle)
        QCOMPARE(e.Controla(c), u"ok "_s + c);
    const std::chrono::milliseconds espera = esperado.isEmpty() ? kEsperaDoSilencio : kEspera;
    QCOMPARE(e.Pergunta(Comando(comando), espera), esperado);
    // Whatever happened on the line, the printer is still there.
    QCOMPARE(e.Controla(u"estado normal"_s), u"ok estado normal"_s);
    QCOMPARE(e.Pergunta(Comando::Status), (Status{6, 0, 0, 0}));
    // Garbage and a cut answer reached the line, and were thrown away.
    const bool estragado =
        controle.contains(u"estado lixo"_s) || controle.contains(u"estado corta"_s);
    QCOMPARE(e.Descartados() > 0, estragado);
}

void TstEmulador::opcoesDeInicio_data() {
    QTest::addColumn<QStringList>("opcoes");
    QTest::addColumn<Status>("primeira");
    QTest::addColumn<Status>("segunda");

    QTest::newRow("state") << QStringList{u"--estado"_s, u"cupom-aberto"_s} << Status{6, 2, 0, 7}
                           << Status{6, 2, 0, 7};
    QTest::newRow("status for the first command only")
        << QStringList{u"--proximo"_s, u"1,2,3"_s} << Status{6, 1, 2, 3} << Status{6, 0, 0, 0};
    QTest::newRow("short delay") << QStringList{u"--atraso"_s, u"50"_s} << Status{6, 0, 0, 0}
                                 << Status{6, 0, 0, 0};
    QTest::newRow("silent from the start")
        << QStringList{u"--estado"_s, u"silencio"_s} << Status{} << Status{};
}

void TstEmulador::opcoesDeInicio() {
    QFETCH(QStringList, opcoes);
    QFETCH(Status, primeira);
    QFETCH(Status, segunda);

    Emulador e(opcoes + QStringList{u"--sem-registro"_s}, Ambiente());
    QVERIFY(e.Abre());
    const std::chrono::milliseconds espera = primeira.isEmpty() ? kEsperaDoSilencio : kEspera;
    QCOMPARE(e.Pergunta(Comando::Status, espera), primeira);
    QCOMPARE(e.Pergunta(Comando::Status, espera), segunda);
    QVERIFY(e.Termina(u"sair"_s));
}

void TstEmulador::opcaoInvalidaNaoAbreNada_data() {
    QTest::addColumn<QStringList>("opcoes");
    QTest::newRow("unknown state") << QStringList{u"--estado"_s, u"voando"_s};
    QTest::newRow("negative delay") << QStringList{u"--atraso"_s, u"-1"_s};
    QTest::newRow("delay past a minute") << QStringList{u"--atraso"_s, u"60001"_s};
    QTest::newRow("two status values") << QStringList{u"--proximo"_s, u"1,2"_s};
    QTest::newRow("status value over 255") << QStringList{u"--proximo"_s, u"1,2,256"_s};
    QTest::newRow("clock without time") << QStringList{u"--relogio"_s, u"2026-12-10"_s};
    QTest::newRow("option without its value") << QStringList{u"--recibo"_s};
    QTest::newRow("unknown option") << QStringList{u"--porta"_s, u"COM1"_s};
}

void TstEmulador::opcaoInvalidaNaoAbreNada() {
    QFETCH(QStringList, opcoes);
    Emulador e(opcoes, Ambiente());
    QVERIFY(e.processo().waitForFinished(int(kEspera.count())));
    QCOMPARE(e.processo().exitCode(), 2);
    QVERIFY(e.processo().readAllStandardOutput().isEmpty());
    QVERIFY(e.processo().readAllStandardError().contains("emulador-ecf: "));
    QVERIFY(!QFileInfo::exists(pasta_->filePath(u"testeecf"_s)));
}

void TstEmulador::statusUltimoRepeteOUltimoComando() {
    Emulador e({u"--sem-registro"_s}, Ambiente());
    QVERIFY(e.Abre());
    QCOMPARE(e.Pergunta(Comando::StatusUltimo), (Status{6, 0, 0, 0}));
    QCOMPARE(e.Controla(u"proximo 1 2 3"_s), u"ok proximo 1 2 3"_s);
    QCOMPARE(e.Pergunta(Comando::StatusUltimo), (Status{6, 0, 0, 0}));
    QCOMPARE(e.Pergunta(Comando::Status), (Status{6, 1, 2, 3}));
    QCOMPARE(e.Pergunta(Comando::StatusUltimo), (Status{6, 1, 2, 3}));
    QCOMPARE(e.Pergunta(Comando::StatusUltimo), (Status{6, 1, 2, 3}));
    QCOMPARE(e.Pergunta(Comando::Status), (Status{6, 0, 0, 0}));
    QCOMPARE(e.Pergunta(Comando::StatusUltimo), (Status{6, 0, 0, 0}));
}

void TstEmulador::respostaLentaNaoPrendeOControle() {
    // The delay is kept five times the short wait plus a control round trip apart, so that
    // "meanwhile" holds on a slow machine too.
    const qint64 atraso = teste::Escalado(1500);
    Emulador e({u"--sem-registro"_s, u"--atraso"_s, QString::number(atraso)}, Ambiente());
    QVERIFY(e.Abre());
    QElapsedTimer relogio;
    relogio.start();
    QCOMPARE(e.Pergunta(Comando::Status, 300ms), Status{});
    // The answer is on its way; the control channel answers meanwhile.
    QCOMPARE(e.Controla(u"situacao"_s),
             u"ok situacao estado normal atraso %1 pedidos 1 leituras 0"_s.arg(atraso));
    QVERIFY2(relogio.elapsed() < atraso, QByteArray::number(relogio.elapsed()));
    QCOMPARE(e.Controla(u"atraso 0"_s), u"ok atraso 0"_s);
    // The late answer to the first request comes first, then this one's.
    QCOMPARE(e.Pergunta(Comando::Status), (Status{6, 0, 0, 0}));
    QVERIFY(relogio.elapsed() >= atraso);
}

void TstEmulador::leituraX_data() {
    QTest::addColumn<QString>("estado");
    QTest::addColumn<Status>("esperado");
    QTest::addColumn<bool>("impresso");

    QTest::newRow("idle printer prints") << u"normal"_s << Status{6, 0, 0, 0} << true;
    QTest::newRow("paper low prints, with its flag")
        << u"pouco-papel"_s << Status{6, 64, 0, 0} << true;
    QTest::newRow("paper out prints nothing") << u"sem-papel"_s << Status{6, 128, 0, 11} << false;
    QTest::newRow("coupon open prints nothing") << u"cupom-aberto"_s << Status{6, 2, 0, 7} << false;
    QTest::newRow("refusal prints nothing") << u"recusa"_s << Status{21, 0, 0, 0} << false;
}

void TstEmulador::leituraX() {
    QFETCH(QString, estado);
    QFETCH(Status, esperado);
    QFETCH(bool, impresso);

    const QString arquivo = pasta_->filePath(u"recibos.txt"_s);
    Emulador e({u"--sem-registro"_s, u"--recibo"_s, arquivo, u"--estado"_s, estado, u"--relogio"_s,
                u"2026-12-10 14:03:19"_s},
               Ambiente());
    QVERIFY(e.Abre());
    QCOMPARE(e.Pergunta(Comando::LeituraX), esperado);
    QCOMPARE(e.Controla(u"situacao"_s),
             u"ok situacao estado %1 atraso 0 pedidos 1 leituras %2"_s.arg(estado).arg(
                 impresso ? 1 : 0));
    if (!impresso) {
        QVERIFY(!QFile::exists(arquivo));
        return;
    }

    QFile f(arquivo);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString recibo = QString::fromUtf8(f.readAll());
    QVERIFY(recibo.contains(u"LEITURA X"_s));
    QVERIFY(recibo.contains(u"PADARIA E CONFEITARIA PÃO DOURADO LTDA"_s));
    QVERIFY(recibo.contains(u"CNPJ:12.345.678/0001-95"_s));
    QVERIFY(recibo.contains(u"10/12/2026 14:03:19"_s));
    QVERIFY(recibo.contains(u"Contador de Reduções Z (CRZ):"_s));
    QVERIFY(recibo.contains(u"COO:000124"_s));
    QVERIFY(recibo.contains(u"Totalizador Geral (GT):            R$ 152.340,75"_s));
    for (const QString& linha : recibo.split(u'\n'))
        QVERIFY2(linha.size() <= 48, qPrintable(linha));
    // The same receipt on standard output, between its markers.
    QCOMPARE(e.Recibo() + u'\n', recibo);

    // A second reading is appended, one operation later.
    QCOMPARE(e.Pergunta(Comando::LeituraX), esperado);
    f.seek(0);
    const QString ambos = QString::fromUtf8(f.readAll());
    QCOMPARE(ambos.count(u"LEITURA X"_s), 2);
    QVERIFY(ambos.startsWith(recibo));
    QVERIFY(ambos.contains(u"COO:000125"_s));
}

void TstEmulador::controleInvalidoNaoMudaNada() {
    Emulador e({u"--sem-registro"_s}, Ambiente());
    QVERIFY(e.Abre());
    QVERIFY(e.Controla(u"estado voando"_s).startsWith(u"erro estado desconhecido: voando"_s));
    QVERIFY(e.Controla(u"atraso muito"_s).startsWith(u"erro "_s));
    QVERIFY(e.Controla(u"proximo 1 2"_s).startsWith(u"erro "_s));
    QVERIFY(e.Controla(u"proximo 1 2 300"_s).startsWith(u"erro "_s));
    QVERIFY(e.Controla(u"imprime"_s).startsWith(u"erro "_s));
    // Blank lines and comments get no acknowledgement: the next line's comes back.
    QCOMPARE(e.Controla(u"\n# a comment\n  estado   pouco-papel  \r"_s),
             u"ok estado pouco-papel"_s);
    QCOMPARE(e.Pergunta(Comando::Status), (Status{6, 64, 0, 0}));
}

// An "erro" line repeats what it did not understand; the bytes that steer a terminal
// (controls, escape sequences, C1 controls in UTF-8) come back as \xNN text.
void TstEmulador::erroNaoEcoaControles_data() {
    QTest::addColumn<QByteArray>("linha");
    QTest::addColumn<QString>("eco");
    QTest::newRow("an escape sequence as a state")
        << QByteArray("estado \x1b[2Jx") << u"estado desconhecido: \\x1B[2Jx"_s;
    QTest::newRow("a window title as a command")
        << QByteArray("\x1b]0;pwned\x07") << u"comando inválido: \\x1B]0;pwned\\x07"_s;
    QTest::newRow("a C1 control in UTF-8 as a delay") << QByteArray("atraso \xc2\x9b"
                                                                    "31m")
                                                      << u"atraso inválido: \\xC2\\x9B31m"_s;
}

void TstEmulador::erroNaoEcoaControles() {
    QFETCH(QByteArray, linha);
    QFETCH(QString, eco);
    Emulador e({u"--sem-registro"_s}, Ambiente());
    QVERIFY(e.Abre());
    const QString resposta = e.Controla(QString::fromUtf8(linha));
    QVERIFY2(resposta.startsWith(u"erro "_s + eco), qPrintable(resposta));
    for (const QChar c : resposta)
        QVERIFY2(c.unicode() >= 0x20 && (c.unicode() < 0x7F || c.unicode() > 0x9F),
                 qPrintable(resposta));
}

// Standard output and error are pipes that nobody reads, and thousands of commands fill
// them many times over: the printer line is still answered, and SIGTERM still ends it.
void TstEmulador::saidaQueNinguemLeNaoPrende() {
    int entrada[2], saida[2], erros[2];
    QVERIFY(::pipe2(entrada, O_CLOEXEC) == 0 && ::pipe2(saida, O_CLOEXEC) == 0 &&
            ::pipe2(erros, O_CLOEXEC) == 0);
    const QByteArray pasta = QFile::encodeName(pasta_->path());
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(entrada[0], STDIN_FILENO);
        ::dup2(saida[1], STDOUT_FILENO);
        ::dup2(erros[1], STDERR_FILENO);
        ::setenv("XDG_RUNTIME_DIR", pasta.constData(), 1);
        ::execl(EMULADOR_ECF, EMULADOR_ECF, "--sem-registro", "--trafego", nullptr);
        ::_exit(127);
    }
    QVERIFY(pid > 0);
    ::close(entrada[0]);
    ::close(saida[1]);
    ::close(erros[1]);
    const int processo = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    struct Fim {
        pid_t pid;
        int fds[4];
        ~Fim() {
            if (pid > 0) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
            }
            for (int fd : fds)
                if (fd >= 0) ::close(fd);
        }
    } fim{pid, {entrada[1], saida[0], erros[0], processo}};
    QVERIFY(processo >= 0);

    // The first line, the line's path, is read; after it, nothing more ever is.
    QByteArray caminho;
    const QDeadlineTimer prazo(kEspera);
    while (!caminho.endsWith('\n') && !prazo.hasExpired()) {
        pollfd espera{saida[0], POLLIN, 0};
        char c;
        if (::poll(&espera, 1, int(prazo.remainingTime())) > 0 && ::read(saida[0], &c, 1) == 1)
            caminho += c;
    }
    QVERIFY2(caminho.startsWith("/dev/"), caminho.constData());
    Descritor linha(::open(caminho.chopped(1).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    QVERIFY(linha);

    const int flags = ::fcntl(entrada[1], F_GETFL);
    QVERIFY(::fcntl(entrada[1], F_SETFL, flags | O_NONBLOCK) == 0);
    // The last command marks the end: once the printer answers with its status, every
    // command before it was read, and every answer to them written or dropped.
    const QByteArray comandos = QByteArray("situacao\n").repeated(3000) + "proximo 1 2 3\n";
    qsizetype enviados = 0;
    while (enviados < comandos.size() && !prazo.hasExpired()) {
        pollfd espera{entrada[1], POLLOUT, 0};
        if (::poll(&espera, 1, int(prazo.remainingTime())) <= 0) continue;
        const auto n = ::write(entrada[1], comandos.constData() + enviados,
                               std::size_t(comandos.size() - enviados));
        if (n > 0) enviados += n;
    }
    QCOMPARE(enviados, comandos.size());

    // Status requests, one at a time, each waiting for its answer, until one carries it.
    protocolo::Decodificador decodificador;
    const QDeadlineTimer prazoDaMarca(kEspera);
    bool marcado = false;
    for (uint8_t sequencia = 1; !marcado && !prazoDaMarca.hasExpired(); ++sequencia) {
        const auto pedido = protocolo::Codifica(protocolo::Pedido{sequencia, Comando::Status, {}});
        QCOMPARE(::write(linha.fd(), pedido.data(), pedido.size()), ssize_t(pedido.size()));
        std::optional<protocolo::Resposta> resposta;
        while (!resposta && !prazoDaMarca.hasExpired()) {
            pollfd espera{linha.fd(), POLLIN, 0};
            if (::poll(&espera, 1, int(prazoDaMarca.remainingTime())) <= 0) continue;
            uint8_t bytes[64];
            const auto n = ::read(linha.fd(), bytes, sizeof bytes);
            if (n > 0) decodificador.Alimenta(std::span(bytes, std::size_t(n)));
            while (const auto carga = decodificador.Proximo())
                if (auto r = protocolo::LeResposta(*carga); r && r->sequencia == sequencia)
                    resposta = r;
        }
        marcado = resposta && resposta->st1 == 1 && resposta->st2 == 2 && resposta->st3 == 3;
    }
    QVERIFY2(marcado, "the printer line stopped answering, or the commands stopped being read");

    QCOMPARE(::kill(pid, SIGTERM), 0);
    pollfd termino{processo, POLLIN, 0};
    QVERIFY2(::poll(&termino, 1, int(kEspera.count())) == 1, "SIGTERM did not end it");
    int estado = 0;
    QCOMPARE(::waitpid(pid, &estado, 0), pid);
    fim.pid = -1;
    QVERIFY(WIFEXITED(estado) && WEXITSTATUS(estado) == 0);
    // What could not be written was counted, and the count said.
    QByteArray textoDosErros;
    char bloco[4096];
    ::fcntl(erros[0], F_SETFL, O_NONBLOCK);
    for (ssize_t n; (n = ::read(erros[0], bloco, sizeof bloco)) > 0;)
        textoDosErros.append(bloco, n);
    QVERIFY2(textoDosErros.contains("descartad"), textoDosErros.right(300).constData());
}

void TstEmulador::fimDaEntradaNaoEncerra() {
    Emulador e({u"--sem-registro"_s}, Ambiente());
    QVERIFY(e.Abre());
    e.processo().closeWriteChannel();
    QCOMPARE(e.Pergunta(Comando::Status), (Status{6, 0, 0, 0}));
    QCOMPARE(e.processo().state(), QProcess::Running);
    QVERIFY(e.Termina(u"SIGTERM"_s));
}

void TstEmulador::registro_data() {
    QTest::addColumn<bool>("xdg");
    QTest::addColumn<QString>("comoSair");

    QTest::newRow("runtime folder, ended by sair") << true << u"sair"_s;
    QTest::newRow("runtime folder, ended by SIGTERM") << true << u"SIGTERM"_s;
    QTest::newRow("runtime folder, ended by SIGINT") << true << u"SIGINT"_s;
    QTest::newRow("home folder without a runtime folder") << false << u"sair"_s;
}

void TstEmulador::registro() {
    QFETCH(bool, xdg);
    QFETCH(QString, comoSair);

    QProcessEnvironment ambiente = Ambiente();
    QString pasta = pasta_->filePath(u"testeecf"_s);
    if (!xdg) {
        ambiente.remove(u"XDG_RUNTIME_DIR"_s);
        ambiente.insert(u"HOME"_s, pasta_->path());
        pasta = pasta_->filePath(u".testeecf"_s);
    }
    QVERIFY(QDir().mkdir(pasta, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const auto deixa = [&](qint64 pid, const QString& inicio) {
        QFile arquivo(pasta + u"/emulador-"_s + QString::number(pid));
        if (arquivo.open(QIODevice::WriteOnly))
            arquivo.write((u"/dev/pts/999\n"_s + inicio + u"\n"_s).toLatin1());
        return arquivo.fileName();
    };
    // What killed emulators left behind: one whose pid is free (2^22 + 1 is past Linux's
    // largest), and one whose pid a later process got (this test's, with another start).
    // A registration of a process still running stays.
    const QString abandonado = deixa(4194305, u"1"_s);
    const QString reusado = deixa(::getpid(), u"1"_s);
    const QString vivo = deixa(::getppid(), InicioDe(::getppid()));

    Emulador e({}, ambiente);
    QVERIFY(e.Abre());
    const QString arquivo = pasta + u"/emulador-"_s + QString::number(e.processo().processId());
    QFile f(arquivo);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromLocal8Bit(f.readAll()),
             e.caminho() + u"\n"_s + InicioDe(e.processo().processId()) + u"\n"_s);
    QVERIFY(!QFile::exists(abandonado));
    QVERIFY(!QFile::exists(reusado));
    QVERIFY(QFile::exists(vivo));
    QStringList ficam{QFileInfo(arquivo).fileName(), QFileInfo(vivo).fileName()};
    ficam.sort();
    QCOMPARE(QDir(pasta).entryList(QDir::Files | QDir::Hidden, QDir::Name), ficam);
    struct stat info {};
    QCOMPARE(::stat(QFile::encodeName(pasta).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, 0700u);
    QCOMPARE(e.Pergunta(Comando::Status), (Status{6, 0, 0, 0}));

    QVERIFY(e.Termina(comoSair));
    QVERIFY(!QFile::exists(arquivo));
}

void TstEmulador::recusaPastaQueOutrosEscrevem() {
    const QString pasta = pasta_->filePath(u"testeecf"_s);
    QVERIFY(QDir().mkdir(pasta));
    QVERIFY(::chmod(QFile::encodeName(pasta).constData(), 0777) == 0);

    Emulador e({}, Ambiente());
    QVERIFY(e.processo().waitForFinished(int(kEspera.count())));
    QCOMPARE(e.processo().exitCode(), 1);
    QVERIFY(e.processo().readAllStandardOutput().isEmpty());
    QVERIFY(e.processo().readAllStandardError().contains("writable by group or others"));
    QVERIFY(QDir(pasta).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

QTEST_GUILESS_MAIN(TstEmulador)
#include "tst_emulador.moc"
