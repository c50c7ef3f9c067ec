// The profile-file layer: reading and writing one value, on the text and on the file,
// and how writes fail.
#include "perfil.h"

#include <QTemporaryDir>
#include <QTest>

#include "escala.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <optional>
#include <poll.h>
#include <pwd.h>
#include <string>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;
namespace fs = std::filesystem;

namespace {

// A rich file: comments, blank lines, an unknown section, blanks around names and values.
const QByteArray kRico = "; Bemafi32.ini\r\n"
                         "\r\n"
                         "[Geral]\r\n"
                         "  Modelo = MP-4200 TH FI  \r\n"
                         "; coment\xc3\xa1rio\r\n"
                         "[Sistema]\r\n"
                         "Path=C:\\Teste\\\r\n"
                         "\tPorta\t= COM1 \r\n"
                         "\r\n"
                         "[Desconhecida]\r\n"
                         "linha sem igual\r\n"
                         "x = \"y\"\r\n"_ba;

QByteArray Repete(const QByteArray& pedaco, int vezes) { return pedaco.repeated(vezes); }

// UTF-8 text as UTF-16LE code units, without a byte-order mark.
QByteArray Utf16(const QByteArray& utf8) {
    QByteArray bytes;
    for (const QChar c : QString::fromUtf8(utf8)) {
        bytes += static_cast<char>(c.unicode() & 0xff);
        bytes += static_cast<char>(c.unicode() >> 8);
    }
    return bytes;
}

// A file as a Windows editor saves it as "Unicode": UTF-16LE after its byte-order mark.
QByteArray Unicode(const QByteArray& utf8) { return "\xff\xfe" + Utf16(utf8); }

// The same in UTF-16BE ("Unicode big endian").
QByteArray UnicodeBe(const QByteArray& utf8) {
    QByteArray bytes = Utf16(utf8);
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        std::swap(bytes[i], bytes[i + 1]);
    return "\xfe\xff" + bytes;
}

QByteArray Conteudo(const fs::path& arquivo) {
    std::ifstream entrada(arquivo, std::ios::binary);
    return QByteArray::fromStdString(
        std::string(std::istreambuf_iterator<char>(entrada), std::istreambuf_iterator<char>()));
}

void Escreve(const fs::path& arquivo, const QByteArray& conteudo) {
    std::ofstream saida(arquivo, std::ios::binary | std::ios::trunc);
    saida.write(conteudo.constData(), conteudo.size());
}

// The error's message, or "ok": what QCOMPARE shows when two of them differ.
QString Texto(std::error_code erro) {
    return erro ? QString::fromStdString(erro.message()) : u"ok"_s;
}

QString Erro(std::errc erro) { return Texto(std::make_error_code(erro)); }

QString Grava(const fs::path& arquivo, std::string_view valor) {
    return Texto(perfil::GravarString(arquivo, "Sistema", "Porta", valor));
}

QByteArray Le(const fs::path& arquivo, std::string_view secao, std::string_view chave) {
    return QByteArray::fromStdString(perfil::LerString(arquivo, secao, chave));
}

QStringList Nomes(const fs::path& pasta) {
    QStringList nomes;
    for (const auto& entrada : fs::directory_iterator(pasta))
        nomes << QString::fromStdString(entrada.path().filename().string());
    nomes.sort();
    return nomes;
}

// In a child process: becomes the user "nobody" when we are root (root passes every
// permission check). False when that failed.
bool SemPrivilegios() {
    if (::geteuid() != 0) return true;
    const passwd* ninguem = ::getpwnam("nobody");
    return ninguem && ::setgroups(0, nullptr) == 0 && ::setgid(ninguem->pw_gid) == 0 &&
           ::setuid(ninguem->pw_uid) == 0;
}

// Runs `passo` in a child process, as the user "nobody" when we are root, and gives back
// what it returned.
int NumFilhoSemPrivilegios(const std::function<int()>& passo) {
    const pid_t filho = ::fork();
    if (filho == 0) {
        if (!SemPrivilegios()) ::_exit(200);
        ::_exit(passo());
    }
    int estado = 0;
    ::waitpid(filho, &estado, 0);
    return WIFEXITED(estado) ? WEXITSTATUS(estado) : 300;
}

int NumFilho(const std::function<int()>& passo) {
    const pid_t filho = ::fork();
    if (filho == 0) ::_exit(passo());
    int estado = 0;
    ::waitpid(filho, &estado, 0);
    return WIFEXITED(estado) ? WEXITSTATUS(estado) : 300;
}

struct Desfecho {
    int codigo = -1; // what the step returned; -1 when it had not ended by the limit
    std::chrono::milliseconds tempo{};
};

// Runs `passo` in a child process (as "nobody" when `semPrivilegios` and we are root) and
// waits for it at most `limite`: a step that hangs is killed and reported as not ended.
Desfecho EmFilho(bool semPrivilegios, std::chrono::milliseconds limite,
                 const std::function<int()>& passo) {
    using Relogio = std::chrono::steady_clock;
    int canal[2];
    if (::pipe2(canal, O_CLOEXEC) != 0) return {};
    const auto inicio = Relogio::now();
    const pid_t filho = ::fork();
    if (filho == 0) {
        if (semPrivilegios && !SemPrivilegios()) ::_exit(200);
        ::_exit(passo()); // the pipe's end closes with the child
    }
    ::close(canal[1]);
    pollfd fim{canal[0], POLLIN, 0};
    for (;;) {
        const auto resta =
            std::chrono::duration_cast<std::chrono::milliseconds>(inicio + limite - Relogio::now());
        if (resta.count() <= 0 || ::poll(&fim, 1, static_cast<int>(resta.count())) > 0) break;
    }
    Desfecho desfecho;
    desfecho.tempo = std::chrono::duration_cast<std::chrono::milliseconds>(Relogio::now() - inicio);
    const bool terminou = fim.revents != 0;
    if (!terminou) ::kill(filho, SIGKILL);
    int estado = 0;
    ::waitpid(filho, &estado, 0);
    ::close(canal[0]);
    if (terminou) desfecho.codigo = WIFEXITED(estado) ? WEXITSTATUS(estado) : 300;
    return desfecho;
}

// An exclusive flock held on a file for as long as it lives, as another writer would.
class Trava {
  public:
    explicit Trava(const fs::path& arquivo)
        : fd_(::open(arquivo.c_str(), O_RDONLY | O_CLOEXEC)),
          presa_(fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) == 0) {}
    Trava(const Trava&) = delete;
    Trava& operator=(const Trava&) = delete;
    ~Trava() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Presa() const { return presa_; }

  private:
    int fd_;
    bool presa_;
};

} // namespace

class TstPerfil : public QObject {
    Q_OBJECT
  private slots:
    void lerDoTexto_data();
    void lerDoTexto();
    void muitasChavesNumaLeitura();
    void gravarNoTexto_data();
    void gravarNoTexto();
    void quebraDeLinhaNuncaGravada_data();
    void quebraDeLinhaNuncaGravada();

    void arquivoAusenteLeVazio();
    void pastaLidaComoArquivoLeVazio();
    void arquivoNovoComBytesExatos();
    void arquivoRicoIntactoForaDoValor();
    void arquivoUnicode();
    void pastaComEspacosEAcentos();
    void permissoesMantidas();
    void arquivoNovoSegueUmask();
    void temporarioAbandonadoEhRefeito();
    void linkSimbolicoGravaNoArquivoApontado();

    void falhas_data();
    void falhas();
    void falhaAoEscreverDeixaOAntigo();
    void pastaSemEscrita_data();
    void pastaSemEscrita();
    void outroUsuario_data();
    void outroUsuario();
    void travaDemorada_data();
    void travaDemorada();
    void leituraNaoEspera_data();
    void leituraNaoEspera();
};

