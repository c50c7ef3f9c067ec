// The serial line on Windows: \\.\COMn opened for this program alone, 8N1 without flow
// control, overlapped reads and writes waited for to a deadline.
//
// A line on its own uses plain calls, the port's timeouts set to the deadline. Lines waited
// on together ("Default") are opened overlapped: each keeps one read of a single byte in
// flight, and many are waited on at once through the reads' events. Either way a read asks
// for one byte, so it ends as soon as a byte comes, on Windows and under Wine alike (Wine
// does not keep every timeout mode of a serial read), and what else has arrived is then
// taken without waiting: exactly the bytes the driver says it holds.
//
// Under Wine a call that reaches the port's state kept by the Wine server (its timeouts, an
// event, an overlapped read) is a round trip between processes, while the line's settings
// and queues are plain system calls. A line on its own therefore changes its timeouts once
// per session, makes no event, and takes what has already arrived before it reads with a
// timeout (a read that has to wait asks the server for the timeouts each time).
#include "porta_serial.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace bemafi32 {

namespace {

// A read in flight ends by itself this often with nothing, and is sent again: no wait
// depends on how a driver treats a read that never ends.
constexpr DWORD kFatiaMs = 500;

std::string MensagemDoSistema(DWORD codigo) {
    char texto[256] = {};
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, codigo, 0, texto, sizeof texto, nullptr);
    std::string mensagem(texto, n);
    while (!mensagem.empty() && (mensagem.back() == '\n' || mensagem.back() == '\r' ||
                                 mensagem.back() == ' ' || mensagem.back() == '.'))
        mensagem.pop_back();
    return mensagem.empty() ? "error " + std::to_string(codigo) : mensagem;
}

bool Falha(std::string* erro, const std::string& o_que) {
    if (erro) *erro = o_que + ": " + MensagemDoSistema(::GetLastError());
    return false;
}

std::wstring Largo(const std::string& texto) {
    if (texto.empty()) return {};
    const int n =
        ::MultiByteToWideChar(CP_UTF8, 0, texto.data(), static_cast<int>(texto.size()), nullptr, 0);
    std::wstring largo(static_cast<std::size_t>(std::max(n, 0)), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, texto.data(), static_cast<int>(texto.size()), largo.data(),
                          n);
    return largo;
}

DWORD MsAte(Instante prazo, const Relogio& relogio) {
    const auto falta =
        std::chrono::ceil<std::chrono::milliseconds>(prazo - relogio.Agora()).count();
    if (falta <= 0) return 0;
    return static_cast<DWORD>(std::min<long long>(falta, INFINITE - 1));
}

// An event and the OVERLAPPED that signals it, for one operation in flight. The event is
// made at the first overlapped operation: under Wine each event made or closed is a round
// trip to the server, and a line on its own never needs one.
struct Operacao {
    Operacao() = default;
    ~Operacao() {
        if (evento) ::CloseHandle(evento);
    }
    Operacao(const Operacao&) = delete;
    Operacao& operator=(const Operacao&) = delete;

    // False when no event could be made.
    bool Prepara() {
        if (!evento) evento = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!evento) return false;
        ::ResetEvent(evento);
        std::memset(&estrutura, 0, sizeof estrutura);
        estrutura.hEvent = evento;
        return true;
    }

    HANDLE evento = nullptr;
    OVERLAPPED estrutura{};
    bool emCurso = false;
};

} // namespace

struct PortaSerial::Linha {
    ~Linha() {
        if (arquivo == INVALID_HANDLE_VALUE) return;
        // Nothing may still write into this object's buffers once it is gone.
        if (leitura.emCurso || escrita.emCurso) {
            ::CancelIoEx(arquivo, nullptr);
            DWORD n = 0;
            if (leitura.emCurso) ::GetOverlappedResult(arquivo, &leitura.estrutura, &n, TRUE);
            if (escrita.emCurso) ::GetOverlappedResult(arquivo, &escrita.estrutura, &n, TRUE);
        }
        if (temModoOriginal) ::SetCommState(arquivo, &modoOriginal);
        ::CloseHandle(arquivo);
    }

    // Sends the one-byte read when none is in flight. False when the line failed.
    bool Arma() {
        if (leitura.emCurso || temByte) return true;
        if (!leitura.Prepara()) return false;
        DWORD n = 0;
        if (::ReadFile(arquivo, &byte, 1, &n, &leitura.estrutura)) {
            temByte = n == 1;
            return true;
        }
        const DWORD codigo = ::GetLastError();
        if (codigo == ERROR_IO_PENDING) {
            leitura.emCurso = true;
            return true;
        }
        return codigo == ERROR_TIMEOUT;
    }

