#include "configuracao.h"

#include "bemafi32.h"
#include "perfil.h"
#include "registro.h"

#include <QCoreApplication>
#include <QDir>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

QString ArquivoIni() { return sPath + u"Bemafi32.ini"_s; }

std::filesystem::path Caminho(const QString& arquivo) {
    return std::filesystem::path(arquivo.toStdU16String());
}

bool QuebraEstrutura(const QString& texto) {
    return texto.contains(u'\r') || texto.contains(u'\n') || texto.contains(QChar(u'\0'));
}

} // namespace

QString LerIni(const QString& secao, const QString& chave) {
    return QString::fromStdString(
        perfil::LerString(Caminho(ArquivoIni()), secao.toStdString(), chave.toStdString()));
}

void GravarIni(const QString& secao, const QString& chave, const QString& valor) {
    const QString arquivo = ArquivoIni();
    // A line break or a NUL in a value would split it into lines of its own in the file.
    if (QuebraEstrutura(secao) || QuebraEstrutura(chave) || QuebraEstrutura(valor) ||
        perfil::GravarString(Caminho(arquivo), secao.toStdString(), chave.toStdString(),
                             valor.toStdString()))
        throw std::runtime_error(u"Unable to write to %1"_s.arg(arquivo).toStdString());
}

QString PastaDoExecutavel() {
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath()) + QDir::separator();
}

void PassoExibicao(const QString& pastaDoPrograma,
                   const std::function<void(const QString&)>& mostraPorta) {
    Bematech_FI_SelecionaIniLocal();
    sPath = pastaDoPrograma;
    GravarIni(u"Sistema"_s, u"Path"_s, sPath);
    mostraPorta(LerIni(u"Sistema"_s, u"Porta"_s));
    Bematech_FI_ReloadINIFile();
}

void MudancaPorta(const QString& porta) {
    GravarIni(u"Sistema"_s, u"Porta"_s, porta);
    Bematech_FI_ReloadINIFile();
}
