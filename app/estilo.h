// The visual style "Emerald Light Slate", carried in the program's resources, and the
// drawing of push buttons with their picture above the caption.
#pragma once

#include <QString>

class QApplication;

// Applies the style whose name matches `nome` without regard to letter case. Returns
// false, changing nothing, when the resources hold no style of that name. The style also
// draws the buttons' pictures above their captions.
bool AplicaEstilo(QApplication& aplicacao, const QString& nome);

// Keeps the system's own look but draws the buttons' pictures above their captions: for
// when AplicaEstilo found no style. Does nothing when one of our styles is in place.
void AplicaEstiloDoSistema(QApplication& aplicacao);
