#include "nomes_com.h"

#include <cctype>
#include <charconv>

namespace bemafi32 {

std::optional<int> NumeroCom(std::string_view nome) {
    if (nome.size() < 4 || nome.size() > 5) return std::nullopt;
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(nome[i])) != "COM"[i]) return std::nullopt;
    if (nome[3] == '0') return std::nullopt;
    int numero = 0;
    const auto [fim, erro] = std::from_chars(nome.data() + 3, nome.data() + nome.size(), numero);
    if (erro != std::errc{} || fim != nome.data() + nome.size() || numero < 1 || numero > 15)
        return std::nullopt;
    return numero;
}

std::string DispositivoCom(int numero, const Ajustes& ajustes, const std::filesystem::path& dev) {
    if (const auto proprio = ajustes.portasCom.find(numero); proprio != ajustes.portasCom.end())
        return proprio->second;
    if (numero <= 4) return (dev / ("ttyS" + std::to_string(numero - 1))).string();
    if (numero <= 10) return (dev / ("ttyUSB" + std::to_string(numero - 5))).string();
    return (dev / ("ttyACM" + std::to_string(numero - 11))).string();
}

} // namespace bemafi32