void TstPerfil::lerDoTexto_data() {
    QTest::addColumn<QByteArray>("texto");
    QTest::addColumn<QByteArray>("secao");
    QTest::addColumn<QByteArray>("chave");
    QTest::addColumn<QByteArray>("esperado");

    const QByteArray sistema = "[Sistema]\r\nPath=C:\\Teste\\\r\nPorta=COM1\r\n";
    auto linha = [](const QByteArray& conteudo) { return "[Sistema]\r\n" + conteudo + "\r\n"; };

    QTest::newRow("empty text") << ""_ba
                                << "Sistema"_ba
                                << "Porta"_ba
                                << ""_ba;
    QTest::newRow("plain key") << sistema << "Sistema"_ba
                               << "Porta"_ba
                               << "COM1"_ba;
    QTest::newRow("missing section") << sistema << "Outra"_ba
                                     << "Porta"_ba
                                     << ""_ba;
    QTest::newRow("missing key") << sistema << "Sistema"_ba
                                 << "Velocidade"_ba
                                 << ""_ba;
    QTest::newRow("section and key in another case") << "[SISTEMA]\r\nPORTA=COM2\r\n"_ba
                                                     << "sistema"_ba
                                                     << "pOrTa"_ba
                                                     << "COM2"_ba;
    QTest::newRow("accented names in another case") << "[Se\xc3\xa7\xc3\xa3o]\r\nC\xc3\xb3"
                                                       "digo=7\r\n"_ba
                                                    << "SE\xc3\x87\xc3\x83O"_ba
                                                    << "C\xc3\x93"
                                                       "DIGO"_ba
                                                    << "7"_ba;
    QTest::newRow("names given with blanks around them") << sistema << " Sistema\t"_ba
                                                         << "\tPorta "_ba
                                                         << "COM1"_ba;
    QTest::newRow("duplicate sections: the first wins")
        << "[Sistema]\r\nPorta=COM1\r\n[Sistema]\r\nPorta=COM2\r\n"_ba
        << "Sistema"_ba
        << "Porta"_ba
        << "COM1"_ba;
    QTest::newRow("duplicate sections: a key only in the second is not found")
        << "[Sistema]\r\nA=1\r\n[Outra]\r\nB=2\r\n[sistema]\r\nPorta=COM5\r\n"_ba
        << "Sistema"_ba
        << "Porta"_ba
        << ""_ba;
    QTest::newRow("duplicate keys: the first wins")
        << linha("Porta=COM1\r\nPORTA=COM2") << "Sistema"_ba
        << "Porta"_ba
        << "COM1"_ba;
    QTest::newRow("spaces around key and value") << linha("  Porta  =  COM1  ") << "Sistema"_ba
                                                 << "Porta"_ba
                                                 << "COM1"_ba;
    QTest::newRow("tabs around key and value") << linha("\tPorta\t=\tCOM1\t") << "Sistema"_ba
                                               << "Porta"_ba
                                               << "COM1"_ba;
    QTest::newRow("blanks inside the section brackets") << "[ \tSistema ]\r\nPorta=COM1\r\n"_ba
                                                        << "Sistema"_ba
                                                        << "Porta"_ba
                                                        << "COM1"_ba;
    QTest::newRow("blanks before the section bracket") << "  [Sistema]\r\nPorta=COM1\r\n"_ba
                                                       << "Sistema"_ba
                                                       << "Porta"_ba
                                                       << "COM1"_ba;
    QTest::newRow("text after the closing bracket ignored") << "[Sistema] ; x\r\nPorta=COM1\r\n"_ba
                                                            << "Sistema"_ba
                                                            << "Porta"_ba
                                                            << "COM1"_ba;
    QTest::newRow("section name runs to the last closing bracket") << "[a]b]\r\nPorta=COM1\r\n"_ba
                                                                   << "a]b"_ba
                                                                   << "Porta"_ba
                                                                   << "COM1"_ba;
    QTest::newRow("unclosed bracket is no section") << "[Sistema\r\nPorta=COM1\r\n"_ba
                                                    << "Sistema"_ba
                                                    << "Porta"_ba
                                                    << ""_ba;
    QTest::newRow("space inside the key is part of it") << linha("Por ta=COM1") << "Sistema"_ba
                                                        << "Por ta"_ba
                                                        << "COM1"_ba;
    QTest::newRow("value holding an equals sign") << linha("Porta=a=b") << "Sistema"_ba
                                                  << "Porta"_ba
                                                  << "a=b"_ba;
    QTest::newRow("empty value") << linha("Porta=") << "Sistema"_ba
                                 << "Porta"_ba
                                 << ""_ba;
    QTest::newRow("key without equals sign reads empty") << linha("Porta") << "Sistema"_ba
                                                         << "Porta"_ba
                                                         << ""_ba;
    QTest::newRow("key without equals sign is the first of duplicate keys")
        << linha("Porta\r\nPorta=COM1") << "Sistema"_ba
        << "Porta"_ba
        << ""_ba;
    QTest::newRow("empty key name does not disturb") << linha("=COM1\r\nPorta=COM2") << "Sistema"_ba
                                                     << "Porta"_ba
                                                     << "COM2"_ba;

    QTest::newRow("double quotes removed") << linha("Porta=\"COM1\"") << "Sistema"_ba
                                           << "Porta"_ba
                                           << "COM1"_ba;
    QTest::newRow("single quotes removed") << linha("Porta='COM1'") << "Sistema"_ba
                                           << "Porta"_ba
                                           << "COM1"_ba;
    QTest::newRow("blanks inside quotes kept") << linha("Porta=\" COM1\t\"") << "Sistema"_ba
                                               << "Porta"_ba
                                               << " COM1\t"_ba;
    QTest::newRow("blanks outside quotes trimmed") << linha("Porta=  \"COM1\"  ") << "Sistema"_ba
                                                   << "Porta"_ba
                                                   << "COM1"_ba;
    QTest::newRow("opening quote only kept") << linha("Porta=\"COM1") << "Sistema"_ba
                                             << "Porta"_ba
                                             << "\"COM1"_ba;
    QTest::newRow("closing quote only kept") << linha("Porta=COM1'") << "Sistema"_ba
                                             << "Porta"_ba
                                             << "COM1'"_ba;
    QTest::newRow("mixed quotes kept") << linha("Porta=\"COM1'") << "Sistema"_ba
                                       << "Porta"_ba
                                       << "\"COM1'"_ba;
    QTest::newRow("lone quote kept") << linha("Porta=\"") << "Sistema"_ba
                                     << "Porta"_ba
                                     << "\""_ba;
    QTest::newRow("quotes inside kept") << linha("Porta=a\"b\"c") << "Sistema"_ba
                                        << "Porta"_ba
                                        << "a\"b\"c"_ba;
    QTest::newRow("only one pair of quotes removed") << linha("Porta=\"\"COM1\"\"") << "Sistema"_ba
                                                     << "Porta"_ba
                                                     << "\"COM1\""_ba;
    QTest::newRow("empty quotes read empty") << linha("Porta=''") << "Sistema"_ba
                                             << "Porta"_ba
                                             << ""_ba;

    QTest::newRow("commented key is not the key") << linha(";Porta=COM1") << "Sistema"_ba
                                                  << "Porta"_ba
                                                  << ""_ba;
    QTest::newRow("indented commented key is not the key") << linha("  ;Porta=COM1") << "Sistema"_ba
                                                           << "Porta"_ba
                                                           << ""_ba;
    QTest::newRow("commented key before the key")
        << linha(";Porta=COM1\r\nPorta=COM2") << "Sistema"_ba
        << "Porta"_ba
        << "COM2"_ba;
    QTest::newRow("commented key read by its own name, as Windows does")
        << linha(";Porta=COM1") << "Sistema"_ba
        << ";Porta"_ba
        << "COM1"_ba;
    QTest::newRow("comment after the value is part of it")
        << linha("Porta=COM1 ; principal") << "Sistema"_ba
        << "Porta"_ba
        << "COM1 ; principal"_ba;
    QTest::newRow("commented section is no section") << ";[Sistema]\r\nPorta=COM1\r\n"_ba
                                                     << "Sistema"_ba
                                                     << "Porta"_ba
                                                     << ""_ba;
    QTest::newRow("key before the first section is ignored") << "Porta=COM1\r\n[Sistema]\r\n"_ba
                                                             << "Sistema"_ba
                                                             << "Porta"_ba
                                                             << ""_ba;

    QTest::newRow("CRLF file") << sistema << "Sistema"_ba
                               << "Porta"_ba
                               << "COM1"_ba;
    QTest::newRow("LF file") << "[Sistema]\nPath=C:\\\nPorta=COM3\n"_ba
                             << "Sistema"_ba
                             << "Porta"_ba
                             << "COM3"_ba;
    QTest::newRow("CR-only file") << "[Sistema]\rPath=C:\\\rPorta=COM3\r"_ba
                                  << "Sistema"_ba
                                  << "Porta"_ba
                                  << "COM3"_ba;
    QTest::newRow("CR-only file, first key") << "[Sistema]\rPorta=COM3\rPath=C:\\\r"_ba
                                             << "Sistema"_ba
                                             << "Porta"_ba
                                             << "COM3"_ba;
    QTest::newRow("mixed line breaks") << "[Outra]\rA=1\n[Sistema]\r\nX=2\rPorta=COM6\n"_ba
                                       << "Sistema"_ba
                                       << "Porta"_ba
                                       << "COM6"_ba;
    QTest::newRow("missing final line break") << "[Sistema]\r\nPorta=COM4"_ba
                                              << "Sistema"_ba
                                              << "Porta"_ba
                                              << "COM4"_ba;
    QTest::newRow("UTF-8 byte order mark before the first section")
        << "\xef\xbb\xbf[Sistema]\r\nPorta=COM1\r\n"_ba
        << "Sistema"_ba
        << "Porta"_ba
        << "COM1"_ba;
    QTest::newRow("UTF-16LE file")
        << Unicode("[Sistema]\r\nPath=C:\\\r\nPorta=COM3\r\n") << "Sistema"_ba
        << "Porta"_ba
        << "COM3"_ba;
    QTest::newRow("UTF-16LE file: LF lines, no final line break")
        << Unicode("[Outra]\nA=1\n[Sistema]\nPorta=COM3") << "sistema"_ba
        << "PORTA"_ba
        << "COM3"_ba;
    QTest::newRow("UTF-16LE file: names and value beyond ASCII, a character beyond 16 bits")
        << Unicode("[Se\xc3\xa7\xc3\xa3o]\r\n\xd0\x96=\xc5\x81\xc3\xb3"
                   "d\xc5\xba \xf0\x9f\x96\xa8\r\n")
        << "SE\xc3\x87\xc3\x83O"_ba
        << "\xd0\xb6"_ba
        << "\xc5\x81\xc3\xb3"
           "d\xc5\xba \xf0\x9f\x96\xa8"_ba;
    QTest::newRow("UTF-16LE file: an odd last byte ignored")
        << Unicode("[Sistema]\r\nPorta=COM3") + "\x41"
        << "Sistema"_ba
        << "Porta"_ba
        << "COM3"_ba;
    QTest::newRow("UTF-16LE file: 3000 characters beyond 16 bits cut to 2047")
        << Unicode("[Sistema]\r\nPorta=" + Repete("\xf0\x9f\x96\xa8", 3000)) << "Sistema"_ba
        << "Porta"_ba << Repete("\xf0\x9f\x96\xa8", 2047);
    QTest::newRow("UTF-16BE file: a character beyond 16 bits")
        << UnicodeBe("[Sistema]\r\nPath=C:\\\xf0\x9f\x96\xa8\r\n") << "Sistema"_ba
        << "Path"_ba
        << "C:\\\xf0\x9f\x96\xa8"_ba;
    QTest::newRow("UTF-16 mark at the start of a UTF-8 line is no mark")
        << "[Sistema]\r\n\xff\xfePorta=COM1\r\nPorta=COM2\r\n"_ba
        << "Sistema"_ba
        << "Porta"_ba
        << "COM2"_ba;
    QTest::newRow("accented value")
        << linha("Path=C:\\Configura\xc3\xa7\xc3\xa3o\\") << "Sistema"_ba
        << "Path"_ba
        << "C:\\Configura\xc3\xa7\xc3\xa3o\\"_ba;
    QTest::newRow("NUL cuts the value") << linha("Porta=CO\0M1"_ba) << "Sistema"_ba
                                        << "Porta"_ba
                                        << "CO"_ba;

    const QByteArray digitos = Repete("0123456789", 300);
    QTest::newRow("3000-character value cut to 2047") << linha("Porta=" + digitos) << "Sistema"_ba
                                                      << "Porta"_ba << digitos.left(2047);
    QTest::newRow("2047-character value whole")
        << linha("Porta=" + digitos.left(2047)) << "Sistema"_ba
        << "Porta"_ba << digitos.left(2047);
    QTest::newRow("quoted 3000-character value: quotes removed, then cut")
        << linha("Porta=\"" + digitos + "\"") << "Sistema"_ba
        << "Porta"_ba << digitos.left(2047);
    QTest::newRow("3000 two-byte characters cut to 2047 characters")
        << linha("Porta=" + Repete("\xc3\xa7", 3000)) << "Sistema"_ba
        << "Porta"_ba << Repete("\xc3\xa7", 2047);
    QTest::newRow("three-byte characters not cut inside a character")
        << linha("Porta=a" + Repete("\xe2\x82\xac", 3000)) << "Sistema"_ba
        << "Porta"_ba
        << "a" + Repete("\xe2\x82\xac", 2046);
    QTest::newRow("four-byte characters not cut inside a character")
        << linha("Porta=ab" + Repete("\xf0\x9f\x96\xa8", 3000)) << "Sistema"_ba
        << "Porta"_ba
        << "ab" + Repete("\xf0\x9f\x96\xa8", 2045);
    QTest::newRow("bytes that are no UTF-8 count one each")
        << linha("Porta=" + Repete("\xff", 3000)) << "Sistema"_ba
        << "Porta"_ba << Repete("\xff", 2047);
}

