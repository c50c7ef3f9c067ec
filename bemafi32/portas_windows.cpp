#include "portas_windows.h"

#include "nomes_com.h"

namespace bemafi32 {

std::string DispositivoComWindows(int numero, const Ajustes& ajustes) {
    if (const auto proprio = ajustes.portasCom.find(numero); proprio != ajustes.portasCom.end())
        return proprio->second;
    // The device namespace reaches COM10 and above too, which a bare "COM10" does not.
    return "\\\\.\\COM" + std::to_string(numero);
}

std::vector<Candidato> PortasDoWindows::Todas() {
    std::vector<Candidato> todas;
    const Ajustes padrao;
    for (int numero = 1; numero <= 15; ++numero)
        todas.push_back({DispositivoComWindows(numero, padrao), TipoPorta::Serial});
    return todas;
}

std::optional<Candidato> PortasDoWindows::Nomeada(std::string_view nome, const Ajustes& ajustes,
                                                  std::string& caminho) {
    const auto numero = NumeroCom(nome);
    caminho = numero ? DispositivoComWindows(*numero, ajustes) : std::string(nome);
    if (caminho.empty()) return std::nullopt;
    return Candidato{caminho, TipoPorta::Serial};
}

} // namespace bemafi32
