// The three boxes, drawn with Qt's standard message box.
#include "caixas.h"

#include "aplicacao.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>

namespace {

// The messages break lines with a lone carriage return, which a Qt label does not show
// as a new line.
QString ParaExibir(QString texto) { return texto.replace(u'\r', u'\n'); }

void Mostra(QMessageBox::Icon icone, const QString& texto, const QString& titulo) {
    QMessageBox caixa(icone, titulo, ParaExibir(texto), QMessageBox::Ok,
                      QApplication::activeWindow());
    caixa.setTextFormat(Qt::PlainText);
    caixa.exec();
}

} // namespace

void CaixaInformacao(const QString& texto, const QString& titulo) {
    Mostra(QMessageBox::Information, texto, titulo);
}

void CaixaErro(const QString& texto, const QString& titulo) {
    Mostra(QMessageBox::Critical, texto, titulo);
}

void MensagemSimples(const QString& texto) {
    QMessageBox caixa(QMessageBox::NoIcon, TituloAplicacao(), ParaExibir(texto), QMessageBox::Ok,
                      QApplication::activeWindow());
    caixa.setTextFormat(Qt::PlainText);
    caixa.setEscapeButton(QMessageBox::Ok);
    caixa.setDefaultButton(QMessageBox::Ok);
    // Centred on the screen rather than on its owner.
    caixa.adjustSize();
    if (const QScreen* tela = QGuiApplication::primaryScreen())
        caixa.move(tela->availableGeometry().center() - caixa.rect().center());
    caixa.exec();
}