    // Takes the result of the read in flight when it has ended. False when the line failed.
    bool Recolhe() {
        if (!leitura.emCurso) return true;
        DWORD n = 0;
        if (::GetOverlappedResult(arquivo, &leitura.estrutura, &n, FALSE)) {
            leitura.emCurso = false;
            temByte = n == 1;
            return true;
        }
        const DWORD codigo = ::GetLastError();
        if (codigo == ERROR_IO_INCOMPLETE) return true;
        leitura.emCurso = false;
        // Windows ends a read whose time ran out with success and no byte; Wine with
        // ERROR_TIMEOUT. Either way, nothing came.
        return codigo == ERROR_TIMEOUT || codigo == ERROR_OPERATION_ABORTED;
    }

    // Moves the byte of the ended read, and whatever else the driver holds, to `destino`.
    // False when the line failed.
    bool Escoa(std::vector<uint8_t>& destino) {
        if (temByte) {
            destino.push_back(byte);
            temByte = false;
        }
        DWORD erros = 0;
        COMSTAT estado{};
        if (!::ClearCommError(arquivo, &erros, &estado)) return false;
        if (estado.cbInQue == 0) return true;
        if (sobreposta && !resto.Prepara()) return false;
        const std::size_t antes = destino.size();
        destino.resize(antes + estado.cbInQue);
        DWORD n = 0;
        bool ok = ::ReadFile(arquivo, destino.data() + antes, estado.cbInQue, &n,
                             sobreposta ? &resto.estrutura : nullptr);
        if (!ok && ::GetLastError() == ERROR_IO_PENDING)
            // The bytes are there: the read ends at once, or at the slice's end at worst.
            ok = ::GetOverlappedResult(arquivo, &resto.estrutura, &n, TRUE);
        if (!ok && ::GetLastError() == ERROR_TIMEOUT) ok = true;
        destino.resize(antes + (ok ? n : 0));
        return ok;
    }

    // Plain calls with the port's timeouts as the deadline: for a line on its own.
    // Each change is a call into the driver (a round trip to Wine's server), so the present
    // timeout stays while it overshoots the deadline by at most a tenth, or falls short by
    // at most half (a read that ends early is sent again).
    bool Prazo(DWORD ms) {
        if (prazoMs != 0 && prazoMs <= ms + ms / 10 && prazoMs >= ms / 2) return true;
        COMMTIMEOUTS tempos{};
        tempos.ReadTotalTimeoutConstant = ms;
        tempos.WriteTotalTimeoutConstant = ms;
        if (!::SetCommTimeouts(arquivo, &tempos)) return false;
        prazoMs = ms;
        return true;
    }

    HANDLE arquivo = INVALID_HANDLE_VALUE;
    bool sobreposta = false; // opened for overlapped I/O, to be waited on with others
    DWORD prazoMs = 0;       // the plain calls' present timeouts; 0 before they are set
    DCB modoOriginal{};
    bool temModoOriginal = false;
    Operacao leitura;
    uint8_t byte = 0;
    bool temByte = false;
    Operacao escrita;
    Operacao resto;              // the read of what the driver already holds
    std::vector<uint8_t> saindo; // what the write in flight sends
};