void TstPerfil::lerDoTexto() {
    QFETCH(QByteArray, texto);
    QFETCH(QByteArray, secao);
    QFETCH(QByteArray, chave);
    QFETCH(QByteArray, esperado);
    const std::string t = texto.toStdString(), s = secao.toStdString(), c = chave.toStdString();
    QCOMPARE(QByteArray::fromStdString(perfil::LerDoTexto(t, s, c)), esperado);

    // Read among others in one pass, and twice: the same value, and the others' own.
    std::vector<perfil::Consulta> consultas = {
        {"Sistema", "Path"}, {s, c}, {"sistema", "PORTA"}, {"Outra", "x"}, {s, "Outra"}, {s, c}};
    perfil::LerDoTexto(t, consultas);
    for (const auto& consulta : consultas)
        QCOMPARE(QByteArray::fromStdString(consulta.valor),
                 QByteArray::fromStdString(perfil::LerDoTexto(t, consulta.secao, consulta.chave)));
    QCOMPARE(QByteArray::fromStdString(consultas[1].valor), esperado);
    QCOMPARE(QByteArray::fromStdString(consultas[5].valor), esperado);
}

// Many keys read from a large text cost about one reading of it, not one each. Both times
// are the fastest of a few runs taken here and now, so the machine's speed cancels out;
// reading the keys one at a time costs twenty readings, far beyond the bound.
void TstPerfil::muitasChavesNumaLeitura() {
    using Relogio = std::chrono::steady_clock;
    std::string texto = "[Geral]\r\n";
    for (int n = 0; texto.size() < (2u << 20); ++n)
        texto += "Chave" + std::to_string(n) + "=valor qualquer\r\n";
    texto += "[Sistema]\r\nPorta=COM1\r\n[Bemafi32]\r\nTimeout=700\r\n";
    std::vector<std::string> nomes;
    for (int n = 1; n <= 19; ++n)
        nomes.push_back("COM" + std::to_string(n));
    std::vector<perfil::Consulta> consultas = {{"Sistema", "Porta"}};
    for (const auto& nome : nomes)
        consultas.push_back({"Bemafi32", nome});

    auto menor = std::chrono::nanoseconds::max();
    auto menorUma = menor;
    for (int vez = 0; vez < 5; ++vez) {
        auto inicio = Relogio::now();
        perfil::LerDoTexto(texto, consultas);
        menor = std::min(menor, Relogio::now() - inicio);
        inicio = Relogio::now();
        QCOMPARE(perfil::LerDoTexto(texto, "Ausente", "Chave"), std::string());
        menorUma = std::min(menorUma, Relogio::now() - inicio);
    }
    QCOMPARE(consultas[0].valor, std::string("COM1"));
    const double razao = static_cast<double>(menor.count()) / static_cast<double>(menorUma.count());
    QVERIFY2(razao <= 3, qPrintable(u"20 keys cost %1 readings"_s.arg(razao, 0, 'f', 1)));
}

