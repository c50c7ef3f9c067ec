// Faults that the system rarely gives and a test must make: memory that runs out inside the
// stand-in library's seven functions, and a write that takes no byte. Each runs in a child
// process, so that a fault handled badly (an exception out of a C function, a loop that
// never ends) fails its row instead of ending or hanging the test.
#include "bemafi32.h"
#include "escala.h"
#include "filho.h"
#include "inscricao/inscricao.h"
#include "perfil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <new>
#include <sys/syscall.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// While set, every allocation through operator new fails, as when memory runs out.
bool semMemoria = false;
// While set, pwrite takes nothing and says so by returning 0.
bool escritaVazia = false;

void* Aloca(std::size_t tamanho) {
    if (semMemoria) throw std::bad_alloc();
    if (void* p = std::malloc(tamanho ? tamanho : 1)) return p;
    throw std::bad_alloc();
}

} // namespace

// Every form of new and delete goes through malloc and free, so that the sanitizers see
// matching pairs.
void* operator new(std::size_t tamanho) { return Aloca(tamanho); }
void* operator new[](std::size_t tamanho) { return Aloca(tamanho); }
void* operator new(std::size_t tamanho, const std::nothrow_t&) noexcept {
    return semMemoria ? nullptr : std::malloc(tamanho ? tamanho : 1);
}
void* operator new[](std::size_t tamanho, const std::nothrow_t&) noexcept {
    return semMemoria ? nullptr : std::malloc(tamanho ? tamanho : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

extern "C" ssize_t pwrite(int fd, const void* bytes, std::size_t tamanho, off_t onde) {
    if (escritaVazia) return 0;
    return ::syscall(SYS_pwrite64, fd, bytes, tamanho, onde);
}

namespace {

void Diz(int canal, const std::string& linha) {
    const std::string texto = linha + "\n";
    (void)!::write(canal, texto.data(), texto.size());
}

} // namespace

class TstFalhas : public QObject {
    Q_OBJECT
  private slots:
    void semMemoriaNenhumaExcecaoSai();
    void escritaQueNadaLevaNaoGira();
};

// With the library in use and a port open, every allocation then fails: each of the seven
// functions returns (-1 when it needed memory, with the four values at 0), and once memory
// is back the library works as before.
void TstFalhas::semMemoriaNenhumaExcecaoSai() {
    QTemporaryDir pasta;
    QVERIFY(pasta.isValid());
    QVERIFY(::chmod(QFile::encodeName(pasta.path()).constData(), 0700) == 0);

    const teste::Fim fim = teste::NoFilho(
        [&](int canal) {
            // This process plays the emulator: it holds a pty and registers it.
            const int mestre = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
            if (mestre < 0 || ::grantpt(mestre) != 0 || ::unlockpt(mestre) != 0) return;
            const std::string pty = ::ptsname(mestre);
            ::setenv("XDG_RUNTIME_DIR", QFile::encodeName(pasta.path()).constData(), 1);
            ::setenv("TESTEECF_SISTEMA", QFile::encodeName(pasta.path()).constData(), 1);
            const auto registro = inscricao::Pasta();
            std::filesystem::create_directory(registro);
            ::chmod(registro.c_str(), 0700);
            inscricao::Conteudo conteudo;
            conteudo.pty = pty;
            conteudo.inicio = inscricao::Inicio(::getpid()).value_or(0);
            QFile arquivo(QString::fromStdString(registro / inscricao::Nome(::getpid())));
            if (!arquivo.open(QIODevice::WriteOnly)) return;
            arquivo.write(QByteArray::fromStdString(inscricao::Escreve(conteudo)));
            arquivo.close();
            Bematech_FI_SelecionaIniLocal();
            QFile ini(QDir(QCoreApplication::applicationDirPath()).filePath(u"Bemafi32.ini"_s));
            if (!ini.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
            ini.write(QByteArray("[Sistema]\r\nPorta=") + pty.c_str() + "\r\n");
            ini.close();
            Bematech_FI_ReloadINIFile();
            Diz(canal, "abre " + std::to_string(Bematech_FI_AbrePortaSerial()));

            auto status = [&](const char* nome, auto funcao) {
                int32_t v[4] = {-9, -9, -9, -9};
                semMemoria = true;
                const int32_t r = funcao(&v[0], &v[1], &v[2], &v[3]);
                semMemoria = false;
                Diz(canal, std::string(nome) + " " + std::to_string(r) + " " +
                               std::to_string(v[0]) + " " + std::to_string(v[1]) + " " +
                               std::to_string(v[2]) + " " + std::to_string(v[3]));
            };
            auto simples = [&](const char* nome, auto funcao) {
                semMemoria = true;
                const int32_t r = funcao();
                semMemoria = false;
                Diz(canal, std::string(nome) + " " + std::to_string(r));
            };
            status("VerificaEstado", Bematech_FI_VerificaEstadoImpressoraMFD);
            simples("LeituraX", Bematech_FI_LeituraX);
            status("RetornoImpressora", Bematech_FI_RetornoImpressoraMFD);
            simples("SelecionaIniLocal", Bematech_FI_SelecionaIniLocal);
            simples("ReloadINIFile", Bematech_FI_ReloadINIFile);
            simples("AbrePortaSerial", Bematech_FI_AbrePortaSerial);
            simples("FechaPortaSerial", Bematech_FI_FechaPortaSerial);
            Diz(canal, "depois " + std::to_string(Bematech_FI_AbrePortaSerial()));
            Bematech_FI_FechaPortaSerial();
            ::close(mestre);
        },
        teste::Escalado(std::chrono::milliseconds(10000)));

    QVERIFY2(fim.aTempo, "the child did not end");
    QVERIFY2(WIFEXITED(fim.estado) && WEXITSTATUS(fim.estado) == 0, fim.saida.constData());
    // The profile layer tells a file it has no memory to read as one it cannot read: -4.
    QCOMPARE(QString::fromUtf8(fim.saida)
                 .replace(u"ReloadINIFile -4"_s, u"ReloadINIFile -1"_s)
                 .split(u'\n', Qt::SkipEmptyParts),
             (QStringList{u"abre 1"_s, u"VerificaEstado -1 0 0 0 0"_s, u"LeituraX -1"_s,
                          u"RetornoImpressora 1 0 0 0 0"_s, u"SelecionaIniLocal -1"_s,
                          u"ReloadINIFile -1"_s, u"AbrePortaSerial -1"_s, u"FechaPortaSerial 1"_s,
                          u"depois 1"_s}));
}

// A write call that reports no byte written and no error must end the write with an error,
// not ask again for ever.
void TstFalhas::escritaQueNadaLevaNaoGira() {
    QTemporaryDir pasta;
    QVERIFY(pasta.isValid());
    const std::filesystem::path arquivo = pasta.filePath(u"Bemafi32.ini"_s).toStdString();
    const teste::Fim fim = teste::NoFilho(
        [&](int canal) {
            escritaVazia = true;
            const auto erro = perfil::GravarString(arquivo, "Sistema", "Porta", "COM2");
            escritaVazia = false;
            Diz(canal, erro ? "falhou" : "gravou");
        },
        teste::Escalado(std::chrono::milliseconds(10000)));
    QVERIFY2(fim.aTempo, "the write went on for ever");
    QCOMPARE(fim.saida, QByteArray("falhou\n"));
    QVERIFY(!QFile::exists(QString::fromStdString(arquivo.string())) ||
            QFile(QString::fromStdString(arquivo.string())).size() == 0);
}

QTEST_GUILESS_MAIN(TstFalhas)
#include "tst_falhas.moc"
