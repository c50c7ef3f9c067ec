// The ports of a Windows system: COM1 to COM15, each opened as \\.\COMn, or the device the
// library's own key COMn names. Whether a name is a serial port is told by the port itself
// when opened (PortaSerial::Abre refuses anything without a serial state).
#pragma once

#include "portas.h"

namespace bemafi32 {

class PortasDoWindows final : public Portas {
  public:
    std::vector<Candidato> Todas() override;
    std::optional<Candidato> Nomeada(std::string_view nome, const Ajustes& ajustes,
                                     std::string& caminho) override;
};

// The device of COMn: the library's own key COMn when the file sets it, else \\.\COMn.
std::string DispositivoComWindows(int numero, const Ajustes& ajustes);

} // namespace bemafi32