void TstPerfil::gravarNoTexto_data() {
    QTest::addColumn<QByteArray>("texto");
    QTest::addColumn<QByteArray>("secao");
    QTest::addColumn<QByteArray>("chave");
    QTest::addColumn<QByteArray>("valor");
    QTest::addColumn<QByteArray>("esperado");

    QTest::newRow("new file: section CR LF, key CR LF") << ""_ba
                                                        << "Sistema"_ba
                                                        << "Path"_ba
                                                        << "C:\\Teste\\"_ba
                                                        << "[Sistema]\r\nPath=C:\\Teste\\\r\n"_ba;
    QTest::newRow("names given with blanks are written trimmed") << ""_ba
                                                                 << " Sistema\t"_ba
                                                                 << "\tPath "_ba
                                                                 << "/x/"_ba
                                                                 << "[Sistema]\r\nPath=/x/\r\n"_ba;
    QTest::newRow("rich file byte-identical apart from the value")
        << kRico << "Sistema"_ba
        << "Porta"_ba
        << "COM2"_ba << QByteArray(kRico).replace("\tPorta\t= COM1 ", "Porta=COM2");
    QTest::newRow("same value gives the same text") << "[Sistema]\r\nPorta=COM1\r\n"_ba
                                                    << "Sistema"_ba
                                                    << "Porta"_ba
                                                    << "COM1"_ba
                                                    << "[Sistema]\r\nPorta=COM1\r\n"_ba;
    QTest::newRow("existing section and key keep their spelling")
        << "[SISTEMA]\r\nPORTA=COM1\r\n"_ba
        << "sistema"_ba
        << "porta"_ba
        << "COM2"_ba
        << "[SISTEMA]\r\nPORTA=COM2\r\n"_ba;
    QTest::newRow("blanks around the old key and value dropped")
        << "[Sistema]\r\n  Porta  =  COM1  \r\n"_ba
        << "Sistema"_ba
        << "Porta"_ba
        << "COM2"_ba
        << "[Sistema]\r\nPorta=COM2\r\n"_ba;
    QTest::newRow("value written exactly as given, blanks and all")
        << "[Sistema]\r\nPorta=COM1\r\n"_ba
        << "Sistema"_ba
        << "Porta"_ba
        << "\t COM2  "_ba
        << "[Sistema]\r\nPorta=\t COM2  \r\n"_ba;
    QTest::newRow("quotes written as given") << "[Sistema]\r\nPorta=COM1\r\n"_ba
                                             << "Sistema"_ba
                                             << "Porta"_ba
                                             << "\"COM2\""_ba
                                             << "[Sistema]\r\nPorta=\"COM2\"\r\n"_ba;
    QTest::newRow("over a quoted value") << "[Sistema]\r\nPorta=\"COM1\"\r\n"_ba
                                         << "Sistema"_ba
                                         << "Porta"_ba
                                         << "COM2"_ba
                                         << "[Sistema]\r\nPorta=COM2\r\n"_ba;
    QTest::newRow("empty value") << "[Sistema]\r\nPorta=COM1\r\n"_ba
                                 << "Sistema"_ba
                                 << "Porta"_ba
                                 << ""_ba
                                 << "[Sistema]\r\nPorta=\r\n"_ba;
    QTest::newRow("3000-character value written whole")
        << "[Sistema]\r\nPorta=COM1\r\n"_ba
        << "Sistema"_ba
        << "Porta"_ba << Repete("0123456789", 300)
        << "[Sistema]\r\nPorta=" + Repete("0123456789", 300) + "\r\n";
    QTest::newRow("over a key without equals sign") << "[Sistema]\r\nPorta\r\nA=1\r\n"_ba
                                                    << "Sistema"_ba
                                                    << "Porta"_ba
                                                    << "COM2"_ba
                                                    << "[Sistema]\r\nPorta=COM2\r\nA=1\r\n"_ba;
    QTest::newRow("commented key left alone, new key after it")
        << "[Sistema]\r\n;Porta=COM1\r\n"_ba
        << "Sistema"_ba
        << "Porta"_ba
        << "COM3"_ba
        << "[Sistema]\r\n;Porta=COM1\r\nPorta=COM3\r\n"_ba;
    QTest::newRow("key before the first section left alone")
        << "Porta=COM1\r\n[Sistema]\r\n"_ba
        << "Sistema"_ba
        << "Porta"_ba
        << "COM2"_ba
        << "Porta=COM1\r\n[Sistema]\r\nPorta=COM2\r\n"_ba;
    QTest::newRow("duplicate keys: the first is written")
        << "[Sistema]\r\nPorta=COM1\r\nPorta=COM2\r\n"_ba
        << "Sistema"_ba
        << "Porta"_ba
        << "COM9"_ba
        << "[Sistema]\r\nPorta=COM9\r\nPorta=COM2\r\n"_ba;
    QTest::newRow("duplicate sections: the key of the first is written")
        << "[Sistema]\r\nPorta=COM1\r\n[Sistema]\r\nPorta=COM2\r\n"_ba
        << "Sistema"_ba
        << "Porta"_ba
        << "COM9"_ba
        << "[Sistema]\r\nPorta=COM9\r\n[Sistema]\r\nPorta=COM2\r\n"_ba;
    QTest::newRow("duplicate sections: a new key goes into the first")
        << "[Sistema]\r\nA=1\r\n[Outra]\r\nB=2\r\n[Sistema]\r\nPorta=COM5\r\n"_ba
        << "Sistema"_ba
        << "Porta"_ba
        << "COM6"_ba
        << "[Sistema]\r\nA=1\r\nPorta=COM6\r\n[Outra]\r\nB=2\r\n[Sistema]\r\nPorta=COM5\r\n"_ba;

    QTest::newRow("new key after the last key of its section")
        << "[Sistema]\r\nPath=C:\\\r\n[Outra]\r\nB=2\r\n"_ba
        << "Sistema"_ba
        << "Porta"_ba
        << "COM3"_ba
        << "[Sistema]\r\nPath=C:\\\r\nPorta=COM3\r\n[Outra]\r\nB=2\r\n"_ba;
    QTest::newRow("new key before the blank lines that end its section")
        << "[Sistema]\r\nPath=C:\\\r\n\r\n\r\n[Outra]\r\nB=2\r\n"_ba
        << "Sistema"_ba
        << "Porta"_ba
        << "COM3"_ba
        << "[Sistema]\r\nPath=C:\\\r\nPorta=COM3\r\n\r\n\r\n[Outra]\r\nB=2\r\n"_ba;
    QTest::newRow("new key after a comment that ends its section")
        << "[Sistema]\r\nPath=C:\\\r\n; fim\r\n[Outra]\r\nB=2\r\n"_ba
        << "Sistema"_ba
        << "Porta"_ba
        << "COM3"_ba
        << "[Sistema]\r\nPath=C:\\\r\n; fim\r\nPorta=COM3\r\n[Outra]\r\nB=2\r\n"_ba;
    QTest::newRow("new key in a section without keys")
        << "[Sistema]\r\n[Outra]\r\nB=2\r\n"_ba
        << "Sistema"_ba
        << "Porta"_ba
        << "COM3"_ba
        << "[Sistema]\r\nPorta=COM3\r\n[Outra]\r\nB=2\r\n"_ba;
    QTest::newRow("new key, section last without final line break")
        << "[Sistema]\r\nPath=C:\\"_ba
        << "Sistema"_ba
        << "Porta"_ba
        << "COM3"_ba
        << "[Sistema]\r\nPath=C:\\\r\nPorta=COM3\r\n"_ba;
    QTest::newRow("new key, section line last without final line break")
        << "[Outra]\nB=2\n[Sistema]"_ba
        << "Sistema"_ba
        << "Porta"_ba
        << "COM3"_ba
        << "[Outra]\nB=2\n[Sistema]\nPorta=COM3\n"_ba;
    QTest::newRow("new section at the end, no blank line before it")
        << "[Outra]\r\nA=1\r\n"_ba
        << "Sistema"_ba
        << "Porta"_ba
        << "COM1"_ba
        << "[Outra]\r\nA=1\r\n[Sistema]\r\nPorta=COM1\r\n"_ba;
    QTest::newRow("new section after a missing final line break")
        << "[Outra]\r\nA=1"_ba
        << "Sistema"_ba
        << "Porta"_ba
        << "COM1"_ba
        << "[Outra]\r\nA=1\r\n[Sistema]\r\nPorta=COM1\r\n"_ba;
    QTest::newRow("new section after the blank lines at the end")
        << "[Outra]\r\nA=1\r\n\r\n"_ba
        << "Sistema"_ba
        << "Porta"_ba
        << "COM1"_ba
        << "[Outra]\r\nA=1\r\n\r\n[Sistema]\r\nPorta=COM1\r\n"_ba;
    QTest::newRow("new section after a file of comments only")
        << "; nada\r\n"_ba
        << "Sistema"_ba
        << "Porta"_ba
        << "COM1"_ba
        << "; nada\r\n[Sistema]\r\nPorta=COM1\r\n"_ba;

    QTest::newRow("LF file: replaced line keeps LF") << "[Sistema]\nPath=C:\\\nPorta=COM1\n"_ba
                                                     << "Sistema"_ba
                                                     << "Porta"_ba
                                                     << "COM2"_ba
                                                     << "[Sistema]\nPath=C:\\\nPorta=COM2\n"_ba;
    QTest::newRow("LF file: new key ends in LF") << "[Sistema]\nPath=C:\\\n"_ba
                                                 << "Sistema"_ba
                                                 << "Porta"_ba
                                                 << "COM2"_ba
                                                 << "[Sistema]\nPath=C:\\\nPorta=COM2\n"_ba;
    QTest::newRow("LF file: new section ends in LF") << "[Outra]\nB=2"_ba
                                                     << "Sistema"_ba
                                                     << "Porta"_ba
                                                     << "COM2"_ba
                                                     << "[Outra]\nB=2\n[Sistema]\nPorta=COM2\n"_ba;
    QTest::newRow("CR-only file: replaced line keeps CR")
        << "[Sistema]\rPath=C:\\\rPorta=COM1\r"_ba
        << "Sistema"_ba
        << "Porta"_ba
        << "COM2"_ba
        << "[Sistema]\rPath=C:\\\rPorta=COM2\r"_ba;
    QTest::newRow("CR-only file: new key ends in CR") << "[Sistema]\rPath=C:\\\r"_ba
                                                      << "Sistema"_ba
                                                      << "Porta"_ba
                                                      << "COM2"_ba
                                                      << "[Sistema]\rPath=C:\\\rPorta=COM2\r"_ba;
    QTest::newRow("CR-only file: new section ends in CR")
        << "[Outra]\rB=2\r"_ba
        << "Sistema"_ba
        << "Porta"_ba
        << "COM2"_ba
        << "[Outra]\rB=2\r[Sistema]\rPorta=COM2\r"_ba;
    QTest::newRow("mixed breaks: a new line takes the break of the line before it")
        << "[Sistema]\rA=1\n\n[Outra]\r"_ba
        << "Sistema"_ba
        << "Porta"_ba
        << "COM2"_ba
        << "[Sistema]\rA=1\nPorta=COM2\n\n[Outra]\r"_ba;
    QTest::newRow("missing final line break: replaced last line stays without")
        << "[Sistema]\r\nPorta=COM1"_ba
        << "Sistema"_ba
        << "Porta"_ba
        << "COM2"_ba
        << "[Sistema]\r\nPorta=COM2"_ba;
    QTest::newRow("UTF-8 byte order mark kept") << "\xef\xbb\xbf[Sistema]\r\nPorta=COM1\r\n"_ba
                                                << "Sistema"_ba
                                                << "Porta"_ba
                                                << "COM2"_ba
                                                << "\xef\xbb\xbf[Sistema]\r\nPorta=COM2\r\n"_ba;
    QTest::newRow("UTF-8 byte order mark alone: new section right after it")
        << "\xef\xbb\xbf"_ba
        << "Sistema"_ba
        << "Porta"_ba
        << "COM2"_ba
        << "\xef\xbb\xbf[Sistema]\r\nPorta=COM2\r\n"_ba;

    // UTF-16LE: what changes is written in UTF-16LE; every other byte stays, even those
    // that are no UTF-16 (a lone surrogate, an odd last byte).
    const QByteArray outras = Unicode("; \xc5\x81\xc3\xb3"
                                      "d\xc5\xba \xf0\x9f\x96\xa8 ") +
                              "\x00\xd8"_ba + Utf16("\r\n[Sistema]\r\nPorta=COM1\r\n");
    QTest::newRow("UTF-16LE file: replaced value")
        << outras << "Sistema"_ba
        << "Porta"_ba
        << "COM2"_ba << QByteArray(outras).replace(Utf16("COM1"), Utf16("COM2"));
    QTest::newRow("UTF-16LE file: new key, beyond 16 bits")
        << outras << "Sistema"_ba
        << "Path"_ba
        << "C:\\\xc5\x81\xc3\xb3"
           "d\xc5\xba\\\xf0\x9f\x96\xa8"_ba
        << outras + Utf16("Path=C:\\\xc5\x81\xc3\xb3"
                          "d\xc5\xba\\\xf0\x9f\x96\xa8\r\n");
    QTest::newRow("UTF-16LE file: new key in the middle, LF lines")
        << Unicode("[Sistema]\nA=1\n[Outra]\nB=2\n") << "Sistema"_ba
        << "Porta"_ba
        << "COM2"_ba << Unicode("[Sistema]\nA=1\nPorta=COM2\n[Outra]\nB=2\n");
    QTest::newRow("UTF-16LE file: new section, an odd last byte kept after it")
        << Unicode("[Outra]\r\nB=2\r\n") + "\x41"
        << "Sistema"_ba
        << "Porta"_ba
        << "COM2"_ba << Unicode("[Outra]\r\nB=2\r\n[Sistema]\r\nPorta=COM2\r\n") + "\x41";
    QTest::newRow("UTF-16BE file: new key in UTF-16BE, an odd last byte kept")
        << UnicodeBe("[Sistema]\r\nPorta=COM1\r\n") + "\x41"
        << "Sistema"_ba
        << "Path"_ba
        << "C:\\\xf0\x9f\x96\xa8"_ba
        << UnicodeBe("[Sistema]\r\nPorta=COM1\r\nPath=C:\\\xf0\x9f\x96\xa8\r\n") + "\x41";
    QTest::newRow("UTF-16LE byte-order mark alone: new section in UTF-16LE")
        << "\xff\xfe"_ba
        << "Sistema"_ba
        << "Porta"_ba
        << "COM2"_ba << Unicode("[Sistema]\r\nPorta=COM2\r\n");
}

