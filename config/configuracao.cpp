#include "configuracao.h"

#include "bemafi32.h"
#include "perfil.h"
#include "registro.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

QString ArquivoIni() { return sPath + u"Bemafi32.ini"_s; }

std::filesystem::path Caminho(const QString& arquivo) {
    return std::filesystem::path(arquivo.toStdU16String());
}

// The layer takes wide text on Windows, where the file is in the ANSI code page, and UTF-8
// elsewhere.
#ifdef _WIN32
auto Texto(const QString& s) { return s.toStdWString(); }
QString DoTexto(const std::wstring& s) { return QString::fromStdWString(s); }
#else
auto Texto(const QString& s) { return s.toStdString(); }
QString DoTexto(const std::string& s) { return QString::fromStdString(s); }
#endif

} // namespace

QString LerIni(const QString& secao, const QString& chave) {
    return DoTexto(perfil::LerString(Caminho(ArquivoIni()), Texto(secao), Texto(chave)));
}

void GravarIni(const QString& secao, const QString& chave, const QString& valor) {
    const QString arquivo = ArquivoIni();
    // The layer refuses a line break or a NUL too: they would split the value into lines.
    const std::error_code erro =
        perfil::GravarString(Caminho(arquivo), Texto(secao), Texto(chave), Texto(valor));
    if (!erro) return;
    const QString mensagem = u"Unable to write to %1"_s.arg(arquivo);
    // The box says what failed, exactly; why it failed is for whoever reads the console.
    std::fprintf(stderr, "%s: %s\n", qPrintable(mensagem), erro.message().c_str());
    throw std::runtime_error(mensagem.toStdString());
}

QString PastaDoExecutavel() {
    QString pasta = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    // A program at the root of a drive ("C:\") already has its separator.
    if (!pasta.endsWith(QDir::separator())) pasta += QDir::separator();
    return pasta;
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
