// The seven C functions of the printer library, over one Biblioteca.
#include "bemafi32.h"

#include "biblioteca.h"

#include <mutex>

#ifdef _WIN32
#include "portas_windows.h"

#include <windows.h>
#else
#include "portas_linux.h"
#include "vista.h"

#include <dlfcn.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
std::filesystem::path CaminhoDoModulo(HMODULE modulo) {
    std::wstring caminho(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            ::GetModuleFileNameW(modulo, caminho.data(), static_cast<DWORD>(caminho.size()));
        if (n == 0) return std::filesystem::current_path() / "bemafi32.dll";
        if (n < caminho.size()) {
            caminho.resize(n);
            return caminho;
        }
        caminho.resize(caminho.size() * 2);
    }
}

// Before the program points it at its own folder, the library reads Bemafi32.ini beside
// itself.
std::filesystem::path PastaDaBiblioteca() {
    HMODULE modulo = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                             GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&PastaDaBiblioteca), &modulo);
    return CaminhoDoModulo(modulo).parent_path();
}

std::filesystem::path PastaDoPrograma() { return CaminhoDoModulo(nullptr).parent_path(); }

using PortasDoSistema = bemafi32::PortasDoWindows;
PortasDoSistema NovasPortas() { return {}; }
#else
// Before the program points it at its own folder, the library reads Bemafi32.ini beside
// itself.
std::filesystem::path PastaDaBiblioteca() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&Bematech_FI_AbrePortaSerial), &info) && info.dli_fname)
        return std::filesystem::absolute(info.dli_fname).parent_path();
    return std::filesystem::current_path();
}

std::filesystem::path PastaDoPrograma() {
    std::error_code erro;
    const auto programa = std::filesystem::read_symlink("/proc/self/exe", erro);
    return erro ? PastaDaBiblioteca() : programa.parent_path();
}

using PortasDoSistema = bemafi32::PortasDoLinux;
PortasDoSistema NovasPortas() { return PortasDoSistema{bemafi32::SistemaDasFuncoes()}; }
#endif

struct Estado {
    std::mutex trava;
    PortasDoSistema portas = NovasPortas();
    bemafi32::Biblioteca biblioteca{PastaDaBiblioteca() / "Bemafi32.ini", portas};
};

Estado& Unico() {
    static Estado estado;
    return estado;
}

// No exception crosses into the caller's C code: a failure inside (memory, the file
// system, a lock) gives -1, and the last status starts afresh at 0, 0, 0, 0.
template <typename F> int32_t Com(F&& f) noexcept {
    try {
        auto& estado = Unico();
        std::lock_guard trava(estado.trava);
        try {
            return f(estado.biblioteca);
        } catch (...) {
            estado.biblioteca.EsqueceStatus();
        }
    } catch (...) {
    }
    return bemafi32::retorno::kErroExecucao;
}

void Preenche(const bemafi32::Status& s, int32_t* ack, int32_t* st1, int32_t* st2, int32_t* st3) {
    if (ack) *ack = s.ack;
    if (st1) *st1 = s.st1;
    if (st2) *st2 = s.st2;
    if (st3) *st3 = s.st3;
}

} // namespace

extern "C" {

int32_t BEMAFI32_CALL Bematech_FI_SelecionaIniLocal(void) {
    return Com([](auto& b) {
        b.UsaPasta(PastaDoPrograma());
        return bemafi32::retorno::kSucesso;
    });
}

int32_t BEMAFI32_CALL Bematech_FI_ReloadINIFile(void) {
    return Com([](auto& b) { return b.Recarrega(); });
}

int32_t BEMAFI32_CALL Bematech_FI_AbrePortaSerial(void) {
    return Com([](auto& b) { return b.AbrePorta(); });
}

int32_t BEMAFI32_CALL Bematech_FI_FechaPortaSerial(void) {
    return Com([](auto& b) { return b.FechaPorta(); });
}

int32_t BEMAFI32_CALL Bematech_FI_VerificaEstadoImpressoraMFD(int32_t* ack, int32_t* st1,
                                                              int32_t* st2, int32_t* st3) {
    bemafi32::Status status;
    const int32_t codigo = Com([&](auto& b) { return b.VerificaEstado(status); });
    Preenche(codigo == bemafi32::retorno::kErroExecucao ? bemafi32::Status{} : status, ack, st1,
             st2, st3);
    return codigo;
}

int32_t BEMAFI32_CALL Bematech_FI_RetornoImpressoraMFD(int32_t* ack, int32_t* st1, int32_t* st2,
                                                       int32_t* st3) {
    bemafi32::Status status;
    const int32_t codigo = Com([&](auto& b) {
        status = b.UltimoStatus();
        return bemafi32::retorno::kSucesso;
    });
    Preenche(status, ack, st1, st2, st3);
    return codigo;
}

int32_t BEMAFI32_CALL Bematech_FI_LeituraX(void) {
    return Com([](auto& b) { return b.LeituraX(); });
}
}
