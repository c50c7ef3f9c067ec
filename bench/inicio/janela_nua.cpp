// The baseline: a bare Qt window with the main window's five controls, at their places
// and in their fonts, but with no style of ours, no pictures and no configuration step.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

int main(int argc, char* argv[]) {
    QApplication aplicacao(argc, argv);
    QWidget janela;
    janela.setWindowTitle(QStringLiteral("Janela nua"));
    janela.resize(346, 353);
    QFont fonte(QStringLiteral("Tahoma"));
    fonte.setPointSize(8);
    janela.setFont(fonte);
    QFont negrito = fonte;
    negrito.setBold(true);

    auto* imagem = new QLabel(&janela);
    imagem->setGeometry(8, 8, 330, 136);
    auto* rotulo = new QLabel(
        QStringLiteral("Selecione a Porta ou Deixe \"Default\" para automático"), &janela);
    rotulo->setGeometry(8, 153, 255, 13);
    auto* porta = new QComboBox(&janela);
    porta->setGeometry(264, 150, 74, 21);
    porta->setFont(negrito);
    porta->setEditable(true);
    porta->setMaxVisibleItems(8);
    porta->addItem(QStringLiteral("Default"));
    for (int i = 1; i <= 15; ++i)
        porta->addItem(QStringLiteral("COM%1").arg(i));
    for (auto [texto, topo] : {std::pair{"Localizar Impressora 4200 TH FI", 177},
                               std::pair{"Imprimir Leitura X", 263}}) {
        auto* botao = new QPushButton(QString::fromUtf8(texto), &janela);
        botao->setGeometry(8, topo, 330, 80);
        botao->setFont(negrito);
        botao->setIconSize(QSize(50, 50));
        botao->setEnabled(topo == 177);
    }
    janela.show();
    return aplicacao.exec();
}
