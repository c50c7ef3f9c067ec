// A scripted double of the printer library, and a journal of everything the program does
// through it and through the three boxes, in order.
#pragma once

#include "registro.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

namespace duplo {

// One queued answer of a library function: its result and, for the two status
// functions, the four values it writes.
struct Resposta {
    int32_t retorno = 1;
    TStatusECF status{6, 0, 0, 0};
};

// Queues the next answer of the function named as the library names it
// ("Bematech_FI_LeituraX"...). With nothing queued a function answers 1, and the
// status functions write 6, 0, 0, 0.
void Enfileira(const QString& funcao, Resposta resposta);
// Every library call and every box since the last Reinicia, in order. A call is its
// function's name; a box is "<kind>|<title>|<text>" with kind informacao, erro or mensagem.
const QStringList& Diario();
void Anota(const QString& linha);
// Called with the function's name after each library call is journalled (tests use it to
// look at the configuration file at the moment the library is told to reload it).
void AoChamar(std::function<void(const QString&)> observador);
// Empties the queues and the journal, and clears the shared record.
void Reinicia();

} // namespace duplo
