// Bemafi32.ini in the program's folder: the two values the program keeps there and
// the two steps that keep them.
#pragma once

#include <QString>
#include <functional>

// The value of `chave` in `secao` of sPath + "Bemafi32.ini", or the empty text. Never fails.
QString LerIni(const QString& secao, const QString& chave);
// Stores `valor` under `chave` in `secao`; throws std::runtime_error
// "Unable to write to <file>" when the file cannot be written.
void GravarIni(const QString& secao, const QString& chave, const QString& valor);

// Run when the main window is about to be shown: points the library at the local file,
// records `pastaDoPrograma` (with its trailing separator) as sPath and as "Path", hands
// the saved port to `mostraPorta` and makes the library reload its configuration.
void PassoExibicao(const QString& pastaDoPrograma,
                   const std::function<void(const QString&)>& mostraPorta);
// Run on each change of the port box: writes the port and makes the library reload it.
void MudancaPorta(const QString& porta);

// The folder of the running executable, with its trailing separator.
QString PastaDoExecutavel();