void TstPerfil::gravarNoTexto() {
    QFETCH(QByteArray, texto);
    QFETCH(QByteArray, secao);
    QFETCH(QByteArray, chave);
    QFETCH(QByteArray, valor);
    QFETCH(QByteArray, esperado);
    const std::string novo = perfil::GravarNoTexto(texto.toStdString(), secao.toStdString(),
                                                   chave.toStdString(), valor.toStdString());
    QCOMPARE(QByteArray::fromStdString(novo), esperado);
}

void TstPerfil::quebraDeLinhaNuncaGravada_data() {
    QTest::addColumn<QByteArray>("secao");
    QTest::addColumn<QByteArray>("chave");
    QTest::addColumn<QByteArray>("valor");

    QTest::newRow("CR LF in the value") << "Sistema"_ba
                                        << "Porta"_ba
                                        << "COM1\r\n[X]"_ba;
    QTest::newRow("CR in the value") << "Sistema"_ba
                                     << "Porta"_ba
                                     << "COM1\r"_ba;
    QTest::newRow("LF in the value") << "Sistema"_ba
                                     << "Porta"_ba
                                     << "\nCOM1"_ba;
    QTest::newRow("NUL in the value") << "Sistema"_ba
                                      << "Porta"_ba
                                      << "CO\0M1"_ba;
    QTest::newRow("LF in the key") << "Sistema"_ba
                                   << "Por\nta"_ba
                                   << "COM1"_ba;
    QTest::newRow("NUL in the key") << "Sistema"_ba
                                    << "Porta\0"_ba
                                    << "COM1"_ba;
    QTest::newRow("CR in the section") << "Sis\rtema"_ba
                                       << "Porta"_ba
                                       << "COM1"_ba;
}

