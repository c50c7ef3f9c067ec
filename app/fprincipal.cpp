#include "fprincipal.h"

#include "acoes.h"

#include <QCloseEvent>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

TFprincipal::TFprincipal(QWidget* parent)
    : QWidget(parent), BtLocalizar(new QPushButton(u"Localizar Impressora 4200 TH FI"_s, this)),
      BtLeituraX(new QPushButton(u"Imprimir Leitura X"_s, this)) {
    setWindowTitle(u"Teste de Comunicação Exclusivo MP 4200 TH FI"_s);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(BtLocalizar);
    layout->addWidget(BtLeituraX);
    BtLeituraX->setEnabled(false);
    connect(BtLocalizar, &QPushButton::clicked, this, &TFprincipal::BtLocalizarClick);
    connect(BtLeituraX, &QPushButton::clicked, this, &TFprincipal::BtLeituraXClick);
}

void TFprincipal::BtLocalizarClick() {
    if (Localizar())
        BtLeituraX->setEnabled(true);
}

void TFprincipal::BtLeituraXClick() { LeituraX(); }

void TFprincipal::closeEvent(QCloseEvent* event) {
    Liberar();
    event->accept();
}
