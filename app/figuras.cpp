#include "figuras.h"

QIcon FiguraDoBotao(const QString& recurso) { return QIcon(recurso); }
