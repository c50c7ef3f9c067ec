// The stand-in library's parts: port names, settings, which devices it trusts, and one
// request and answer over a real pseudo-terminal, with the test playing the printer.
#include "ajustes.h"
#include "descritor.h"
#include "emuladores.h"
#include "escala.h"
#include "filho.h"
#include "nomes_com.h"
#include "porta_serial.h"
#include "portas_linux.h"
#include "portas_seriais.h"
#include "relogio.h"
#include "trafego.h"
#include "troca.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using namespace bemafi32;
using protocolo::Descritor;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(std::optional<int>)

namespace {

struct Pty {
    Descritor mestre;
    std::string escravo;
};

Pty NovoPty() {
    Pty pty;
    pty.mestre = Descritor(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!pty.mestre || ::grantpt(pty.mestre.fd()) != 0 || ::unlockpt(pty.mestre.fd()) != 0)
        return {};
    pty.escravo = ::ptsname(pty.mestre.fd());
    return pty;
}

dev_t Dispositivo(const std::string& caminho) {
    struct stat info {};
    ::stat(caminho.c_str(), &info);
    return info.st_rdev;
}

Candidato ComoEmulador(const Pty& pty) {
    return {pty.escravo, TipoPorta::Emulador, Dispositivo(pty.escravo)};
}

void Escreve(const Pty& pty, const std::vector<uint8_t>& bytes) {
    QCOMPARE(::write(pty.mestre.fd(), bytes.data(), bytes.size()),
             static_cast<ssize_t>(bytes.size()));
}

std::vector<uint8_t> Resposta(uint8_t sequencia, uint8_t st1, uint8_t st3 = 0) {
    protocolo::Resposta r;
    r.sequencia = sequencia;
    r.st1 = st1;
    r.st3 = st3;
    return protocolo::Codifica(r);
}

protocolo::Pedido Status(uint8_t sequencia) {
    protocolo::Pedido p;
    p.sequencia = sequencia;
    return p;
}

class RelogioParado final : public Relogio {
  public:
    Instante Agora() const override { return agora; }
    Instante agora{};
};

bool Root() { return ::geteuid() == 0; }

// The process's start time, field 22 of /proc/<pid>/stat; 0 when there is no such process.
// Read here on its own, so that the library's reading is not checked against itself.
unsigned long long InicioDe(pid_t pid) {
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return 0;
    const QByteArray linha = stat.readAll();
    return linha.mid(linha.lastIndexOf(')') + 2).split(' ').value(19).toULongLong();
}

// A registration as an emulator writes it: the pty's path, then its own start time.
std::string Inscricao(const std::string& pty, pid_t pid) {
    return pty + "\n" + std::to_string(InicioDe(pid)) + "\n";
}

// A second live process holding every descriptor open in this one (it inherits them), as an
// emulator holds its pty; it ends with the object.
class Segurador {
  public:
    Segurador() {
        int cano[2];
        if (::pipe(cano) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            ::close(cano[1]);
            char c;
            (void)!::read(cano[0], &c, 1);
            ::_exit(0);
        }
        ::close(cano[0]);
        fim_ = cano[1];
    }
    ~Segurador() {
        if (fim_ >= 0) ::close(fim_);
        if (pid > 0) ::waitpid(pid, nullptr, 0);
    }
    Segurador(const Segurador&) = delete;
    Segurador& operator=(const Segurador&) = delete;

    pid_t pid = -1;

  private:
    int fim_ = -1;
};

} // namespace

class TstBemafi32 : public QObject {
    Q_OBJECT
  private slots:
    void numeroCom_data();
    void numeroCom();
    void dispositivoCom_data();
    void dispositivoCom();
    void ajustes_data();
    void ajustes();
    void trafego_data();
    void trafego();
    void trafegoEscapaOQueNaoEhTexto();
    void arquivoAusente();
    void esperaAte_data();
    void esperaAte();

    void registro_data();
    void registro();
    void registrosOrdenadosPorPid();
    void leitorDeRegistrosAcompanhaAPasta();
    void confereRecusaO_QueNaoEhPortaNemEmulador_data();
    void confereRecusaO_QueNaoEhPortaNemEmulador();
    void portasSeriaisDoSistema();

    void abreDeixaALinhaCruaETrancada();
    void fechaDevolveOModoDaLinha_data();
    void fechaDevolveOModoDaLinha();
    void pergunta_data();
    void pergunta();
    void linhaQueCaiNaoEsperaOTimeout();
    void prazoSegueORelogio();
    void descobre_data();
    void descobre();
};

void TstBemafi32::numeroCom_data() {
    QTest::addColumn<QString>("nome");
    QTest::addColumn<std::optional<int>>("numero");
    QTest::newRow("COM1") << "COM1" << std::optional<int>(1);
    QTest::newRow("typed in mixed case") << "cOM1" << std::optional<int>(1);
    QTest::newRow("lower case COM15") << "com15" << std::optional<int>(15);
    QTest::newRow("COM16 is past the list") << "COM16" << std::optional<int>();
    QTest::newRow("COM0") << "COM0" << std::optional<int>();
    QTest::newRow("leading zero") << "COM01" << std::optional<int>();
    QTest::newRow("no number") << "COM" << std::optional<int>();
    QTest::newRow("trailing letter") << "COM1x" << std::optional<int>();
    QTest::newRow("Default") << "Default" << std::optional<int>();
    QTest::newRow("a device path") << "/dev/ttyS0" << std::optional<int>();
}

