#include "estilo.h"

#include <QApplication>

bool AplicaEstilo(QApplication&, const QString& nome) {
    return nome.compare(QStringLiteral("Emerald Light Slate"), Qt::CaseInsensitive) == 0;
}
