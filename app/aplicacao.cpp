#include "aplicacao.h"

#include "caixas.h"
#include "estilo.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QMessageBox>
#include <exception>

using namespace Qt::StringLiterals;

QString TituloAplicacao() {
    QString nome = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    nome.truncate(nome.indexOf(u'.') < 0 ? nome.size() : nome.indexOf(u'.'));
    return nome.left(1) + nome.mid(1).toLower();
}

void ReportaErro(const QString& mensagem) {
    QString texto = mensagem;
    if (!texto.isEmpty() && texto.back().unicode() > u'.') texto += u'.';
    CaixaErro(texto, TituloAplicacao());
}

bool TAplicacao::notify(QObject* receiver, QEvent* event) {
    // The last resort: the handlers catch their own errors, and one that gets here has
    // already crossed Qt's frames. It is still reported, and the program goes on.
    bool tratado = false;
    ExecutaHandler([&] {
        try {
            tratado = QApplication::notify(receiver, event);
        } catch (...) {
            ++escapados_;
            throw;
        }
    });
    return tratado;
}

void AplicaEstiloOuAvisa(QApplication& aplicacao, const QString& nome) {
    if (AplicaEstilo(aplicacao, nome)) return;
    QMessageBox caixa(QMessageBox::Critical, u"Error"_s, u"Style '%1' not found"_s.arg(nome),
                      QMessageBox::NoButton);
    caixa.setTextFormat(Qt::PlainText);
    caixa.addButton(u"&Close"_s, QMessageBox::RejectRole);
    caixa.exec();
    AplicaEstiloDoSistema(aplicacao);
}

void CarregaFontes() {
    if (QFontInfo(QFont(u"Tahoma"_s)).family() == u"Tahoma"_s) return;
#ifdef Q_OS_WIN
    // Windows has its own Tahoma; under Wine it is Debian's fonts-wine one, which Wine
    // does not list to programs, on the drive that is the Linux root. Both faces: Windows
    // does not embolden a face added this way.
    QFontDatabase::addApplicationFont(u"Z:/usr/share/wine/fonts/tahoma.ttf"_s);
    QFontDatabase::addApplicationFont(u"Z:/usr/share/wine/fonts/tahomabd.ttf"_s);
#else
    // Only the regular face: the package's bold one draws no heavier at 8 points, while
    // Qt's own emboldening of the regular one does.
    QFontDatabase::addApplicationFont(u"/usr/share/wine/fonts/tahoma.ttf"_s);
#endif
}