void TstBemafi32::numeroCom() {
    QFETCH(QString, nome);
    QFETCH(std::optional<int>, numero);
    QCOMPARE(NumeroCom(nome.toStdString()), numero);
}

void TstBemafi32::dispositivoCom_data() {
    QTest::addColumn<int>("numero");
    QTest::addColumn<QString>("dispositivo");
    QTest::newRow("COM1, first serial port") << 1 << "/dev/ttyS0";
    QTest::newRow("COM4, last serial port") << 4 << "/dev/ttyS3";
    QTest::newRow("COM5, first USB adapter") << 5 << "/dev/ttyUSB0";
    QTest::newRow("COM10, last USB adapter") << 10 << "/dev/ttyUSB5";
    QTest::newRow("COM11, first USB CDC") << 11 << "/dev/ttyACM0";
    QTest::newRow("COM15, last USB CDC") << 15 << "/dev/ttyACM4";
    QTest::newRow("COM3 set by the file") << 3 << "/dev/ttyUSB7";
}

void TstBemafi32::dispositivoCom() {
    QFETCH(int, numero);
    QFETCH(QString, dispositivo);
    Ajustes ajustes;
    ajustes.portasCom[3] = "/dev/ttyUSB7";
    QCOMPARE(QString::fromStdString(DispositivoCom(numero, ajustes)), dispositivo);
}

void TstBemafi32::ajustes_data() {
    QTest::addColumn<QString>("texto");
    QTest::addColumn<QString>("porta");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<int>("timeoutLeituraX");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("com2");

    QTest::newRow("only what the program writes") << "[Sistema]\nPath=/opt/teste/\nPorta=COM2\n"
                                                  << "COM2" << 1000 << 20000 << ""
                                                  << "";
    QTest::newRow("the library's own keys")
        << "[Sistema]\nPorta=Default\n[Bemafi32]\nTimeout=300\nTimeoutLeituraX=900\n"
           "Log=trafego.log\nCOM2=/dev/ttyUSB3\n"
        << "Default" << 300 << 900 << "/pasta/trafego.log"
        << "/dev/ttyUSB3";
    // The log is a plain file name in the folder of Bemafi32.ini: a file that can aim it
    // elsewhere (another user's .bashrc) turns it off.
    for (const char* log :
         {"/var/tmp/ecf.log", "logs/trafego.log", "../trafego.log", "..", "logs\\trafego.log",
          "D:trafego.log"})
        QTest::addRow("log refused: %s", log)
            << u"[Bemafi32]\nLog=%1\n"_s.arg(log) << "" << 1000 << 20000 << ""
            << "";
    QTest::newRow("unreadable timeouts keep their defaults")
        << "[Bemafi32]\nTimeout=depressa\nTimeoutLeituraX=-5\n"
        << "" << 1000 << 20000 << ""
        << "";
    QTest::newRow("a zero timeout keeps the default") << "[Bemafi32]\nTimeout=0\n"
                                                      << "" << 1000 << 20000 << ""
                                                      << "";
}

void TstBemafi32::ajustes() {
    QFETCH(QString, texto);
    const Ajustes a = LeAjustes(texto.toStdString(), "/pasta");
    QTEST(QString::fromStdString(a.porta), "porta");
    QTEST(static_cast<int>(a.timeout.count()), "timeout");
    QTEST(static_cast<int>(a.timeoutLeituraX.count()), "timeoutLeituraX");
    QTEST(QString::fromStdString(a.log.string()), "log");
    QCOMPARE(!a.logRecusado.empty(), QByteArray(QTest::currentDataTag()).startsWith("log refused"));
    QTEST(QString::fromStdString(a.portasCom.contains(2) ? a.portasCom.at(2) : ""), "com2");
}

// What lies at the log's name, and who runs the library. The log is appended to only when
// it is a regular file of the user's with no other name; otherwise there is no log, the
// file and whatever it leads to stay as they were, and one line on standard error says why.
// "alheio" rows run the library as a second user ("nobody"), with the test's files being
// another user's to it.
void TstBemafi32::trafego_data() {
    QTest::addColumn<QString>("preparo");
    QTest::addColumn<bool>("outroUsuario");
    QTest::addColumn<bool>("escrito");
    QTest::addColumn<QString>("aviso");

    QTest::newRow("missing: created, for the user alone") << "" << false << true << "";
    QTest::newRow("the user's own file: appended to") << "proprio" << false << true << "";
    QTest::newRow("a symbolic link to the user's file")
        << "ligacao" << false << false << "symbolic link";
    QTest::newRow("a FIFO: no wait for a reader")
        << "fifo" << false << false << "not a regular file";
    QTest::newRow("a folder") << "pasta" << false << false << "not a regular file";
    QTest::newRow("a second name of the user's file")
        << "duas-ligacoes" << false << false << "other names";
    QTest::newRow("a write that fails: said once")
        << "cheio" << false << false << "could not be written";
    QTest::newRow("another user's file, writable by all")
        << "alheio" << true << false << "another user";
    QTest::newRow("a link planted by another user")
        << "ligacao" << true << false << "symbolic link";
    QTest::newRow("missing, for a second user: created as theirs") << "" << true << true << "";
}

