// Which devices the library may open, behind one small interface: each system finds its
// ports in its own way (portas_linux.h on Linux).
//
// The library writes printer commands to whatever it opens, so it opens only a real serial
// port or the line of an emulator that its own user registered.
#pragma once

#include "ajustes.h"

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace bemafi32 {

enum class TipoPorta { Serial, Emulador };

struct Candidato {
    std::string caminho;
    TipoPorta tipo = TipoPorta::Serial;
    dev_t dispositivo = 0; // what the path led to when vetted; checked again once open
};

class Portas {
  public:
    virtual ~Portas() = default;
    // The candidates of "Default", in the order they are tried.
    virtual std::vector<Candidato> Todas() = 0;
    // The port that `nome` (a COM name or a device path) leads to, when the library may open
    // it. `caminho` receives the path it led to, for the traffic log.
    virtual std::optional<Candidato> Nomeada(std::string_view nome, const Ajustes& ajustes,
                                             std::string& caminho) = 0;
};

} // namespace bemafi32
