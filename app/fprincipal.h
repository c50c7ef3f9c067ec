// The program's only window.
#pragma once

#include <QString>
#include <QWidget>

namespace Ui {
class TFprincipal;
}

class TFprincipal : public QWidget {
    Q_OBJECT
  public:
    // `pastaDoPrograma` is the folder that holds Bemafi32.ini, with its trailing separator.
    explicit TFprincipal(const QString& pastaDoPrograma = QString(), QWidget* parent = nullptr);
    ~TFprincipal() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* objeto, QEvent* evento) override;

  private:
    void FormShow();
    void FormClose();
    void BtLocalizarClick();
    void BtLeituraXClick();
    void CbPortaChange();

    // The port box's completion of one typed character, raising a change by its rule.
    void CompletaPorta(const QString& digitado);
    void ApagaAntesDoCursor();
    void MostraPorta(const QString& porta);

    Ui::TFprincipal* ui;
    QString pastaDoPrograma_;
};