void TstBemafi32::trafego() {
    QFETCH(QString, preparo);
    QFETCH(bool, outroUsuario);
    QFETCH(bool, escrito);
    QFETCH(QString, aviso);
    if (outroUsuario && !Root()) QSKIP("a second user needs root");

    // The folder and the victim's file belong to whoever runs the library.
    QTemporaryDir base;
    const uid_t usuario = outroUsuario ? teste::OutroUsuario() : ::geteuid();
    const auto seu = [&](const QString& caminho) {
        return ::lchown(QFile::encodeName(caminho).constData(), usuario, gid_t(-1)) == 0;
    };
    QVERIFY(::chmod(QFile::encodeName(base.path()).constData(), 0755) == 0 && seu(base.path()));
    const QString log = base.filePath("trafego.log");
    const QString vitima = base.filePath("vitima");
    const auto escreve = [](const QString& caminho, const QByteArray& texto, mode_t modo) {
        QFile f(caminho);
        return f.open(QIODevice::WriteOnly) && f.write(texto) == texto.size() &&
               ::chmod(QFile::encodeName(caminho).constData(), modo) == 0;
    };
    QVERIFY(escreve(vitima, "antes\n", 0600) && seu(vitima));
    QByteArray antes;
    if (preparo == "proprio" || preparo == "cheio") {
        antes = preparo == "cheio" ? "x" : "velho\n";
        QVERIFY(escreve(log, antes, 0600) && seu(log));
    } else if (preparo == "ligacao") {
        QVERIFY(QFile::link(vitima, log));
    } else if (preparo == "fifo") {
        QVERIFY(::mkfifo(QFile::encodeName(log).constData(), 0600) == 0 && seu(log));
    } else if (preparo == "pasta") {
        QVERIFY(QDir().mkdir(log) && seu(log));
    } else if (preparo == "duas-ligacoes") {
        QVERIFY(::link(QFile::encodeName(vitima).constData(), QFile::encodeName(log).constData()) ==
                0);
    } else if (preparo == "alheio") {
        QVERIFY(escreve(log, "", 0666));
    }

    const teste::Fim fim = teste::NoFilho(
        [&](int) {
            if (preparo == "cheio") {
                // The file may not grow: every write to it fails.
                ::signal(SIGXFSZ, SIG_IGN);
                const rlimit limite{1, RLIM_INFINITY};
                ::setrlimit(RLIMIT_FSIZE, &limite);
            }
            Trafego trafego(log.toStdString());
            trafego.Anota("abre /dev/x: ok");
            trafego.Anota("fecha /dev/x");
        },
        teste::Escalado(std::chrono::milliseconds(10000)), outroUsuario);
    QVERIFY2(fim.aTempo, "the log held the library");
    QVERIFY(WIFEXITED(fim.estado) && WEXITSTATUS(fim.estado) == 0);

    QFile vitimaDepois(vitima);
    QVERIFY(vitimaDepois.open(QIODevice::ReadOnly));
    QCOMPARE(vitimaDepois.readAll(), QByteArray("antes\n"));
    const QStringList erros = QString::fromUtf8(fim.erros).split(u'\n', Qt::SkipEmptyParts);
    if (aviso.isEmpty()) {
        QCOMPARE(erros, QStringList{});
    } else {
        QCOMPARE(erros.size(), 1);
        QVERIFY2(erros[0].startsWith(u"bemafi32: "_s) && erros[0].contains(aviso),
                 qPrintable(erros[0]));
    }
    struct stat info {};
    if (!escrito) {
        if (preparo == "proprio" || preparo == "cheio" || preparo == "alheio") {
            QFile f(log);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), antes);
        }
        return;
    }
    QCOMPARE(::lstat(QFile::encodeName(log).constData(), &info), 0);
    QVERIFY(S_ISREG(info.st_mode));
    QCOMPARE(info.st_uid, usuario);
    if (preparo.isEmpty()) QCOMPARE(info.st_mode & 0777, 0600u);
    QFile f(log);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> linhas = f.readAll().split('\n');
    QCOMPARE(linhas.size(), antes.count('\n') + 3);
    QVERIFY(linhas.value(linhas.size() - 3).endsWith(" abre /dev/x: ok"));
    QVERIFY(linhas.value(linhas.size() - 2).endsWith(" fecha /dev/x"));
}

// Every byte that is no printable ASCII goes into the log as \xNN: a port name or an error
// text can neither start a line of its own nor send a terminal escapes.
void TstBemafi32::trafegoEscapaOQueNaoEhTexto() {
    QTemporaryDir base;
    const QString log = base.filePath("trafego.log");
    Trafego trafego(log.toStdString());
    trafego.Anota("abre x\x1b[2J\ny\xc3\xa9\x7f\r;touch pwned;#: ausente");
    QFile f(log);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray texto = f.readAll();
    QCOMPARE(texto.count('\n'), 1);
    QVERIFY2(texto.endsWith(" abre x\\x1B[2J\\x0Ay\\xC3\\xA9\\x7F\\x0D;touch pwned;#: ausente\n"),
             texto.constData());
}

void TstBemafi32::arquivoAusente() {
    QTemporaryDir pasta;
    QVERIFY(!CarregaAjustes(pasta.filePath("Bemafi32.ini").toStdString()));
    // A folder by the file's name is no file either.
    QVERIFY(QDir(pasta.path()).mkdir("Bemafi32.ini"));
    QVERIFY(!CarregaAjustes(pasta.filePath("Bemafi32.ini").toStdString()));
}

void TstBemafi32::esperaAte_data() {
    QTest::addColumn<int>("faltaUs");
    QTest::addColumn<int>("ms");
    QTest::newRow("deadline passed") << -1500 << 0;
    QTest::newRow("deadline now") << 0 << 0;
    QTest::newRow("a fraction of a millisecond waits a whole one") << 200 << 1;
    QTest::newRow("rounded up, not down") << 1500 << 2;
    QTest::newRow("whole milliseconds") << 300000 << 300;
}

