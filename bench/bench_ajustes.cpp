// Measures reading the library's settings from a 10 MB Bemafi32.ini against one plain
// parse of the same file (one value looked up in a section the file lacks, so that the
// whole text is gone through once), in a few shapes of file:
//   - a large section of other keys before the library's sections;
//   - the same keys inside the library's own section, where every key asked is compared;
//   - the first shape saved as UTF-16LE with its byte-order mark.
// For each: the median time from text in memory (LeAjustes against LerDoTexto) and from
// the file (CarregaAjustes against LerString), and the memory one reading from the file
// takes (how far a child process's resident memory rises while it reads). Not a test: it
// prints figures and judges nothing. See bench/README.md.
#include "ajustes.h"
#include "perfil.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <malloc.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Relogio = std::chrono::steady_clock;

namespace {

constexpr std::size_t kTamanho = 10u << 20;

[[noreturn]] void Morre(const std::string& motivo) {
    std::fprintf(stderr, "bench_ajustes: %s\n", motivo.c_str());
    std::exit(1);
}

// Keys of another name, 44 bytes a line, up to `bytes`.
std::string Volume(std::size_t bytes) {
    std::string texto;
    texto.reserve(bytes + 64);
    char linha[64];
    for (unsigned n = 0; texto.size() < bytes; ++n) {
        std::snprintf(linha, sizeof linha, "Chave%07u=valor qualquer numero %07u\r\n", n, n);
        texto += linha;
    }
    return texto;
}

std::string Biblioteca() {
    std::string texto = "Timeout=700\r\nTimeoutLeituraX=9000\r\nVelocidade=9600\r\n";
    for (int n = 1; n <= 15; n += 2)
        texto += "COM" + std::to_string(n) + "=/dev/ttyS" + std::to_string(n) + "\r\n";
    return texto;
}

std::string EmUtf16(const std::string& texto) {
    std::string r = "\xff\xfe";
    r.reserve(2 + 2 * texto.size());
    for (const char c : texto) { // the texts here are ASCII
        r += c;
        r += '\0';
    }
    return r;
}

const char* const kFormas[] = {"other keys before the library's sections",
                               "other keys inside the library's section",
                               "other keys before, in UTF-16LE"};

std::string Texto(int forma) {
    const std::string sistema = "[Sistema]\r\nPath=/opt/teste/\r\nPorta=/dev/ttyS0\r\n";
    const std::string antes =
        "[Geral]\r\n" + Volume(kTamanho) + sistema + "[Bemafi32]\r\n" + Biblioteca();
    if (forma == 0) return antes;
    if (forma == 2) return EmUtf16(antes);
    return sistema + "[Bemafi32]\r\n" + Volume(kTamanho) + Biblioteca();
}

void Confere(const bemafi32::Ajustes& a, const char* forma) {
    if (a.porta != "/dev/ttyS0" || a.timeout.count() != 700 || a.timeoutLeituraX.count() != 9000 ||
        a.velocidade != 9600 || a.portasCom.size() != 8 || a.portasCom.at(15) != "/dev/ttyS15")
        Morre(std::string("the settings were misread: ") + forma);
}

double Mediana(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Median milliseconds of `a` and of `b` over `vezes` runs each, interleaved.
std::pair<double, double> Compara(int vezes, const std::function<void()>& a,
                                  const std::function<void()>& b) {
    std::vector<double> ta, tb;
    for (int i = 0; i < vezes; ++i) {
        for (auto [passo, tempos] : {std::pair{&a, &ta}, std::pair{&b, &tb}}) {
            const auto t0 = Relogio::now();
            (*passo)();
            tempos->push_back(
                std::chrono::duration<double, std::milli>(Relogio::now() - t0).count());
        }
    }
    return {Mediana(ta), Mediana(tb)};
}

// A field of /proc/self/status, in kB.
long Status(const char* campo) {
    std::ifstream status("/proc/self/status");
    std::string linha;
    while (std::getline(status, linha))
        if (linha.rfind(campo, 0) == 0) return std::atol(linha.c_str() + std::strlen(campo));
    return -1;
}

// How far, in MB, the resident memory of a child process rises above where it started
// while it runs `passo` once: its peak is reset first, so that what it shares with this
// process counts for nothing.
double Pico(const std::function<void()>& passo) {
    ::malloc_trim(0);
    int canal[2];
    if (::pipe(canal) != 0) Morre("pipe");
    const pid_t filho = ::fork();
    if (filho < 0) Morre("fork");
    if (filho == 0) {
        if (!(std::ofstream("/proc/self/clear_refs") << "5")) ::_exit(1);
        const long inicio = Status("VmRSS:");
        passo();
        const double mb = static_cast<double>(Status("VmHWM:") - inicio) / 1024;
        ::_exit(::write(canal[1], &mb, sizeof mb) == sizeof mb ? 0 : 1);
    }
    ::close(canal[1]);
    double mb = -1;
    const bool lido = ::read(canal[0], &mb, sizeof mb) == sizeof mb;
    ::close(canal[0]);
    int estado = 0;
    if (::waitpid(filho, &estado, 0) != filho || !WIFEXITED(estado) || WEXITSTATUS(estado) || !lido)
        Morre("a child failed to measure its memory");
    return mb;
}

} // namespace

int main(int argc, char* argv[]) {
    const int vezes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
    char modelo[] = "/tmp/bench_ajustes.XXXXXX";
    if (!::mkdtemp(modelo)) Morre("mkdtemp");
    const fs::path pasta = modelo;
    const fs::path arquivo = pasta / "Bemafi32.ini";

    std::printf("reading the library's settings from a %zu MB file, %d runs each, medians\n\n",
                kTamanho >> 20, vezes);
    for (int i = 0; i < static_cast<int>(std::size(kFormas)); ++i) {
        const char* nome = kFormas[i];
        std::string texto = Texto(i);
        const double tamanho = static_cast<double>(texto.size()) / (1 << 20);
        { std::ofstream(arquivo, std::ios::binary) << texto; }
        const auto ajustes = bemafi32::CarregaAjustes(arquivo);
        if (!ajustes) Morre("cannot read " + arquivo.string());
        Confere(*ajustes, nome);

        const auto [leitura, parse] = Compara(
            vezes, [&] { Confere(bemafi32::LeAjustes(texto, pasta), nome); },
            [&] {
                if (!perfil::LerDoTexto(texto, "Ausente", "Chave").empty()) Morre("parse");
            });
        texto = std::string(); // out of the memory figures below
        const auto [doArquivo, parseArquivo] = Compara(
            vezes, [&] { Confere(*bemafi32::CarregaAjustes(arquivo), nome); },
            [&] {
                if (!perfil::LerString(arquivo, "Ausente", "Chave").empty()) Morre("parse");
            });
        const double picoAjustes = Pico([&] { bemafi32::CarregaAjustes(arquivo); });
        const double picoParse = Pico([&] { perfil::LerString(arquivo, "Ausente", "Chave"); });

        std::printf("%s (%.1f MB):\n", nome, tamanho);
        std::printf("  from the text: settings %.1f ms, one parse %.1f ms, ratio %.2f\n", leitura,
                    parse, leitura / parse);
        std::printf("  from the file: settings %.1f ms, one parse %.1f ms, ratio %.2f\n", doArquivo,
                    parseArquivo, doArquivo / parseArquivo);
        std::printf("  peak memory, reading the file: settings %.1f MB, one parse %.1f MB\n\n",
                    picoAjustes, picoParse);
    }
    std::printf("target: every ratio at most 1.5\n");
    fs::remove_all(pasta);
    return 0;
}
