// A registration file's text and name, as another program (or a stale file) may leave
// them: reading must never crash, and whatever reads as a registration names an absolute
// path without control characters and comes back unchanged from its own writing.
#include "inscricao/inscricao.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void Confere(bool condicao) {
    if (!condicao) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, std::size_t tamanho) {
    const std::string_view texto(reinterpret_cast<const char*>(dados), tamanho);
    if (const auto lido = inscricao::Le(texto)) {
        Confere(!lido->pty.empty() && lido->pty.front() == '/');
        for (const char c : lido->pty)
            Confere(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
        const auto de_novo = inscricao::Le(inscricao::Escreve(*lido));
        Confere(de_novo && de_novo->pty == lido->pty && de_novo->inicio == lido->inicio);
    }
    if (const auto pid = inscricao::PidDoNome(texto)) {
        Confere(*pid > 0);
        Confere(inscricao::Nome(*pid) == texto);
    }
    return 0;
}