void TstBemafi32::esperaAte() {
    QFETCH(int, faltaUs);
    RelogioParado relogio;
    relogio.agora = Instante{} + 10s;
    QTEST(EsperaAte(relogio.agora + std::chrono::microseconds(faltaUs), relogio), "ms");
}

// What can go wrong with a registration; each row spoils one thing of a trusted one.
void TstBemafi32::registro_data() {
    QTest::addColumn<QString>("estrago");
    QTest::addColumn<bool>("precisaDeRoot"); // to give a file to another user
    QTest::addColumn<bool>("aceito");
    QTest::newRow("a live emulator's own pty") << "" << false << true;
    QTest::newRow("folder writable by the group") << "pasta-grupo" << false << false;
    QTest::newRow("folder writable by others") << "pasta-outros" << false << false;
    QTest::newRow("folder of another user") << "pasta-alheia" << true << false;
    QTest::newRow("folder is a symbolic link") << "pasta-ligacao" << false << false;
    QTest::newRow("file of another user") << "arquivo-alheio" << true << false;
    QTest::newRow("file is a symbolic link") << "arquivo-ligacao" << false << false;
    QTest::newRow("its process is gone") << "processo-morto" << false << false;
    QTest::newRow("its process does not hold the pty") << "processo-alheio" << false << false;
    QTest::newRow("without its process's start time") << "sem-inicio" << false << false;
    QTest::newRow("its pid now names a later process holding the pty")
        << "inicio-outro" << false << false;
    QTest::newRow("names a device that is no pty") << "nao-pty" << false << false;
    QTest::newRow("names a regular file") << "arquivo-comum" << false << false;
    QTest::newRow("names a relative path") << "relativo" << false << false;
    QTest::newRow("names a pty of another user") << "pty-alheio" << true << false;
    QTest::newRow("a file that is not a registration") << "outro-nome" << false << false;
}

void TstBemafi32::registro() {
    QFETCH(QString, estrago);
    QFETCH(bool, precisaDeRoot);
    QFETCH(bool, aceito);
    if (precisaDeRoot && !Root()) QSKIP("giving a file to another user needs root");

    QTemporaryDir base;
    const QString real = base.filePath("testeecf");
    QVERIFY(QDir().mkdir(real));
    QVERIFY(::chmod(real.toLocal8Bit(), 0700) == 0);
    QString pasta = real;
    Pty pty = NovoPty();
    QVERIFY(pty.mestre);
    std::string conteudo = Inscricao(pty.escravo, ::getpid());
    QString nome = QString("emulador-%1").arg(::getpid());
    const QString alvo = base.filePath("alvo");

    if (estrago == "pasta-grupo")
        QVERIFY(::chmod(real.toLocal8Bit(), 0770) == 0);
    else if (estrago == "pasta-outros")
        QVERIFY(::chmod(real.toLocal8Bit(), 0703) == 0);
    else if (estrago == "pasta-alheia")
        QVERIFY(::chown(real.toLocal8Bit(), 12345, 12345) == 0);
    else if (estrago == "pasta-ligacao") {
        pasta = base.filePath("ligacao");
        QVERIFY(QFile::link(real, pasta));
    } else if (estrago == "processo-morto")
        nome = "emulador-2147483647";
    else if (estrago == "processo-alheio") {
        nome = QString("emulador-%1").arg(::getppid());
        conteudo = Inscricao(pty.escravo, ::getppid());
    } else if (estrago == "sem-inicio")
        conteudo = pty.escravo + "\n";
    else if (estrago == "inicio-outro")
        conteudo = pty.escravo + "\n" + std::to_string(InicioDe(::getpid()) + 1) + "\n";
    else if (estrago == "nao-pty")
        conteudo = Inscricao("/dev/null", ::getpid());
    else if (estrago == "arquivo-comum") {
        QFile f(alvo);
        QVERIFY(f.open(QIODevice::WriteOnly));
        conteudo = Inscricao(alvo.toStdString(), ::getpid());
    } else if (estrago == "relativo")
        conteudo = Inscricao(pty.escravo.substr(1), ::getpid());
    else if (estrago == "pty-alheio")
        QVERIFY(::chown(pty.escravo.c_str(), 12345, 12345) == 0);
    else if (estrago == "outro-nome")
        nome = "emulador-x";

    QFile arquivo(QDir(real).filePath(estrago == "arquivo-ligacao" ? "conteudo" : nome));
    QVERIFY(arquivo.open(QIODevice::WriteOnly));
    arquivo.write(conteudo.c_str());
    arquivo.close();
    if (estrago == "arquivo-alheio")
        QVERIFY(::chown(arquivo.fileName().toLocal8Bit(), 12345, 12345) == 0);
    if (estrago == "arquivo-ligacao")
        QVERIFY(QFile::link(arquivo.fileName(), QDir(real).filePath(nome)));

    const auto achados = EmuladoresInscritos(pasta.toStdString());
    QCOMPARE(achados.size(), aceito ? 1u : 0u);
    if (aceito) {
        QCOMPARE(achados[0].caminho, pty.escravo);
        QVERIFY(achados[0].tipo == TipoPorta::Emulador);
        QCOMPARE(achados[0].dispositivo, Dispositivo(pty.escravo));
    }
}

