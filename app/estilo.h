// The visual style "Emerald Light Slate", carried in the program's resources.
#pragma once

#include <QString>

class QApplication;

// Applies the style whose name matches `nome` without regard to letter case. Returns
// false, changing nothing, when the resources hold no style of that name.
bool AplicaEstilo(QApplication& aplicacao, const QString& nome);
