#include "aplicacao.h"
#include "fprincipal.h"

int main(int argc, char* argv[]) {
    TAplicacao aplicacao(argc, argv);
    CarregaFontes();
    AplicaEstiloOuAvisa(aplicacao, QStringLiteral("Emerald Light Slate"));
    TFprincipal Fprincipal;
    Fprincipal.show();
    return aplicacao.exec();
}
