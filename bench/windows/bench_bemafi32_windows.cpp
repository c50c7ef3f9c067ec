// Measures the Windows stand-in library against the emulator on COM1, as a ratio against a
// baseline taken in the same run: one locate (open, two status queries, status of the last
// command, close) through bemafi32.dll, against the same two requests and answers written
// and read bare on COM1 by this program, on a port it opened before (and, apart, with the
// open and set-up of the port counted as well). Run under Wine with COM1 mapped to the emulator's
// pseudo-terminal (bench/bemafi32_windows.sh). Not a test: it prints figures and judges
// nothing. See bench/README.md.
#include "bemafi32.h"
#include "protocolo.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using Relogio = std::chrono::steady_clock;
using Micros = std::chrono::duration<double, std::micro>;

namespace {

constexpr DWORD kTimeoutMs = 300;

[[noreturn]] void Morre(const std::string& motivo) {
    std::fprintf(stderr, "bench_bemafi32_windows: %s (error %lu)\n", motivo.c_str(),
                 ::GetLastError());
    std::exit(1);
}

double Mediana(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

std::wstring PastaDoPrograma() {
    std::wstring caminho(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, caminho.data(), DWORD(caminho.size()));
        if (n == 0) Morre("GetModuleFileNameW");
        if (n < caminho.size()) {
            caminho.resize(n);
            break;
        }
        caminho.resize(caminho.size() * 2);
    }
    return caminho.substr(0, caminho.find_last_of(L"\\/") + 1);
}

// The library reads Bemafi32.ini beside the program (after SelecionaIniLocal).
void EscreveIni() {
    std::ofstream ini((PastaDoPrograma() + L"Bemafi32.ini").c_str(), std::ios::binary | std::ios::trunc);
    ini << "[Sistema]\r\nPorta=COM1\r\n[Bemafi32]\r\nTimeout=" << kTimeoutMs << "\r\n";
    ini.close();
    if (!ini) Morre("cannot write Bemafi32.ini");
    Bematech_FI_ReloadINIFile();
}

// The bare exchange: the same frames over the same COM1, with nothing of the library. The
// port is exclusive on Windows, so it is opened while the library has it closed. Blocking
// calls, or overlapped ones waited for at once, as the library's line does them.
class Direto {
  public:
    explicit Direto(bool sobreposto) : sobreposto_(sobreposto) {
        porta_ = ::CreateFileW(L"\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, sobreposto ? FILE_FLAG_OVERLAPPED : 0, nullptr);
        if (porta_ == INVALID_HANDLE_VALUE) Morre("cannot open COM1");
        DCB modo{};
        modo.DCBlength = sizeof modo;
        if (!::GetCommState(porta_, &modo)) Morre("GetCommState");
        modo.BaudRate = CBR_115200;
        modo.ByteSize = 8;
        modo.Parity = NOPARITY;
        modo.StopBits = ONESTOPBIT;
        modo.fBinary = TRUE;
        modo.fParity = FALSE;
        modo.fOutxCtsFlow = FALSE;
        modo.fOutxDsrFlow = FALSE;
        modo.fOutX = FALSE;
        modo.fInX = FALSE;
        if (!::SetCommState(porta_, &modo)) Morre("SetCommState");
        // A read of one byte returns when it comes; the rest is then read from the queue.
        COMMTIMEOUTS tempos{};
        tempos.ReadTotalTimeoutConstant = kTimeoutMs;
        tempos.WriteTotalTimeoutConstant = kTimeoutMs;
        if (!::SetCommTimeouts(porta_, &tempos)) Morre("SetCommTimeouts");
        ::PurgeComm(porta_, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
    }
    ~Direto() {
        ::CloseHandle(porta_);
        if (evento_) ::CloseHandle(evento_);
    }
    Direto(const Direto&) = delete;
    Direto& operator=(const Direto&) = delete;

    void Troca(uint8_t sequencia) {
        protocolo::Pedido pedido;
        pedido.sequencia = sequencia;
        const auto quadro = protocolo::Codifica(pedido);
        DWORD n = 0;
        if (!Opera(false, const_cast<uint8_t*>(quadro.data()), DWORD(quadro.size()), n) ||
            n != quadro.size())
            Morre("WriteFile");
        uint8_t bloco[256];
        for (;;) {
            if (!Opera(true, bloco, 1, n) || n == 0)
                Morre("the emulator did not answer a bare request");
            DWORD erros = 0;
            COMSTAT fila{};
            DWORD mais = 0;
            if (::ClearCommError(porta_, &erros, &fila) && fila.cbInQue > 0)
                Opera(true, bloco + 1, std::min<DWORD>(fila.cbInQue, sizeof bloco - 1), mais);
            decodificador_.Alimenta(std::span(bloco, std::size_t(1) + mais));
            while (auto carga = decodificador_.Proximo())
                if (auto r = protocolo::LeResposta(*carga); r && r->sequencia == sequencia) return;
        }
    }

  private:
    // One read or write to its end (the port's timeouts bound it). False when it failed.
    bool Opera(bool le, uint8_t* bytes, DWORD tamanho, DWORD& n) {
        n = 0;
        if (!sobreposto_)
            return le ? ::ReadFile(porta_, bytes, tamanho, &n, nullptr)
                      : ::WriteFile(porta_, bytes, tamanho, &n, nullptr);
        OVERLAPPED estrutura{};
        estrutura.hEvent = evento_;
        ::ResetEvent(evento_);
        const BOOL ok = le ? ::ReadFile(porta_, bytes, tamanho, &n, &estrutura)
                           : ::WriteFile(porta_, bytes, tamanho, &n, &estrutura);
        if (ok) return true;
        if (::GetLastError() != ERROR_IO_PENDING) return false;
        // Wine ends a read whose time ran out with ERROR_TIMEOUT: nothing came.
        return ::GetOverlappedResult(porta_, &estrutura, &n, TRUE) ||
               ::GetLastError() == ERROR_TIMEOUT;
    }

    bool sobreposto_;
    // Only overlapped calls need it; making it is a round trip to Wine's server.
    HANDLE evento_ = sobreposto_ ? ::CreateEventW(nullptr, TRUE, FALSE, nullptr) : nullptr;
    HANDLE porta_ = INVALID_HANDLE_VALUE;
    protocolo::Decodificador decodificador_;
};

} // namespace

int main(int argc, char* argv[]) {
    const int vezes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    Bematech_FI_SelecionaIniLocal();
    EscreveIni();

    // The locate is timed to the answer of its last call, as on Linux; its parts and the
    // close are timed apart, to show where a ratio comes from.
    std::vector<double> biblioteca, abertura, consultas, fechamento, nua, sobreposta, comAbertura;
    int32_t ack, st1, st2, st3;
    uint8_t sequencia = 100;
    for (int i = 0; i < vezes; ++i) {
        const auto t0 = Relogio::now();
        bool ok = Bematech_FI_AbrePortaSerial() == 1;
        const auto t1 = Relogio::now();
        ok = ok && Bematech_FI_VerificaEstadoImpressoraMFD(&ack, &st1, &st2, &st3) == 1 &&
             Bematech_FI_VerificaEstadoImpressoraMFD(&ack, &st1, &st2, &st3) == 1;
        Bematech_FI_RetornoImpressoraMFD(&ack, &st1, &st2, &st3);
        const auto t2 = Relogio::now();
        Bematech_FI_FechaPortaSerial();
        const auto t3 = Relogio::now();
        if (!ok) Morre("locate through the library failed");
        biblioteca.push_back(Micros(t2 - t0).count());
        abertura.push_back(Micros(t1 - t0).count());
        consultas.push_back(Micros(t2 - t1).count());
        fechamento.push_back(Micros(t3 - t2).count());

        for (bool sobreposto : {false, true}) {
            Direto direto(sobreposto);
            const auto t4 = Relogio::now();
            direto.Troca(++sequencia);
            direto.Troca(++sequencia);
            (sobreposto ? sobreposta : nua).push_back(Micros(Relogio::now() - t4).count());
        }
        // What any program does to talk on COM1: open and set up the port, then the two
        // exchanges.
        const auto t5 = Relogio::now();
        {
            Direto direto(false);
            direto.Troca(++sequencia);
            direto.Troca(++sequencia);
            comAbertura.push_back(Micros(Relogio::now() - t5).count());
        }
    }
    const double b = Mediana(biblioteca), n = Mediana(nua);
    std::printf("locate through bemafi32.dll: median %.1f us over %d runs\n", b, vezes);
    std::printf("  of which the open %.1f us, the three status calls %.1f us; the close after "
                "it %.1f us\n",
                Mediana(abertura), Mediana(consultas), Mediana(fechamento));
    std::printf("same two exchanges, bare on COM1: median %.1f us\n", n);
    std::printf("ratio %.2f (target: at most 2)\n", b / n);
    const double s = Mediana(sobreposta);
    std::printf("the two exchanges bare with overlapped I/O, as the library's line does them: "
                "median %.1f us, ratio %.2f\n",
                s, b / s);
    const double a = Mediana(comAbertura);
    std::printf("the port opened and set up bare, then the two exchanges: median %.1f us, "
                "ratio %.2f\n",
                a, b / a);
    std::fflush(stdout);
    ::DeleteFileW((PastaDoPrograma() + L"Bemafi32.ini").c_str());
    return 0;
}