void TstBemafi32::registrosOrdenadosPorPid() {
    QTemporaryDir base;
    QVERIFY(::chmod(base.path().toLocal8Bit(), 0700) == 0);
    Pty primeiro = NovoPty();
    Pty segundo = NovoPty();
    // This process and a child both hold the two ptys; the higher pid is written first.
    Segurador outro;
    QVERIFY(outro.pid > 0);
    const pid_t a = std::min(::getpid(), outro.pid);
    const pid_t b = std::max(::getpid(), outro.pid);
    for (const auto& [pid, pty] : {std::pair{b, &segundo}, std::pair{a, &primeiro}}) {
        QFile f(base.filePath(QString("emulador-%1").arg(pid)));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(Inscricao(pty->escravo, pid).c_str());
    }
    const auto achados = EmuladoresInscritos(base.path().toStdString());
    QCOMPARE(achados.size(), 2u);
    QCOMPARE(achados[0].caminho, primeiro.escravo);
    QCOMPARE(achados[1].caminho, segundo.escravo);
}

// The remembered reading must follow every change of the folder and of what it names.
void TstBemafi32::leitorDeRegistrosAcompanhaAPasta() {
    QTemporaryDir base;
    QVERIFY(::chmod(base.path().toLocal8Bit(), 0700) == 0);
    const std::string pasta = base.path().toStdString();
    auto registra = [&](pid_t pid, const Pty& pty) {
        QFile f(base.filePath(QString(".emulador-%1.tmp").arg(pid)));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(Inscricao(pty.escravo, pid).c_str());
        f.close();
        QVERIFY(f.rename(base.filePath(QString("emulador-%1").arg(pid))));
    };
    auto caminhos = [](const std::vector<Candidato>& cs) {
        QStringList l;
        for (const auto& c : cs)
            l << QString::fromStdString(c.caminho);
        return l;
    };
    Pty primeiro = NovoPty();
    Pty segundo = NovoPty();
    Segurador outro;
    QVERIFY(outro.pid > 0);
    const pid_t a = std::min(::getpid(), outro.pid);
    const pid_t b = std::max(::getpid(), outro.pid);
    const QString p1 = QString::fromStdString(primeiro.escravo);
    const QString p2 = QString::fromStdString(segundo.escravo);

    LeitorDeInscricoes leitor;
    QCOMPARE(caminhos(leitor.Le(pasta)), QStringList{});
    registra(a, primeiro);
    QCOMPARE(caminhos(leitor.Le(pasta)), QStringList{p1});
    QCOMPARE(caminhos(leitor.Le(pasta)), QStringList{p1});
    registra(b, segundo);
    QCOMPARE(caminhos(leitor.Le(pasta)), (QStringList{p1, p2}));
    QVERIFY(QFile::remove(base.filePath(QString("emulador-%1").arg(a))));
    QCOMPARE(caminhos(leitor.Le(pasta)), QStringList{p2});
    if (Root()) {
        QVERIFY(::chown(segundo.escravo.c_str(), 12345, 12345) == 0);
        QCOMPARE(caminhos(leitor.Le(pasta)), QStringList{});
        QVERIFY(::chown(segundo.escravo.c_str(), 0, 0) == 0);
        QCOMPARE(caminhos(leitor.Le(pasta)), QStringList{p2});
    }
    QVERIFY(::chmod(base.path().toLocal8Bit(), 0770) == 0);
    QCOMPARE(caminhos(leitor.Le(pasta)), QStringList{});
}

void TstBemafi32::confereRecusaO_QueNaoEhPortaNemEmulador_data() {
    QTest::addColumn<QString>("caminho");
    QTest::newRow("a memory device") << "/dev/null";
    QTest::newRow("a virtual console") << "/dev/tty1";
    QTest::newRow("the controlling terminal") << "/dev/tty";
    QTest::newRow("a folder") << "/dev";
    QTest::newRow("a regular file") << "/etc/hostname";
    QTest::newRow("missing") << "/dev/ttyUSB99";
    QTest::newRow("empty") << "";
    QTest::newRow("an unregistered pty") << "pty";
}

void TstBemafi32::confereRecusaO_QueNaoEhPortaNemEmulador() {
    QFETCH(QString, caminho);
    Pty pty = NovoPty();
    Pty registrado = NovoPty();
    // A system of its own with no serial port, and a registration of the second pty.
    QTemporaryDir raiz;
    QVERIFY(QDir(raiz.path()).mkpath("sys/class/tty") && QDir(raiz.path()).mkpath("dev"));
    QVERIFY(::chmod(raiz.path().toLocal8Bit(), 0700) == 0);
    QFile inscricao(raiz.filePath(QString("emulador-%1").arg(::getpid())));
    QVERIFY(inscricao.open(QIODevice::WriteOnly));
    inscricao.write(Inscricao(registrado.escravo, ::getpid()).c_str());
    inscricao.close();
    PortasDoLinux portas({raiz.filePath("sys").toStdString(), raiz.filePath("dev").toStdString()},
                         raiz.path().toStdString());

    const std::string c = caminho == "pty" ? pty.escravo : caminho.toStdString();
    std::string levou;
    QVERIFY(!portas.Nomeada(c, {}, levou));
    QCOMPARE(levou, c);
    // The registered one passes, as an emulator.
    const auto aceito = portas.Nomeada(registrado.escravo, {}, levou);
    QVERIFY(aceito && aceito->tipo == TipoPorta::Emulador);
}

