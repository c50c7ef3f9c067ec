// A writer killed at random points: the profile file is always exactly the old or the new
// content, and what a killed writer leaves behind never reaches a reader.
#include "perfil.h"

#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;
namespace fs = std::filesystem;

namespace {

constexpr int kVoltas = 400;
constexpr std::chrono::seconds kPrazo{60};

const std::string kBase = "; Bemafi32.ini\r\n[Geral]\r\nModelo=MP-4200 TH FI\r\n"
                          "[Sistema]\r\nPath=/opt/teste/\r\nPorta=COM1\r\n\r\n[Outra]\r\nx=1\r\n";

std::string Conteudo(const fs::path& arquivo) {
    std::ifstream entrada(arquivo, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(entrada), std::istreambuf_iterator<char>());
}

QStringList Nomes(const fs::path& pasta) {
    QStringList nomes;
    for (const auto& entrada : fs::directory_iterator(pasta))
        nomes << QString::fromStdString(entrada.path().filename().string());
    nomes.sort();
    return nomes;
}

// The median time of one write on this machine, as it is loaded now: the kill points are
// drawn from it, so that they land both inside writes and between them on any machine.
std::chrono::microseconds MedianaDeUmaEscrita(const fs::path& arquivo,
                                              const std::string valores[2]) {
    std::vector<std::chrono::microseconds> tempos;
    for (int i = 0; i < 11; ++i) {
        const auto antes = std::chrono::steady_clock::now();
        if (perfil::GravarString(arquivo, "Sistema", "Porta", valores[i % 2])) return {};
        tempos.push_back(std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - antes));
    }
    std::nth_element(tempos.begin(), tempos.begin() + 5, tempos.end());
    return tempos[5];
}

// Busy-waits: a sleep would hand the child whole scheduler slices and kill it at few points.
void Gira(std::chrono::microseconds espera) {
    const auto ate = std::chrono::steady_clock::now() + espera;
    while (std::chrono::steady_clock::now() < ate) {
    }
}

} // namespace

class TstPerfilSigkill : public QObject {
    Q_OBJECT
  private slots:
    void arquivoSempreAntigoOuNovo();
};

void TstPerfilSigkill::arquivoSempreAntigoOuNovo() {
    QTemporaryDir pasta;
    const fs::path raiz = pasta.path().toStdString();
    const fs::path arquivo = raiz / "Bemafi32.ini";
    // Two values of very different lengths, so that a torn write cannot pass for either.
    const std::string valores[2] = {"COM1", std::string(1500, 'x') + "COM2"};
    std::string textos[2];
    for (int i = 0; i < 2; ++i)
        textos[i] = perfil::GravarNoTexto(kBase, "Sistema", "Porta", valores[i]);
    const auto mediana = MedianaDeUmaEscrita(arquivo, valores);
    QVERIFY(mediana.count() > 0);
    { std::ofstream(arquivo, std::ios::binary) << textos[0]; }

    const auto semente = std::random_device{}();
    qInfo("seed %u, one write takes %lld us", semente, static_cast<long long>(mediana.count()));
    std::mt19937 sorteio(semente);
    // The kill comes after 0, 1 or 2 finished writes, as the writer reports them, and then
    // anywhere within about two more writes: so inside a write or between two, whatever a
    // write costs in a fresh child on this machine.
    std::uniform_int_distribution<int> feitas(0, 2);
    std::uniform_int_distribution<long> espera(0, 2 * mediana.count());

    int atual = 0, trocas = 0, interrompidas = 0, voltas = 0;
    const auto prazo = std::chrono::steady_clock::now() + kPrazo;
    for (; voltas < kVoltas && std::chrono::steady_clock::now() < prazo; ++voltas) {
        int relato[2];
        QCOMPARE(::pipe(relato), 0);
        const pid_t filho = ::fork();
        QVERIFY(filho >= 0);
        if (filho == 0) {
            // Says it is running and then each write it finishes, alternating between the two
            // contents until killed, starting with the other one.
            ::close(relato[0]);
            if (::write(relato[1], "p", 1) != 1) ::_exit(2);
            for (int n = 1;; ++n) {
                if (perfil::GravarString(arquivo, "Sistema", "Porta", valores[(atual + n) % 2]))
                    ::_exit(1);
                if (::write(relato[1], "w", 1) != 1) ::_exit(2);
            }
        }
        ::close(relato[1]);
        char c;
        bool seguiu = ::read(relato[0], &c, 1) == 1;
        for (int n = feitas(sorteio); seguiu && n > 0; --n)
            seguiu = ::read(relato[0], &c, 1) == 1;
        if (seguiu) Gira(std::chrono::microseconds(espera(sorteio)));
        QCOMPARE(::kill(filho, SIGKILL), 0);
        ::close(relato[0]);
        int estado = 0;
        QCOMPARE(::waitpid(filho, &estado, 0), filho);
        QVERIFY2(WIFSIGNALED(estado), "the writer stopped by itself: a write failed");

        const std::string agora = Conteudo(arquivo);
        QVERIFY2(agora == textos[0] || agora == textos[1],
                 qPrintable(u"round %1 left %2 bytes"_s.arg(voltas).arg(agora.size())));
        const int novo = agora == textos[0] ? 0 : 1;
        trocas += novo != atual;
        atual = novo;
        QVERIFY(perfil::LerString(arquivo, "Sistema", "Porta") == valores[atual]);

        // At most the temporary file of the killed write, under its own name.
        const QStringList nomes = Nomes(raiz);
        if (nomes.size() == 2) {
            QCOMPARE(nomes, (QStringList{u"Bemafi32.ini"_s, u"Bemafi32.ini.tmp"_s}));
            ++interrompidas;
        } else {
            QCOMPARE(nomes, QStringList{u"Bemafi32.ini"_s});
        }
    }
    qInfo("%d rounds: the content changed in %d, a temporary file was left in %d", voltas, trocas,
          interrompidas);
    QVERIFY2(voltas >= 100, "too few rounds in the time allowed");
    // The kills must have landed both between writes and in the middle of them.
    QVERIFY(trocas > 0);
    QVERIFY(interrompidas > 0);

    // The next write takes the leftover temporary file's place.
    QVERIFY(!perfil::GravarString(arquivo, "Sistema", "Porta", valores[0]));
    QVERIFY(Conteudo(arquivo) == textos[0]);
    QCOMPARE(Nomes(raiz), QStringList{u"Bemafi32.ini"_s});
}

QTEST_GUILESS_MAIN(TstPerfilSigkill)
#include "tst_perfil_sigkill.moc"
