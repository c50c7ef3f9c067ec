#pragma once

#include <QWidget>

class QPushButton;

class TFprincipal : public QWidget {
    Q_OBJECT
public:
    explicit TFprincipal(QWidget* parent = nullptr);

private:
    void BtLocalizarClick();
    void BtLeituraXClick();
    void closeEvent(QCloseEvent* event) override;

    QPushButton* BtLocalizar;
    QPushButton* BtLeituraX;
};
