#include "portas_linux.h"

#include "inscricao/inscricao.h"
#include "nomes_com.h"

namespace bemafi32 {

std::vector<Candidato> PortasDoLinux::Inscritos() {
    return leitor_.Le(inscricoes_ ? *inscricoes_ : inscricao::Pasta());
}

std::vector<Candidato> PortasDoLinux::Todas() {
    auto candidatos = PortasSeriais(sistema_);
    const auto inscritos = Inscritos();
    candidatos.insert(candidatos.end(), inscritos.begin(), inscritos.end());
    return candidatos;
}

std::optional<Candidato> PortasDoLinux::Nomeada(std::string_view nome, const Ajustes& ajustes,
                                                std::string& caminho) {
    const auto numero = NumeroCom(nome);
    caminho = numero ? DispositivoCom(*numero, ajustes, sistema_.dev) : std::string(nome);
    if (auto emulador = EmuladorEm(caminho, Inscritos())) return emulador;
    return PortaSerialEm(caminho, sistema_);
}

} // namespace bemafi32
