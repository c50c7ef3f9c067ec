#include "opcoes.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace emulador {

namespace {

// "ST1,ST2,ST3"
std::optional<Status> LeProximo(std::string_view texto) {
    std::array<uint8_t, 3> v{};
    for (std::size_t i = 0; i < v.size(); ++i) {
        const std::size_t virgula = texto.find(',');
        const bool ultimo = i + 1 == v.size();
        if ((virgula == std::string_view::npos) != ultimo) return std::nullopt;
        const auto byte = LeByte(texto.substr(0, virgula));
        if (!byte) return std::nullopt;
        v[i] = *byte;
        if (!ultimo) texto = texto.substr(virgula + 1);
    }
    return Status{protocolo::kAck, v[0], v[1], v[2]};
}

std::optional<std::tm> LeRelogio(const std::string& texto) {
    std::tm t{};
    char resto = 0;
    if (std::sscanf(texto.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &t.tm_year, &t.tm_mon, &t.tm_mday,
                    &t.tm_hour, &t.tm_min, &t.tm_sec, &resto) != 6)
        return std::nullopt;
    if (t.tm_mon < 1 || t.tm_mon > 12 || t.tm_mday < 1 || t.tm_mday > 31 || t.tm_hour > 23 ||
        t.tm_min > 59 || t.tm_sec > 59)
        return std::nullopt;
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    return t;
}

} // namespace

LeituraDeOpcoes LeOpcoes(std::span<char* const> argumentos) {
    LeituraDeOpcoes r;
    Opcoes& o = r.opcoes;
    for (std::size_t i = 1; i < argumentos.size() && r.erro.empty(); ++i) {
        const std::string_view opcao = argumentos[i];
        const auto valor = [&]() -> std::optional<std::string> {
            if (i + 1 >= argumentos.size()) {
                r.erro = std::string(opcao) + " needs a value";
                return std::nullopt;
            }
            return std::string(argumentos[++i]);
        };
        const auto invalido = [&](const std::string& v) {
            r.erro = "invalid value for " + std::string(opcao) + ": " + v;
        };

        if (opcao == "-h" || opcao == "--help") {
            o.ajuda = true;
        } else if (opcao == "--sem-registro") {
            o.semRegistro = true;
        } else if (opcao == "--trafego") {
            o.trafego = true;
        } else if (opcao == "--estado") {
            if (const auto v = valor()) {
                if (const auto estado = EstadoPorNome(*v))
                    o.estado = *estado;
                else
                    invalido(*v + " (states: " + NomesDosEstados() + ")");
            }
        } else if (opcao == "--atraso") {
            if (const auto v = valor()) {
                if (const auto atraso = LeAtraso(*v))
                    o.atraso = *atraso;
                else
                    invalido(*v + " (0 to 60000 ms)");
            }
        } else if (opcao == "--proximo") {
            if (const auto v = valor()) {
                if (!(o.proximo = LeProximo(*v))) invalido(*v + " (ST1,ST2,ST3, each 0 to 255)");
            }
        } else if (opcao == "--recibo") {
            if (const auto v = valor()) {
                if (v->empty()) invalido("\"\"");
                o.recibo = *v;
            }
        } else if (opcao == "--relogio") {
            if (const auto v = valor()) {
                if (!(o.relogio = LeRelogio(*v))) invalido(*v + " (\"YYYY-MM-DD HH:MM:SS\")");
            }
        } else {
            r.erro = "unknown option: " + std::string(opcao);
        }
    }
    return r;
}

std::string Ajuda() {
    return R"(Usage: emulador-ecf [OPTION]...
A stand-in MP-4200 TH FI fiscal printer on a pseudo-terminal, speaking TesteECF's own
protocol. It prints the terminal's device path on the first line of its standard output,
registers itself for the library's "Default" discovery, and answers like an idle printer
(ACK 6, ST1 0, ST2 0, ST3 0) until told otherwise.

Options:
  --estado NAME         state at start (default normal); the states are listed below
  --atraso MS           wait MS milliseconds (0 to 60000) before each answer
  --proximo ST1,ST2,ST3 answer the first command with these status values
  --recibo FILE         also append each printed X reading to FILE (UTF-8)
  --relogio "YYYY-MM-DD HH:MM:SS"
                        date and time printed on the X readings (default: the system's)
  --sem-registro        do not register for "Default" discovery
  --trafego             describe each request and answer on standard error
  -h, --help            show this text and exit

Control commands, one a line on standard input; each gets one line on standard output,
"ok ..." when done or "erro ..." when not understood. Empty lines and lines starting
with # are ignored.
  estado NAME           put the printer in state NAME             -> ok estado NAME
  atraso MS             wait MS ms before each answer; 0 ends it  -> ok atraso MS
  proximo ST1 ST2 ST3   answer the next command (other than the status of the last
                        command) with ACK 6 and these values, once -> ok proximo ST1 ST2 ST3
  situacao              present settings and counts -> ok situacao estado NAME atraso MS
                        pedidos N leituras N
  ajuda                 list the commands and states, on one line
  sair                  end cleanly                               -> ok sair
When standard input ends, commands are no longer read and the printer goes on answering;
end it with "sair", SIGINT, SIGTERM or SIGHUP.

States (ACK ST1 ST2 ST3):
  normal                idle and ready                     6   0 0   0
  pouco-papel           paper running out                  6  64 0   0
  sem-papel             out of paper                       6 128 0  11
  cabeca-levantada      print head lifted                  6  16 0  12
  erro-relogio          clock lost its time                6  32 0 145
  cupom-aberto          a fiscal coupon left open          6   2 0   7
  em-erro               printer in error                   6  16 0  10
  off-line              off line                           6  16 0  13
  recusa                refuses every command             21   0 0   0
  silencio              off or cable out: never answers
  lixo                  wrong line speed: answers with garbage, executes nothing
  corta                 executes, but only half of each answer is sent
The X reading is printed only with ACK 6, ST3 0 and ST1 without 128 or 16. A printed
reading goes to standard output between "=== RECIBO INICIO ===" and "=== RECIBO FIM ==="
lines, and to the --recibo file, before the answer is sent.

Standard output and error are written without ever waiting for their reader: past 64 KiB
not yet read, lines are dropped, and their number said on standard error at the end.

Registration: the file emulador-<pid>, holding the device path and this process's start
time (field 22 of /proc/<pid>/stat), a line each, in $XDG_RUNTIME_DIR/testeecf (or
$HOME/.testeecf without XDG_RUNTIME_DIR), a folder of mode 0700 created when missing;
removed when the emulator ends.
)";
}

} // namespace emulador
