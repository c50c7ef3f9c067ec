// The application object: reports the errors that escape an event handler.
#pragma once

#include <QApplication>

#include <exception>

class TAplicacao : public QApplication {
  public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;
    // How many errors crossed Qt's frames to reach notify: each handler catches its own,
    // so this stays 0 unless one was missed.
    static int Escapados() { return escapados_; }

  private:
    static inline int escapados_ = 0;
};

// The running executable's file name without its folder, cut at its first full stop,
// every character after the first in lower case.
QString TituloAplicacao();
// Shows an error that escaped a handler: the application title as its title, and a
// full stop appended when the message ends in a character above the full stop.
void ReportaErro(const QString& mensagem);
// Runs a handler's body; an error it raises ends the body there and is reported at once,
// so that it never crosses Qt's frames (Qt's libraries are built without unwinding).
template <typename Corpo> void ExecutaHandler(Corpo&& corpo) noexcept {
    try {
        corpo();
    } catch (const std::exception& erro) {
        ReportaErro(QString::fromUtf8(erro.what()));
    } catch (...) {
        ReportaErro(QStringLiteral("Unknown error"));
    }
}
// Applies the named style from the program's resources; when there is none, says so in a
// box and leaves the system's own look.
void AplicaEstiloOuAvisa(QApplication& aplicacao, const QString& nome);
// Makes the window's face, Tahoma, available where the system lacks it (Debian's fonts-wine
// carries a compatible one outside the fonts that the system lists).
void CarregaFontes();
