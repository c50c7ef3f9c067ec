#include "aplicacao.h"
#include "fprincipal.h"

int main(int argc, char* argv[]) {
#ifdef Q_OS_WIN
    // Like its manifest, the program declares no awareness of screen scaling; Qt would
    // otherwise declare it on its own at start.
    qputenv("QT_QPA_PLATFORM", "windows:dpiawareness=0");
#endif
    TAplicacao aplicacao(argc, argv);
    CarregaFontes();
    AplicaEstiloOuAvisa(aplicacao, QStringLiteral("Emerald Light Slate"));
    TFprincipal Fprincipal;
    Fprincipal.show();
    return aplicacao.exec();
}
