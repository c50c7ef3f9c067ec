#include "diario.h"

namespace duplo {
namespace {
QStringList& DiarioMutavel() {
    static QStringList diario;
    return diario;
}
} // namespace

const QStringList& Diario() { return DiarioMutavel(); }
void Anota(const QString& linha) { DiarioMutavel().append(linha); }
void LimpaDiario() { DiarioMutavel().clear(); }
} // namespace duplo
