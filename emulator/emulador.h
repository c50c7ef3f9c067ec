// The emulator's event loop: one poll over the printer line, the control channel (standard
// input) and the ending signals, with answers leaving at their deadlines.
#pragma once

#include "impressora.h"
#include "inscricao.h"
#include "opcoes.h"
#include "saida.h"
#include "terminal.h"

#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <unistd.h>

namespace emulador {

class Emulador {
  public:
    // Opens the line and registers it (unless told not to). Throws on failure.
    explicit Emulador(const Opcoes& opcoes);
    // Prints the line's path, then serves until `sair` or a signal. Returns the exit status.
    int Executa();

  private:
    using Instante = std::chrono::steady_clock::time_point;
    struct Envio {
        Instante prazo;
        Atendimento atendimento;
    };

    void LeLinha();
    void LeControle();
    void ExecutaControle(std::string_view linha);
    void EnviaVencidos();
    void Imprime(const std::string& recibo);
    // One line of the traffic log on standard error, with --trafego.
    void Registra(const std::string& texto);
    // One line on standard error, whatever the options.
    void Avisa(const std::string& texto);
    int EsperaAteProximoEnvio() const;

    Opcoes opcoes_;
    Saida saida_{STDOUT_FILENO};
    Saida erros_{STDERR_FILENO};
    Impressora impressora_;
    Descritor sinais_;
    Terminal terminal_;
    std::optional<Inscricao> inscricao_;
    protocolo::Decodificador decodificador_;
    std::deque<Envio> envios_;
    std::string controle_;          // a command line not yet ended by a newline
    bool descartandoLinha_ = false; // inside a control line too long to be a command
    bool lendoControle_ = true;
    bool sair_ = false;
};

} // namespace emulador