std::optional<PortaSerial> PortaSerial::Abre(const Candidato& candidato, unsigned velocidade,
                                             std::string* erro, bool comOutras) {
    auto linha = std::make_unique<Linha>();
    linha->sobreposta = comOutras;
    // No sharing: a second program cannot interleave its bytes with ours.
    linha->arquivo =
        ::CreateFileW(Largo(candidato.caminho).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                      OPEN_EXISTING, comOutras ? FILE_FLAG_OVERLAPPED : 0, nullptr);
    if (linha->arquivo == INVALID_HANDLE_VALUE) {
        Falha(erro, "CreateFile");
        return std::nullopt;
    }
    // A file or any other device has no serial state: the library writes only to ports.
    DCB modo{};
    modo.DCBlength = sizeof modo;
    if (!::GetCommState(linha->arquivo, &modo)) {
        Falha(erro, "GetCommState");
        return std::nullopt;
    }
    linha->modoOriginal = modo;
    modo.BaudRate = velocidade;
    modo.ByteSize = 8;
    modo.Parity = NOPARITY;
    modo.StopBits = ONESTOPBIT;
    modo.fBinary = TRUE;
    modo.fParity = FALSE;
    modo.fOutxCtsFlow = FALSE;
    modo.fOutxDsrFlow = FALSE;
    modo.fDtrControl = DTR_CONTROL_ENABLE;
    modo.fDsrSensitivity = FALSE;
    modo.fOutX = FALSE;
    modo.fInX = FALSE;
    modo.fErrorChar = FALSE;
    modo.fNull = FALSE;
    modo.fRtsControl = RTS_CONTROL_ENABLE;
    modo.fAbortOnError = FALSE;
    // A line already set so (the last program left it at this speed, 8N1) is left as it
    // is: each setting changed is a call into the driver, and there is then nothing to put
    // back at the close.
    if (std::memcmp(&modo, &linha->modoOriginal, sizeof modo) != 0) {
        linha->temModoOriginal = true;
        if (!::SetCommState(linha->arquivo, &modo)) {
            Falha(erro, "SetCommState");
            return std::nullopt;
        }
        DCB lido{};
        lido.DCBlength = sizeof lido;
        if (!::GetCommState(linha->arquivo, &lido) || lido.BaudRate != velocidade ||
            lido.ByteSize != 8 || lido.Parity != NOPARITY || lido.StopBits != ONESTOPBIT) {
            if (erro) *erro = "the line does not take " + std::to_string(velocidade) + " bps 8N1";
            return std::nullopt;
        }
    }
    // A line on its own gets its timeouts from its first deadline (Linha::Prazo), and a
    // change of them is a round trip to Wine's server: not set twice.
    if (comOutras) {
        COMMTIMEOUTS tempos{};
        tempos.ReadTotalTimeoutConstant = kFatiaMs;
        if (!::SetCommTimeouts(linha->arquivo, &tempos)) {
            Falha(erro, "SetCommTimeouts");
            return std::nullopt;
        }
    }
    // What a printer sent before this session belongs to no request of ours.
    ::PurgeComm(linha->arquivo, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
    return PortaSerial(std::move(linha), candidato.caminho);
}

PortaSerial::PortaSerial(std::unique_ptr<Linha> linha, std::string caminho)
    : linha_(std::move(linha)), caminho_(std::move(caminho)) {}

PortaSerial::PortaSerial(PortaSerial&&) noexcept = default;
PortaSerial& PortaSerial::operator=(PortaSerial&&) noexcept = default;
PortaSerial::~PortaSerial() = default;

bool PortaSerial::Escreve(std::span<const uint8_t> bytes, Instante prazo, const Relogio& relogio) {
    Linha& l = *linha_;
    if (!l.sobreposta) {
        while (!bytes.empty()) {
            const DWORD ms = MsAte(prazo, relogio);
            DWORD n = 0;
            if (ms == 0 || !l.Prazo(ms) ||
                !::WriteFile(l.arquivo, bytes.data(), static_cast<DWORD>(bytes.size()), &n,
                             nullptr) ||
                n == 0)
                return false;
            bytes = bytes.subspan(std::min<std::size_t>(n, bytes.size()));
        }
        return true;
    }
    // A write left in flight by the probe must end before the next one starts.
    if (l.escrita.emCurso) {
        if (::WaitForSingleObject(l.escrita.evento, MsAte(prazo, relogio)) != WAIT_OBJECT_0)
            return false;
        DWORD n = 0;
        ::GetOverlappedResult(l.arquivo, &l.escrita.estrutura, &n, FALSE);
        l.escrita.emCurso = false;
    }
    while (!bytes.empty()) {
        if (!l.escrita.Prepara()) return false;
        DWORD n = 0;
        if (!::WriteFile(l.arquivo, bytes.data(), static_cast<DWORD>(bytes.size()), &n,
                         &l.escrita.estrutura)) {
            if (::GetLastError() != ERROR_IO_PENDING) return false;
            if (::WaitForSingleObject(l.escrita.evento, MsAte(prazo, relogio)) != WAIT_OBJECT_0) {
                ::CancelIoEx(l.arquivo, &l.escrita.estrutura);
                ::GetOverlappedResult(l.arquivo, &l.escrita.estrutura, &n, TRUE);
                return false;
            }
            if (!::GetOverlappedResult(l.arquivo, &l.escrita.estrutura, &n, FALSE)) return false;
        }
        // A write that takes nothing would be sent again for ever.
        if (n == 0) return false;
        bytes = bytes.subspan(std::min<std::size_t>(n, bytes.size()));
    }
    return true;
}

bool PortaSerial::EscreveSemEsperar(std::span<const uint8_t>& bytes) {
    Linha& l = *linha_;
    if (l.escrita.emCurso) {
        DWORD n = 0;
        if (!::GetOverlappedResult(l.arquivo, &l.escrita.estrutura, &n, FALSE))
            return ::GetLastError() == ERROR_IO_INCOMPLETE;
        l.escrita.emCurso = false;
    }
    if (bytes.empty()) return true;
    // The driver takes the whole request and sends it in its own time; the copy lives until
    // then.
    if (!l.escrita.Prepara()) return false;
    l.saindo.assign(bytes.begin(), bytes.end());
    DWORD n = 0;
    if (::WriteFile(l.arquivo, l.saindo.data(), static_cast<DWORD>(l.saindo.size()), &n,
                    &l.escrita.estrutura)) {
        if (n == 0) return false;
        bytes = bytes.subspan(std::min<std::size_t>(n, bytes.size()));
        return true;
    }
    if (::GetLastError() != ERROR_IO_PENDING) return false;
    l.escrita.emCurso = true;
    bytes = {};
    return true;
}

PortaSerial::Leitura PortaSerial::Le(std::vector<uint8_t>& destino, Instante prazo,
                                     const Relogio& relogio) {
    Linha& l = *linha_;
    if (!l.sobreposta) {
        for (;;) {
            // What is already there needs no timed read.
            const std::size_t antes = destino.size();
            if (!l.Escoa(destino)) return Leitura::Fechada;
            if (destino.size() > antes) return Leitura::Dados;
            const DWORD ms = MsAte(prazo, relogio);
            if (ms == 0) return Leitura::Prazo;
            DWORD n = 0;
            if (!l.Prazo(ms)) return Leitura::Fechada;
            if (!::ReadFile(l.arquivo, &l.byte, 1, &n, nullptr) &&
                ::GetLastError() != ERROR_TIMEOUT)
                return Leitura::Fechada;
            if (n == 1) {
                l.temByte = true;
                return l.Escoa(destino) ? Leitura::Dados : Leitura::Fechada;
            }
        }
    }
    for (;;) {
        if (!l.Recolhe()) return Leitura::Fechada;
        if (l.temByte) return l.Escoa(destino) ? Leitura::Dados : Leitura::Fechada;
        if (!l.Arma()) return Leitura::Fechada;
        if (l.temByte) continue;
        const DWORD ms = MsAte(prazo, relogio);
        if (ms == 0 && relogio.Agora() >= prazo) return Leitura::Prazo;
        const DWORD espera = l.leitura.emCurso ? ::WaitForSingleObject(l.leitura.evento, ms)
                                               : static_cast<DWORD>(WAIT_OBJECT_0);
        if (espera == WAIT_TIMEOUT) {
            if (relogio.Agora() >= prazo) return Leitura::Prazo;
        } else if (espera != WAIT_OBJECT_0) {
            return Leitura::Fechada;
        }
    }
}

PortaSerial::Leitura PortaSerial::LeDisponivel(std::vector<uint8_t>& destino) {
    Linha& l = *linha_;
    if (!l.Recolhe()) return Leitura::Fechada;
    const std::size_t antes = destino.size();
    if (l.temByte && !l.Escoa(destino)) return Leitura::Fechada;
    return destino.size() > antes ? Leitura::Dados : Leitura::Prazo;
}

bool EsperaAlguma(std::span<Vigia> vigias, Instante prazo, const Relogio& relogio) {
    for (;;) {
        std::vector<HANDLE> eventos;
        std::vector<std::size_t> donos;
        bool alguma = false;
        for (std::size_t i = 0; i < vigias.size(); ++i) {
            Vigia& v = vigias[i];
            v.entrada = v.saida = v.falhou = v.desligou = false;
            PortaSerial::Linha& l = *v.porta->linha_;
            if (!l.Recolhe() || !l.Arma()) {
                v.entrada = v.falhou = true;
                alguma = true;
                continue;
            }
            if (l.temByte) {
                v.entrada = alguma = true;
                continue;
            }
            if (v.escrever && !l.escrita.emCurso) {
                v.saida = alguma = true;
                continue;
            }
            if (l.leitura.emCurso && eventos.size() < MAXIMUM_WAIT_OBJECTS) {
                eventos.push_back(l.leitura.evento);
                donos.push_back(i);
            }
        }
        if (alguma) return true;
        if (eventos.empty()) return false;
        const DWORD ms = MsAte(prazo, relogio);
        const DWORD r =
            ::WaitForMultipleObjects(static_cast<DWORD>(eventos.size()), eventos.data(), FALSE, ms);
        if (r == WAIT_TIMEOUT) {
            if (relogio.Agora() >= prazo) return false;
            continue;
        }
        if (r >= WAIT_OBJECT_0 + eventos.size()) return false;
        // A read ended: with a byte, with nothing at the slice's end (sent again above), or
        // with a failure; the loop above tells which.
    }
}

} // namespace bemafi32
