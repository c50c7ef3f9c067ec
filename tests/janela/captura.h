// Captures the modal boxes that the code under test opens, records what they show and
// closes them, so that GUI tests can run the real boxes without a person.
#pragma once

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <functional>

struct TCaixaVista {
    QMessageBox::Icon icone = QMessageBox::NoIcon;
    QString titulo;
    QString texto;
    QStringList botoes;
    bool modal = false;
    QRect geometria;
    // What the test's probe said while the box was open.
    bool sonda = false;
    // False when the closing key was sent and the box stayed open.
    bool fechouComTecla = true;
    // As a screen reader sees the box: its role, name and value.
    QAccessible::Role papel = QAccessible::NoRole;
    QString nomeAcessivel;
    QString valorAcessivel;
};

class TCaptura : public QObject {
  public:
    explicit TCaptura(std::function<bool()> sonda = {}) : sonda_(std::move(sonda)) {
        relogio_.setInterval(5);
        connect(&relogio_, &QTimer::timeout, this, &TCaptura::Examina);
        relogio_.start();
    }
    const QList<TCaixaVista>& Vistas() const { return vistas_; }
    // Closes each box with this key instead of its first button.
    void FechaCom(Qt::Key tecla) { tecla_ = tecla; }

  private:
    void Examina() {
        if (aberta_) {
            // The key was sent on the previous tick and the box is still there.
            if (aberta_->isVisible()) {
                vistas_.last().fechouComTecla = false;
                aberta_->buttons().first()->click();
            }
            aberta_ = nullptr;
            return;
        }
        auto* caixa = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!caixa || !caixa->isVisible() || caixa->property("capturada").toBool()) return;
        caixa->setProperty("capturada", true);
        TCaixaVista vista;
        vista.icone = caixa->icon();
        vista.titulo = caixa->windowTitle();
        vista.texto = caixa->text();
        vista.modal = caixa->isModal();
        vista.geometria = caixa->frameGeometry();
        vista.sonda = sonda_ && sonda_();
        for (QAbstractButton* botao : caixa->buttons())
            vista.botoes << botao->text();
        if (QAccessibleInterface* acessivel = QAccessible::queryAccessibleInterface(caixa)) {
            vista.papel = acessivel->role();
            vista.nomeAcessivel = acessivel->text(QAccessible::Name);
            vista.valorAcessivel = acessivel->text(QAccessible::Value);
        }
        vistas_ << vista;
        if (tecla_ == Qt::Key_unknown) {
            caixa->buttons().first()->click();
            return;
        }
        QKeyEvent pressiona(QEvent::KeyPress, tecla_, Qt::NoModifier);
        QApplication::sendEvent(caixa, &pressiona);
        aberta_ = caixa;
    }

    std::function<bool()> sonda_;
    QTimer relogio_;
    QList<TCaixaVista> vistas_;
    QPointer<QMessageBox> aberta_;
    Qt::Key tecla_ = Qt::Key_unknown;
};