void TstPerfil::quebraDeLinhaNuncaGravada() {
    QFETCH(QByteArray, secao);
    QFETCH(QByteArray, chave);
    QFETCH(QByteArray, valor);
    const QByteArray antigo = "[Sistema]\r\nPorta=COM9\r\n";
    QCOMPARE(
        QByteArray::fromStdString(perfil::GravarNoTexto(antigo.toStdString(), secao.toStdString(),
                                                        chave.toStdString(), valor.toStdString())),
        antigo);

    QTemporaryDir pasta;
    const fs::path existente = fs::path(pasta.path().toStdString()) / "Bemafi32.ini";
    const fs::path ausente = fs::path(pasta.path().toStdString()) / "Novo.ini";
    Escreve(existente, antigo);
    for (const auto& arquivo : {existente, ausente})
        QCOMPARE(Texto(perfil::GravarString(arquivo, secao.toStdString(), chave.toStdString(),
                                            valor.toStdString())),
                 Erro(std::errc::invalid_argument));
    QCOMPARE(Conteudo(existente), antigo);
    QVERIFY(!fs::exists(ausente));
    QCOMPARE(Nomes(pasta.path().toStdString()), QStringList{u"Bemafi32.ini"_s});
}

void TstPerfil::arquivoAusenteLeVazio() {
    QTemporaryDir pasta;
    const fs::path raiz = pasta.path().toStdString();
    QCOMPARE(Le(raiz / "Bemafi32.ini", "Sistema", "Porta"), ""_ba);
    QCOMPARE(Le(raiz / "ausente" / "Bemafi32.ini", "Sistema", "Porta"), ""_ba);
}

void TstPerfil::pastaLidaComoArquivoLeVazio() {
    QTemporaryDir pasta;
    QCOMPARE(Le(pasta.path().toStdString(), "Sistema", "Porta"), ""_ba);
}

void TstPerfil::arquivoNovoComBytesExatos() {
    QTemporaryDir pasta;
    const fs::path arquivo = fs::path(pasta.path().toStdString()) / "Bemafi32.ini";
    QCOMPARE(Texto(perfil::GravarString(arquivo, "Sistema", "Path", "/opt/teste/")), u"ok"_s);
    QCOMPARE(Conteudo(arquivo), "[Sistema]\r\nPath=/opt/teste/\r\n"_ba);
    QCOMPARE(Le(arquivo, "Sistema", "Porta"), ""_ba);
    QCOMPARE(Grava(arquivo, "COM3"), u"ok"_s);
    QCOMPARE(Conteudo(arquivo), "[Sistema]\r\nPath=/opt/teste/\r\nPorta=COM3\r\n"_ba);
    QCOMPARE(Le(arquivo, "SISTEMA", "porta"), "COM3"_ba);
    QCOMPARE(Nomes(pasta.path().toStdString()), QStringList{u"Bemafi32.ini"_s});
}

void TstPerfil::arquivoRicoIntactoForaDoValor() {
    QTemporaryDir pasta;
    const fs::path arquivo = fs::path(pasta.path().toStdString()) / "Bemafi32.ini";
    Escreve(arquivo, kRico);
    QCOMPARE(Grava(arquivo, "COM2"), u"ok"_s);
    QCOMPARE(Conteudo(arquivo), QByteArray(kRico).replace("\tPorta\t= COM1 ", "Porta=COM2"));
    QCOMPARE(Le(arquivo, "Geral", "Modelo"), "MP-4200 TH FI"_ba);
    QCOMPARE(Le(arquivo, "Desconhecida", "x"), "y"_ba);
}

// A file that a Windows editor saved as "Unicode" is read and written back in UTF-16LE.
void TstPerfil::arquivoUnicode() {
    QTemporaryDir pasta;
    const fs::path arquivo = fs::path(pasta.path().toStdString()) / "Bemafi32.ini";
    Escreve(arquivo, Unicode(kRico));
    QCOMPARE(Le(arquivo, "Sistema", "Porta"), "COM1"_ba);
    QCOMPARE(
        Texto(perfil::GravarString(arquivo, "Sistema", "Path", "/opt/configura\xc3\xa7\xc3\xa3o/")),
        u"ok"_s);
    QCOMPARE(Grava(arquivo, "COM3"), u"ok"_s);
    QCOMPARE(Conteudo(arquivo),
             Unicode(QByteArray(kRico)
                         .replace("C:\\Teste\\", "/opt/configura\xc3\xa7\xc3\xa3o/")
                         .replace("\tPorta\t= COM1 ", "Porta=COM3")));
    QCOMPARE(Le(arquivo, "Sistema", "Porta"), "COM3"_ba);
}

void TstPerfil::pastaComEspacosEAcentos() {
    QTemporaryDir raiz;
    const fs::path pasta =
        fs::path(raiz.path().toStdString()) / fs::path(u8"Programas de Teste/Configuração ECF");
    fs::create_directories(pasta);
    const fs::path arquivo = pasta / "Bemafi32.ini";
    const std::string caminho = (pasta / "").string();
    QCOMPARE(Texto(perfil::GravarString(arquivo, "Sistema", "Path", caminho)), u"ok"_s);
    QCOMPARE(Grava(arquivo, "COM1"), u"ok"_s);
    QCOMPARE(Conteudo(arquivo),
             QByteArray::fromStdString("[Sistema]\r\nPath=" + caminho + "\r\nPorta=COM1\r\n"));
    QCOMPARE(Le(arquivo, "Sistema", "Path"), QByteArray::fromStdString(caminho));
    QCOMPARE(Nomes(pasta), QStringList{u"Bemafi32.ini"_s});
}