// A made-up /sys and /dev: the kernel console, a slot without a UART and a virtual
// console are left out, the rest comes in a stable order.
void TstBemafi32::portasSeriaisDoSistema() {
    if (!Root()) QSKIP("making device nodes needs root");
    QTemporaryDir raiz;
    const QDir r(raiz.path());
    struct Tty {
        const char* nome;
        int major, minor;
        bool dispositivo;
        const char* console;
        const char* tipo;
    };
    const Tty ttys[] = {
        {"ttyUSB1", 188, 1, true, nullptr, nullptr},
        {"ttyS1", 4, 65, true, "N", "4"},
        {"ttyACM0", 166, 0, true, nullptr, nullptr},
        {"ttyS0", 4, 64, true, "N", "4"},
        {"ttyS2", 4, 66, true, "Y", "4"},
        {"ttyS3", 4, 67, true, "N", "0"},
        {"tty1", 4, 1, false, nullptr, nullptr},
        {"ttyUSB0", 188, 0, true, nullptr, nullptr},
        {"rfcomm0", 216, 0, false, nullptr, nullptr},
        {"ttyS10", 4, 74, true, "N", "4"},
    };
    QVERIFY(r.mkpath("sys/class/tty/console") && r.mkpath("sys/dev/char") && r.mkpath("dev"));
    QFile ativos(r.filePath("sys/class/tty/console/active"));
    QVERIFY(ativos.open(QIODevice::WriteOnly));
    ativos.write("tty0 ttyS0\n");
    ativos.close();
    for (const auto& t : ttys) {
        const QString classe = QString("sys/class/tty/%1").arg(t.nome);
        const QString real = QString("sys/devices/placa/tty/%1").arg(t.nome);
        QVERIFY(r.mkpath(real));
        QVERIFY(QFile::link(r.filePath(real), r.filePath(classe)));
        QVERIFY(QFile::link(r.filePath(real),
                            r.filePath(QString("sys/dev/char/%1:%2").arg(t.major).arg(t.minor))));
        if (t.dispositivo)
            QVERIFY(QFile::link(r.filePath("sys/devices/placa"), r.filePath(real + "/device")));
        for (const auto& [atributo, valor] : {std::pair{"console", t.console}, {"type", t.tipo}}) {
            if (!valor) continue;
            QFile f(r.filePath(real + "/" + atributo));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(valor) + "\n");
        }
        QVERIFY(::mknod(r.filePath(QString("dev/") + t.nome).toLocal8Bit(), S_IFCHR | 0600,
                        makedev(t.major, t.minor)) == 0);
    }

    const auto portas =
        PortasSeriais({r.filePath("sys").toStdString(), r.filePath("dev").toStdString()});
    QStringList nomes;
    for (const auto& p : portas)
        nomes << QDir(QString::fromStdString(p.caminho)).dirName();
    QCOMPARE(nomes, (QStringList{"ttyS1", "ttyS10", "ttyUSB0", "ttyUSB1", "ttyACM0", "rfcomm0"}));
}

