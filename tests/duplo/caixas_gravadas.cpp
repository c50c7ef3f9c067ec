// The three boxes, recorded in the double's journal instead of shown.
#include "caixas.h"
#include "duplo.h"

void CaixaInformacao(const QString& texto, const QString& titulo) {
    duplo::Anota(QStringLiteral("informacao|") + titulo + u'|' + texto);
}
void CaixaErro(const QString& texto, const QString& titulo) {
    duplo::Anota(QStringLiteral("erro|") + titulo + u'|' + texto);
}
void MensagemSimples(const QString& texto) { duplo::Anota(QStringLiteral("mensagem||") + texto); }
