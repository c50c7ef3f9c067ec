// The seven C functions of the printer library, over one Biblioteca.
#include "bemafi32.h"

#include "biblioteca.h"
#include "portas_linux.h"
#include "vista.h"

#include <dlfcn.h>
#include <mutex>
#include <unistd.h>

namespace {

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

struct Estado {
    std::mutex trava;
    bemafi32::PortasDoLinux portas{bemafi32::SistemaDasFuncoes()};
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

int32_t Bematech_FI_SelecionaIniLocal(void) {
    return Com([](auto& b) {
        b.UsaPasta(PastaDoPrograma());
        return bemafi32::retorno::kSucesso;
    });
}

int32_t Bematech_FI_ReloadINIFile(void) {
    return Com([](auto& b) { return b.Recarrega(); });
}

int32_t Bematech_FI_AbrePortaSerial(void) {
    return Com([](auto& b) { return b.AbrePorta(); });
}

int32_t Bematech_FI_FechaPortaSerial(void) {
    return Com([](auto& b) { return b.FechaPorta(); });
}

int32_t Bematech_FI_VerificaEstadoImpressoraMFD(int32_t* ack, int32_t* st1, int32_t* st2,
                                                int32_t* st3) {
    bemafi32::Status status;
    const int32_t codigo = Com([&](auto& b) { return b.VerificaEstado(status); });
    Preenche(codigo == bemafi32::retorno::kErroExecucao ? bemafi32::Status{} : status, ack, st1,
             st2, st3);
    return codigo;
}

int32_t Bematech_FI_RetornoImpressoraMFD(int32_t* ack, int32_t* st1, int32_t* st2, int32_t* st3) {
    bemafi32::Status status;
    const int32_t codigo = Com([&](auto& b) {
        status = b.UltimoStatus();
        return bemafi32::retorno::kSucesso;
    });
    Preenche(status, ack, st1, st2, st3);
    return codigo;
}

int32_t Bematech_FI_LeituraX(void) {
    return Com([](auto& b) { return b.LeituraX(); });
}
}
