// The printer actions behind the window's handlers.
#pragma once

// Opens the port, queries the printer twice and analyses the outcome. Returns true
// when the locate got past the first status query: the X-reading button is then enabled.
bool Localizar();
// Asks the printer for an X reading and analyses the outcome.
void LeituraX();
// Lets the library release the port; harmless when none was opened.
void Liberar();