void TstBemafi32::abreDeixaALinhaCruaETrancada() {
    Pty pty = NovoPty();
    QVERIFY(pty.mestre);
    std::string erro;
    auto porta = PortaSerial::Abre(ComoEmulador(pty), 115200, &erro);
    QVERIFY2(porta, erro.c_str());
    termios modo{};
    QCOMPARE(::tcgetattr(porta->fd(), &modo), 0);
    QCOMPARE(modo.c_lflag & (ICANON | ECHO | ISIG), 0u);
    QCOMPARE(modo.c_oflag & OPOST, 0u);
    QCOMPARE(modo.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    QVERIFY(::fcntl(porta->fd(), F_GETFD) & FD_CLOEXEC);

    // A second program gets nothing while the line is held, and gets it once released.
    QVERIFY(!PortaSerial::Abre(ComoEmulador(pty), 115200, &erro));
    QVERIFY(!PortaSerial::Abre(ComoEmulador(pty), 12345, &erro));
    porta.reset();
    QVERIFY(PortaSerial::Abre(ComoEmulador(pty), 115200));

    // A path that now leads elsewhere than what was vetted is not opened.
    Pty outro = NovoPty();
    Candidato trocado = ComoEmulador(pty);
    trocado.caminho = outro.escravo;
    QVERIFY(!PortaSerial::Abre(trocado, 115200));
}

// The library leaves a line as it found it: a terminal in use (line editing, echo) that it
// opened by mistake must not stay raw once it lets the line go.
void TstBemafi32::fechaDevolveOModoDaLinha_data() {
    QTest::addColumn<bool>("sondada");
    QTest::newRow("opened, then closed") << false;
    QTest::newRow("probed by Default, silent, let go") << true;
}

void TstBemafi32::fechaDevolveOModoDaLinha() {
    QFETCH(bool, sondada);
    Pty pty = NovoPty();
    QVERIFY(pty.mestre);
    // The test's own hold on the line, to read its settings once the library has let go.
    Descritor linha(::open(pty.escravo.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    termios antes{};
    QCOMPARE(::tcgetattr(linha.fd(), &antes), 0);
    QVERIFY((antes.c_lflag & (ICANON | ECHO)) == (ICANON | ECHO));
    if (sondada) {
        const auto achada =
            Descobre({ComoEmulador(pty)}, Status(1), 50ms, 115200, RelogioDoSistema());
        QCOMPARE(achada.abertas, 1);
        QVERIFY(!achada.porta);
    } else {
        auto porta = PortaSerial::Abre(ComoEmulador(pty), 115200);
        QVERIFY(porta);
        termios cru{};
        QCOMPARE(::tcgetattr(linha.fd(), &cru), 0);
        QCOMPARE(cru.c_lflag & (ICANON | ECHO), 0u);
    }
    termios depois{};
    QCOMPARE(::tcgetattr(linha.fd(), &depois), 0);
    QCOMPARE(depois.c_iflag, antes.c_iflag);
    QCOMPARE(depois.c_oflag, antes.c_oflag);
    QCOMPARE(depois.c_cflag, antes.c_cflag);
    QCOMPARE(depois.c_lflag, antes.c_lflag);
    QCOMPARE(::cfgetospeed(&depois), ::cfgetospeed(&antes));
    QCOMPARE(depois.c_cc[VMIN], antes.c_cc[VMIN]);
}

// What the printer's side of the line held for the exchange before, if there was one.
void TstBemafi32::pergunta_data() {
    QTest::addColumn<QByteArray>("anterior");
    QTest::addColumn<QByteArray>("linha");
    QTest::addColumn<int>("desfecho");
    QTest::addColumn<int>("st1");

    auto bytes = [](const std::vector<uint8_t>& v) {
        return QByteArray(reinterpret_cast<const char*>(v.data()),
                          static_cast<qsizetype>(v.size()));
    };
    const QByteArray certa = bytes(Resposta(9, 64));
    const QByteArray cortada = bytes(Resposta(8, 128)).left(5);
    const QByteArray nada;
    QTest::newRow("its answer") << nada << certa << int(Desfecho::Respondeu) << 64;
    QTest::newRow("a late answer to an earlier request, then its own")
        << nada << bytes(Resposta(8, 128)) + certa << int(Desfecho::Respondeu) << 64;
    QTest::newRow("garbage, then its answer")
        << nada << QByteArray("\xff\x13 lixo", 7) + certa << int(Desfecho::Respondeu) << 64;
    QTest::newRow("nothing") << nada << nada << int(Desfecho::Silencio) << 0;
    QTest::newRow("only a late answer to an earlier request")
        << nada << bytes(Resposta(8, 128)) << int(Desfecho::Silencio) << 0;
    QTest::newRow("garbage") << nada << QByteArray("\xff\x13 lixo", 7) << int(Desfecho::Ilegivel)
                             << 0;
    QTest::newRow("half an answer")
        << nada << certa.left(certa.size() / 2) << int(Desfecho::Ilegivel) << 0;
    QTest::newRow("a request instead of an answer")
        << nada << bytes(protocolo::Codifica(Status(9))) << int(Desfecho::Ilegivel) << 0;
    QTest::newRow("nothing, after an answer cut short")
        << cortada << nada << int(Desfecho::Silencio) << 0;
    QTest::newRow("its answer, after an answer cut short")
        << cortada << certa << int(Desfecho::Respondeu) << 64;
}

void TstBemafi32::pergunta() {
    QFETCH(QByteArray, anterior);
    QFETCH(QByteArray, linha);
    QFETCH(int, desfecho);
    Pty pty = NovoPty();
    auto porta = PortaSerial::Abre(ComoEmulador(pty), 115200);
    QVERIFY(porta);
    protocolo::Decodificador decodificador;
    if (!anterior.isEmpty()) {
        Escreve(pty, std::vector<uint8_t>(anterior.begin(), anterior.end()));
        const auto antes = Pergunta(*porta, decodificador, Status(8), 50ms, RelogioDoSistema());
        QCOMPARE(int(antes.desfecho), int(Desfecho::Ilegivel));
        std::vector<uint8_t> pedido(64);
        QVERIFY(::read(pty.mestre.fd(), pedido.data(), pedido.size()) > 0);
    }
    Escreve(pty, std::vector<uint8_t>(linha.begin(), linha.end()));

    const auto troca = Pergunta(*porta, decodificador, Status(9), 50ms, RelogioDoSistema());
    QCOMPARE(int(troca.desfecho), desfecho);
    QTEST(int(troca.resposta.st1), "st1");
    QCOMPARE(troca.enviados, protocolo::Codifica(Status(9)));

    // The request went out whole.
    std::vector<uint8_t> saiu(64);
    const auto n = ::read(pty.mestre.fd(), saiu.data(), saiu.size());
    saiu.resize(n > 0 ? n : 0);
    QCOMPARE(saiu, troca.enviados);
}

void TstBemafi32::linhaQueCaiNaoEsperaOTimeout() {
    Pty pty = NovoPty();
    auto porta = PortaSerial::Abre(ComoEmulador(pty), 115200);
    QVERIFY(porta);
    pty.mestre.Fecha();
    protocolo::Decodificador decodificador;
    QElapsedTimer tempo;
    tempo.start();
    // A timeout eight times the bound: a hang-up that waited it out cannot pass.
    const auto timeout = teste::Escalado(20s);
    const auto troca = Pergunta(*porta, decodificador, Status(1), timeout, RelogioDoSistema());
    QCOMPARE(int(troca.desfecho), int(Desfecho::Silencio));
    QVERIFY2(tempo.elapsed() < timeout.count() / 8,
             "a hung-up line must not cost the whole timeout");
}

// The deadline is the clock's: a clock that has run past it ends the wait at once, however
// long the timeout.
void TstBemafi32::prazoSegueORelogio() {
    class RelogioQueSalta final : public Relogio {
      public:
        Instante Agora() const override { return agora += std::chrono::hours(1); }
        mutable Instante agora{};
    } relogio;
    Pty pty = NovoPty();
    auto porta = PortaSerial::Abre(ComoEmulador(pty), 115200);
    QVERIFY(porta);
    protocolo::Decodificador decodificador;
    QElapsedTimer tempo;
    tempo.start();
    const auto troca =
        Pergunta(*porta, decodificador, Status(3), std::chrono::minutes(10), relogio);
    QCOMPARE(int(troca.desfecho), int(Desfecho::Silencio));
    QVERIFY2(tempo.elapsed() < teste::Escalado(5000), "the wait must follow the clock it is given");
}

// Several lines at once: which one "Default" takes. A child plays the printers: it waits
// for the request on each line that answers (opening flushes the line, so nothing can be
// written beforehand) and then answers.
void TstBemafi32::descobre_data() {
    QTest::addColumn<int>("responde"); // the candidate that answers, or -1
    QTest::addColumn<int>("suja");     // a candidate that sends garbage, or -1
    QTest::addColumn<int>("ocupada");  // a candidate held by another program, or -1
    QTest::addColumn<int>("entupida"); // a candidate that takes no more bytes, or -1
    QTest::addColumn<int>("desfecho");
    QTest::addColumn<int>("abertas");

    QTest::newRow("the last of four") << 3 << -1 << -1 << -1 << int(Desfecho::Respondeu) << 4;
    QTest::newRow("the first of four") << 0 << -1 << -1 << -1 << int(Desfecho::Respondeu) << 4;
    QTest::newRow("garbage elsewhere does not matter")
        << 2 << 1 << -1 << -1 << int(Desfecho::Respondeu) << 4;
    QTest::newRow("a busy one is skipped") << 2 << -1 << 0 << -1 << int(Desfecho::Respondeu) << 3;
    QTest::newRow("a stalled one does not hold the others")
        << 3 << -1 << -1 << 0 << int(Desfecho::Respondeu) << 4;
    QTest::newRow("all silent") << -1 << -1 << -1 << -1 << int(Desfecho::Silencio) << 4;
    QTest::newRow("silence and garbage") << -1 << 1 << -1 << -1 << int(Desfecho::Ilegivel) << 4;
    QTest::newRow("busy or silent") << -1 << -1 << 1 << -1 << int(Desfecho::Silencio) << 3;
    QTest::newRow("stalled or silent") << -1 << -1 << -1 << 2 << int(Desfecho::Silencio) << 4;
}

void TstBemafi32::descobre() {
    QFETCH(int, responde);
    QFETCH(int, suja);
    QFETCH(int, ocupada);
    QFETCH(int, entupida);

    std::vector<Pty> ptys(4);
    std::vector<Candidato> candidatos;
    for (auto& pty : ptys) {
        pty = NovoPty();
        QVERIFY(pty.mestre);
        candidatos.push_back(ComoEmulador(pty));
    }
    Descritor trava;
    if (ocupada >= 0) {
        trava = Descritor(::open(ptys[ocupada].escravo.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
        QCOMPARE(::flock(trava.fd(), LOCK_EX | LOCK_NB), 0);
    }
    // Like a Bluetooth link that stalls: output that nobody reads fills the line.
    Descritor entupidor;
    if (entupida >= 0) {
        entupidor = Descritor(
            ::open(ptys[entupida].escravo.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
        termios modo{};
        QCOMPARE(::tcgetattr(entupidor.fd(), &modo), 0);
        ::cfmakeraw(&modo);
        QCOMPARE(::tcsetattr(entupidor.fd(), TCSANOW, &modo), 0);
        const std::vector<uint8_t> bloco(4096, 0x55);
        while (::write(entupidor.fd(), bloco.data(), bloco.size()) > 0) {
        }
        QCOMPARE(errno, EAGAIN);
    }
    const protocolo::Pedido pedido = Status(5);
    const auto resposta = Resposta(5, static_cast<uint8_t>(responde));
    const std::string lixo = "\xff\xfe lixo";

    const pid_t filho = ::fork();
    QVERIFY(filho >= 0);
    if (filho == 0) {
        auto atende = [&](int i, const void* bytes, std::size_t n) {
            uint8_t lido[64];
            pollfd espera{ptys[i].mestre.fd(), POLLIN, 0};
            if (::poll(&espera, 1, int(teste::Escalado(5000))) <= 0 ||
                ::read(espera.fd, lido, sizeof lido) <= 0 ||
                ::write(espera.fd, bytes, n) != static_cast<ssize_t>(n))
                ::_exit(1);
        };
        if (suja >= 0) atende(suja, lixo.data(), lixo.size());
        if (responde >= 0) atende(responde, resposta.data(), resposta.size());
        ::_exit(0);
    }

    QElapsedTimer tempo;
    tempo.start();
    // Rows that get an answer return as soon as it comes; silent ones wait one timeout,
    // which one each would make four: the bound lies between, well apart from both.
    const auto timeout = teste::Escalado(400ms);
    auto achada = Descobre(candidatos, pedido, timeout, 115200, RelogioDoSistema());
    const auto gasto = tempo.elapsed();
    int estado = 0;
    QCOMPARE(::waitpid(filho, &estado, 0), filho);
    QVERIFY(WIFEXITED(estado) && WEXITSTATUS(estado) == 0);
    QTEST(achada.abertas, "abertas");
    QTEST(int(achada.troca.desfecho), "desfecho");
    if (responde < 0) {
        QVERIFY(!achada.porta);
        QVERIFY2(gasto < timeout.count() * 5 / 2,
                 "silent lines cost one timeout in all, not one each");
    } else {
        QVERIFY(achada.porta);
        QCOMPARE(achada.porta->Caminho(), ptys[responde].escravo);
        QCOMPARE(int(achada.troca.resposta.st1), responde);
    }
}

QTEST_GUILESS_MAIN(TstBemafi32)
#include "tst_bemafi32.moc"
