// The ports of a Linux system: its real serial ports (portas_seriais.h) and the emulators
// registered by the user (emuladores.h), COM names mapped by nomes_com.h.
#pragma once

#include "emuladores.h"
#include "portas.h"
#include "portas_seriais.h"

#include <filesystem>
#include <optional>

namespace bemafi32 {

class PortasDoLinux final : public Portas {
  public:
    // `inscricoes`: the registration folder; by default the one inscricao::Pasta() names
    // at each look.
    explicit PortasDoLinux(Sistema sistema = {},
                           std::optional<std::filesystem::path> inscricoes = std::nullopt)
        : sistema_(std::move(sistema)), inscricoes_(std::move(inscricoes)) {}

    std::vector<Candidato> Todas() override;
    std::optional<Candidato> Nomeada(std::string_view nome, const Ajustes& ajustes,
                                     std::string& caminho) override;

  private:
    std::vector<Candidato> Inscritos();

    Sistema sistema_;
    std::optional<std::filesystem::path> inscricoes_;
    LeitorDeInscricoes leitor_;
};

} // namespace bemafi32