void TstPerfil::permissoesMantidas() {
    QTemporaryDir pasta;
    const fs::path arquivo = fs::path(pasta.path().toStdString()) / "Bemafi32.ini";
    Escreve(arquivo, "[Sistema]\r\nPorta=COM1\r\n");
    QCOMPARE(::chmod(arquivo.c_str(), 0640), 0);
    QCOMPARE(Grava(arquivo, "COM2"), u"ok"_s);
    struct stat info {};
    QCOMPARE(::stat(arquivo.c_str(), &info), 0);
    QCOMPARE(info.st_mode & 07777, mode_t(0640));
    QCOMPARE(Conteudo(arquivo), "[Sistema]\r\nPorta=COM2\r\n"_ba);
}

void TstPerfil::arquivoNovoSegueUmask() {
    QTemporaryDir pasta;
    const fs::path arquivo = fs::path(pasta.path().toStdString()) / "Bemafi32.ini";
    const mode_t antiga = ::umask(027);
    const QString erro = Grava(arquivo, "COM2");
    ::umask(antiga);
    QCOMPARE(erro, u"ok"_s);
    struct stat info {};
    QCOMPARE(::stat(arquivo.c_str(), &info), 0);
    QCOMPARE(info.st_mode & 07777, mode_t(0640));
}

void TstPerfil::temporarioAbandonadoEhRefeito() {
    QTemporaryDir pasta;
    const fs::path raiz = pasta.path().toStdString();
    const fs::path arquivo = raiz / "Bemafi32.ini";
    Escreve(arquivo, "[Sistema]\r\nPorta=COM1\r\n");
    Escreve(raiz / "Bemafi32.ini.tmp", "[Sistema]\r\nPorta=restos de uma escrita interrompida");
    QCOMPARE(::chmod((raiz / "Bemafi32.ini.tmp").c_str(), 0400), 0);
    QCOMPARE(Le(arquivo, "Sistema", "Porta"), "COM1"_ba);
    QCOMPARE(Grava(arquivo, "COM2"), u"ok"_s);
    QCOMPARE(Conteudo(arquivo), "[Sistema]\r\nPorta=COM2\r\n"_ba);
    QCOMPARE(Nomes(raiz), QStringList{u"Bemafi32.ini"_s});
}

void TstPerfil::linkSimbolicoGravaNoArquivoApontado() {
    QTemporaryDir pasta;
    const fs::path raiz = pasta.path().toStdString();
    fs::create_directory(raiz / "real");
    Escreve(raiz / "real" / "Bemafi32.ini", "[Sistema]\r\nPorta=COM1\r\n");
    fs::create_symlink("real/Bemafi32.ini", raiz / "Bemafi32.ini");
    QCOMPARE(Grava(raiz / "Bemafi32.ini", "COM2"), u"ok"_s);
    QVERIFY(fs::is_symlink(raiz / "Bemafi32.ini"));
    QCOMPARE(Conteudo(raiz / "real" / "Bemafi32.ini"), "[Sistema]\r\nPorta=COM2\r\n"_ba);
    QCOMPARE(Nomes(raiz / "real"), QStringList{u"Bemafi32.ini"_s});
}

// Failures that root meets too. `caminho` is the path given to GravarString, under a
// fresh folder; `preparo` says what stands in the way.
void TstPerfil::falhas_data() {
    QTest::addColumn<QString>("preparo");
    QTest::addColumn<QString>("caminho");
    QTest::addColumn<int>("erro");

    QTest::newRow("the file's path is a folder")
        << u"pasta Bemafi32.ini"_s << u"Bemafi32.ini"_s << int(std::errc::is_a_directory);
    QTest::newRow("the path ends with a separator")
        << u"pasta Bemafi32.ini"_s << u"Bemafi32.ini/"_s << int(std::errc::is_a_directory);
    QTest::newRow("the parent is a file")
        << u"arquivo programa"_s << u"programa/Bemafi32.ini"_s << int(std::errc::not_a_directory);
    QTest::newRow("the folder is missing")
        << u""_s << u"ausente/Bemafi32.ini"_s << int(std::errc::no_such_file_or_directory);
    QTest::newRow("the temporary file's name is taken by a folder")
        << u"pasta Bemafi32.ini.tmp"_s << u"Bemafi32.ini"_s << int(std::errc::is_a_directory);
    QTest::newRow("the file is a FIFO")
        << u"fifo Bemafi32.ini"_s << u"Bemafi32.ini"_s << int(std::errc::invalid_argument);
}

void TstPerfil::falhas() {
    QFETCH(QString, preparo);
    QFETCH(QString, caminho);
    QFETCH(int, erro);

    QTemporaryDir pasta;
    const fs::path raiz = pasta.path().toStdString();
    const QByteArray antigo = "[Sistema]\r\nPorta=COM1\r\n";
    Escreve(raiz / "Bemafi32.ini", antigo); // replaced below when the row puts something there
    const QStringList partes = preparo.split(u' ');
    if (partes.size() == 2) {
        const fs::path alvo = raiz / partes[1].toStdString();
        fs::remove(alvo);
        if (partes[0] == u"pasta") {
            fs::create_directory(alvo);
            Escreve(alvo / "dentro.txt", antigo);
        } else if (partes[0] == u"arquivo") {
            Escreve(alvo, antigo);
        } else {
            QCOMPARE(::mkfifo(alvo.c_str(), 0644), 0);
        }
    }
    const QStringList antes = Nomes(raiz);

    QCOMPARE(Grava(raiz / caminho.toStdString(), "COM2"), Erro(static_cast<std::errc>(erro)));
    QCOMPARE(Nomes(raiz), antes);
    for (const auto& entrada : fs::recursive_directory_iterator(raiz))
        if (entrada.is_regular_file()) QCOMPARE(Conteudo(entrada.path()), antigo);
}

// A write cut short (here by the file size limit, which binds root too) leaves the old file.
void TstPerfil::falhaAoEscreverDeixaOAntigo() {
    QTemporaryDir pasta;
    const fs::path raiz = pasta.path().toStdString();
    const QByteArray antigo = "[Sistema]\r\nPorta=COM1\r\n";
    Escreve(raiz / "Bemafi32.ini", antigo);
    const int resultado = NumFilho([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limite{1000, 1000};
        ::setrlimit(RLIMIT_FSIZE, &limite);
        return perfil::GravarString(raiz / "Bemafi32.ini", "Sistema", "Porta",
                                    std::string(3000, 'x'))
            .value();
    });
    QCOMPARE(resultado, EFBIG);
    QCOMPARE(Conteudo(raiz / "Bemafi32.ini"), antigo);
    QCOMPARE(Nomes(raiz), QStringList{u"Bemafi32.ini"_s});
}

// A folder where the user may not create files. Root passes every permission check, so when
// we are root the write runs in a child that has become "nobody".
void TstPerfil::pastaSemEscrita_data() {
    QTest::addColumn<int>("permissoesDoArquivo");
    QTest::addColumn<int>("erro");
    QTest::addColumn<QByteArray>("esperado");

    QTest::newRow("writable file: written in place")
        << 0666 << 0 << "[Sistema]\r\nPorta=COM2\r\n"_ba;
    QTest::newRow("read-only file: refused, left as it was")
        << 0444 << EACCES << "[Sistema]\r\nPorta=COM1\r\n"_ba;
    QTest::newRow("missing file: refused") << 0 << EACCES << ""_ba;
}

void TstPerfil::pastaSemEscrita() {
    QFETCH(int, permissoesDoArquivo);
    QFETCH(int, erro);
    QFETCH(QByteArray, esperado);

    QTemporaryDir pasta;
    const fs::path raiz = pasta.path().toStdString();
    const fs::path arquivo = raiz / "Bemafi32.ini";
    if (permissoesDoArquivo) {
        Escreve(arquivo, "[Sistema]\r\nPorta=COM1\r\n");
        QCOMPARE(::chmod(arquivo.c_str(), permissoesDoArquivo), 0);
    }
    // Root owns the folder, so "nobody" may enter it but not write in it; a plain user
    // takes the write permission away from itself.
    QCOMPARE(::chmod(raiz.c_str(), ::geteuid() == 0 ? 0755 : 0555), 0);
    const int resultado = NumFilhoSemPrivilegios(
        [&] { return perfil::GravarString(arquivo, "Sistema", "Porta", "COM2").value(); });
    ::chmod(raiz.c_str(), 0700);

    QCOMPARE(resultado, erro);
    QCOMPARE(Conteudo(arquivo), esperado);
    QCOMPARE(Nomes(raiz), permissoesDoArquivo ? QStringList{u"Bemafi32.ini"_s} : QStringList());
    if (permissoesDoArquivo) {
        struct stat info {};
        QCOMPARE(::stat(arquivo.c_str(), &info), 0);
        QCOMPARE(info.st_mode & 07777, mode_t(permissoesDoArquivo));
    }
}

