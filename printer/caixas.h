// The three modal boxes through which the printer code reaches the operator.
// The program defines them with Qt widgets; the tests define them again to record
// every box. A carriage return in a text starts a new line.
#pragma once

#include <QString>

// Information icon, one OK button.
void CaixaInformacao(const QString& texto, const QString& titulo);
// Error (stop) icon, one OK button.
void CaixaErro(const QString& texto, const QString& titulo);
// No icon, the application title, centred on the screen; Enter and Escape close it.
void MensagemSimples(const QString& texto);