// Another user plants something in a shared folder (sticky and writable by all, as a shared
// program folder may be) where our write will look: a link aimed at one of our files, or a
// temporary file of theirs. We are root and "nobody" is the other user; the folder is
// theirs, so that even the kernel's protected-symlinks rule would follow their link.
void TstPerfil::outroUsuario_data() {
    QTest::addColumn<QString>("plantado");
    QTest::addColumn<int>("erro");

    QTest::newRow("their link as the file: refused, its target untouched")
        << u"link Bemafi32.ini"_s << EACCES;
    QTest::newRow("their link as the temporary file: refused, its target untouched")
        << u"link Bemafi32.ini.tmp"_s << ELOOP;
    QTest::newRow("their temporary file: refused, left alone")
        << u"arquivo Bemafi32.ini.tmp"_s << EEXIST;
    QTest::newRow("their temporary file, locked: refused at once")
        << u"travado Bemafi32.ini.tmp"_s << EEXIST;
    QTest::newRow("their FIFO as the temporary file: refused")
        << u"fifo Bemafi32.ini.tmp"_s << EEXIST;
}

void TstPerfil::outroUsuario() {
    if (::geteuid() != 0) QSKIP("another user's files need a second user: run as root");
    QFETCH(QString, plantado);
    QFETCH(int, erro);
    const QStringList partes = plantado.split(u' ');
    const passwd* ninguem = ::getpwnam("nobody");
    QVERIFY(ninguem);

    QTemporaryDir pasta;
    const fs::path raiz = pasta.path().toStdString();
    QCOMPARE(::chmod(raiz.c_str(), 0755), 0);
    const QByteArray segredo = "[Sistema]\r\nPorta=segredo\r\n";
    Escreve(raiz / "segredo.ini", segredo);
    QCOMPARE(::chmod((raiz / "segredo.ini").c_str(), 0600), 0);
    const fs::path comum = raiz / "comum";
    fs::create_directory(comum);
    QCOMPARE(::chown(comum.c_str(), ninguem->pw_uid, ninguem->pw_gid), 0);
    QCOMPARE(::chmod(comum.c_str(), 01777), 0);

    const fs::path arquivo = comum / "Bemafi32.ini";
    const QByteArray nosso = "[Sistema]\r\nPorta=COM1\r\n";
    const fs::path plantio = comum / partes[1].toStdString();
    if (plantio != arquivo) Escreve(arquivo, nosso);
    if (partes[0] == u"link")
        fs::create_symlink(raiz / "segredo.ini", plantio);
    else if (partes[0] == u"fifo")
        QCOMPARE(::mkfifo(plantio.c_str(), 0666), 0);
    else
        Escreve(plantio, "restos de outro\r\n");
    QCOMPARE(::lchown(plantio.c_str(), ninguem->pw_uid, ninguem->pw_gid), 0);
    std::optional<Trava> trava;
    if (partes[0] == u"travado") QVERIFY(trava.emplace(plantio).Presa());
    const QStringList antes = Nomes(comum);

    const Desfecho desfecho =
        EmFilho(false, teste::Escalado(std::chrono::milliseconds(10000)),
                [&] { return perfil::GravarString(arquivo, "Sistema", "Porta", "COM2").value(); });
    QCOMPARE(desfecho.codigo, erro);
    QCOMPARE(Conteudo(raiz / "segredo.ini"), segredo);
    QCOMPARE(Nomes(comum), antes);
    if (plantio != arquivo) QCOMPARE(Conteudo(arquivo), nosso);
    if (partes[0] == u"link") QVERIFY(fs::is_symlink(plantio));
    if (partes[0] == u"arquivo" || partes[0] == u"travado")
        QCOMPARE(Conteudo(plantio), "restos de outro\r\n"_ba);
}

// A lock held far longer than a write takes (a stopped writer, another program) costs a
// bounded wait, then the write fails as any other and leaves the file as it was.
void TstPerfil::travaDemorada_data() {
    QTest::addColumn<bool>("noLugar");

    QTest::newRow("a writer's temporary file held: refused within the bound") << false;
    QTest::newRow("the file held, the folder forbids the temporary file: refused within the bound")
        << true;
}

void TstPerfil::travaDemorada() {
    QFETCH(bool, noLugar);

    QTemporaryDir pasta;
    const fs::path raiz = pasta.path().toStdString();
    const fs::path arquivo = raiz / "Bemafi32.ini";
    const QByteArray antigo = "[Sistema]\r\nPorta=COM1\r\n";
    Escreve(arquivo, antigo);
    std::optional<Trava> trava;
    if (noLugar) {
        // As in pastaSemEscrita: the writer may write the file but not the folder.
        QCOMPARE(::chmod(arquivo.c_str(), 0666), 0);
        QCOMPARE(::chmod(raiz.c_str(), ::geteuid() == 0 ? 0755 : 0555), 0);
        QVERIFY(trava.emplace(arquivo).Presa());
    } else {
        Escreve(raiz / "Bemafi32.ini.tmp", "");
        QVERIFY(trava.emplace(raiz / "Bemafi32.ini.tmp").Presa());
    }
    const QStringList antes = Nomes(raiz);

    const Desfecho desfecho =
        EmFilho(noLugar, teste::Escalado(std::chrono::milliseconds(10000)),
                [&] { return perfil::GravarString(arquivo, "Sistema", "Porta", "COM2").value(); });
    ::chmod(raiz.c_str(), 0700);
    QCOMPARE(desfecho.codigo, EWOULDBLOCK);
    // A live writer holds the lock for a few milliseconds: it is waited for a good while.
    QVERIFY2(desfecho.tempo >= std::chrono::milliseconds(1000),
             qPrintable(u"gave up after %1 ms"_s.arg(desfecho.tempo.count())));
    QCOMPARE(Conteudo(arquivo), antigo);
    QCOMPARE(Nomes(raiz), antes);
}

// Reading never waits: neither for a writer to open a FIFO nor for a lock.
void TstPerfil::leituraNaoEspera_data() {
    QTest::addColumn<QString>("preparo");
    QTest::addColumn<QByteArray>("esperado");

    QTest::newRow("a FIFO as the file reads empty") << u"fifo"_s << ""_ba;
    QTest::newRow("a locked file reads its value") << u"travado"_s << "COM1"_ba;
}

void TstPerfil::leituraNaoEspera() {
    QFETCH(QString, preparo);
    QFETCH(QByteArray, esperado);

    QTemporaryDir pasta;
    const fs::path arquivo = fs::path(pasta.path().toStdString()) / "Bemafi32.ini";
    std::optional<Trava> trava;
    if (preparo == u"fifo") {
        QCOMPARE(::mkfifo(arquivo.c_str(), 0644), 0);
    } else {
        Escreve(arquivo, "[Sistema]\r\nPorta=COM1\r\n");
        QVERIFY(trava.emplace(arquivo).Presa());
    }
    const Desfecho desfecho =
        EmFilho(false, teste::Escalado(std::chrono::milliseconds(10000)),
                [&] { return Le(arquivo, "Sistema", "Porta") == esperado ? 0 : 1; });
    QCOMPARE(desfecho.codigo, 0);
}

QTEST_GUILESS_MAIN(TstPerfil)
#include "tst_perfil.moc"
