// The style lookup, the button pictures' transparency and silhouette, and the layout of a
// button's picture above its caption.
#include "estilo.h"
#include "figuras.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QColor CorDoCodigo(QChar c) {
    switch (c.unicode()) {
    case 'w':
        return QColor(0xff, 0xff, 0xff);
    case 'k':
        return QColor(0x10, 0x20, 0x30);
    case 'm':
        return QColor(0xff, 0x00, 0xff);
    case 'q':
        return QColor(0xfe, 0xfe, 0xfe);
    case 's':
        return QColor(0x12, 0x34, 0x56);
    case 'l':
        return QColor(0xfe, 0xdc, 0xba);
    }
    return {};
}

// A picture given as rows of colour letters.
QImage Imagem(const QStringList& linhas) {
    QImage imagem(int(linhas.first().size()), int(linhas.size()), QImage::Format_RGB32);
    for (int y = 0; y < imagem.height(); ++y)
        for (int x = 0; x < imagem.width(); ++x)
            imagem.setPixelColor(x, y, CorDoCodigo(linhas[y][x]));
    return imagem;
}

// The same picture in letters, '.' for a fully transparent pixel and '?' for a pixel
// neither transparent nor fully opaque in one of the known colours.
QStringList Letras(const QImage& imagem) {
    const QImage argb = imagem.convertToFormat(QImage::Format_ARGB32);
    QStringList linhas;
    for (int y = 0; y < argb.height(); ++y) {
        QString linha;
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb p = argb.pixel(x, y);
            QChar letra = u'?';
            if (qAlpha(p) == 0)
                letra = u'.';
            else if (qAlpha(p) == 255)
                for (QChar c : u"wkmqsl"_s)
                    if (CorDoCodigo(c).rgb() == p) letra = c;
            linha += letra;
        }
        linhas << linha;
    }
    return linhas;
}

void RepoeEstilo() {
    QApplication::setStyle(QStyleFactory::create(u"Windows"_s));
    QApplication::setPalette(QApplication::style()->standardPalette());
}

// Bounding box of the pixels for which `e` holds.
template <typename F> QRect Caixa(const QImage& imagem, F e) {
    QRect caixa;
    for (int y = 0; y < imagem.height(); ++y)
        for (int x = 0; x < imagem.width(); ++x)
            if (e(imagem.pixel(x, y))) caixa |= QRect(x, y, 1, 1);
    return caixa;
}

} // namespace

class TesteEstilo : public QObject {
    Q_OBJECT

  private slots:
    void init() { RepoeEstilo(); }

    void shouldFindTheStyleByNameWithoutRegardToCase_data() {
        QTest::addColumn<QString>("nome");
        QTest::addColumn<bool>("encontrado");
        QTest::newRow("the name as written") << u"Emerald Light Slate"_s << true;
        QTest::newRow("lower case") << u"emerald light slate"_s << true;
        QTest::newRow("upper case") << u"EMERALD LIGHT SLATE"_s << true;
        QTest::newRow("mixed case") << u"eMERALD lIGHT sLATE"_s << true;
        QTest::newRow("another name") << u"Emerald Dark Slate"_s << false;
        QTest::newRow("part of the name") << u"Emerald Light"_s << false;
        QTest::newRow("trailing space") << u"Emerald Light Slate "_s << false;
        QTest::newRow("with the file's extension") << u"Emerald Light Slate.estilo"_s << false;
        QTest::newRow("a style Qt has but we do not") << u"Fusion"_s << false;
        QTest::newRow("empty") << QString() << false;
    }
    void shouldFindTheStyleByNameWithoutRegardToCase() {
        QFETCH(QString, nome);
        QFETCH(bool, encontrado);
        auto& aplicacao = *qApp;
        const QStyle* antes = QApplication::style();
        const QColor destaqueAntes = QApplication::palette().color(QPalette::Highlight);

        QCOMPARE(AplicaEstilo(aplicacao, nome), encontrado);
        if (encontrado) {
            QVERIFY(QApplication::style() != antes);
            QCOMPARE(QApplication::palette().color(QPalette::Highlight), QColor(u"#059669"_s));
            QCOMPARE(QApplication::palette().color(QPalette::Window), QColor(u"#eef2f6"_s));
            QCOMPARE(QApplication::palette().color(QPalette::Disabled, QPalette::Text),
                     QColor(u"#94a3b8"_s));
        } else {
            QCOMPARE(QApplication::style(), antes);
            QCOMPARE(QApplication::palette().color(QPalette::Highlight), destaqueAntes);
        }
    }

    void shouldKeepOurStyleWhenAskedForTheSystemLook() {
        QVERIFY(AplicaEstilo(*qApp, u"Emerald Light Slate"_s));
        const QStyle* nosso = QApplication::style();
        AplicaEstiloDoSistema(*qApp);
        QCOMPARE(QApplication::style(), nosso);
    }

    void shouldMaskByTheLowerLeftPixelAndEmbossWhenDisabled_data() {
        QTest::addColumn<QStringList>("figura");
        QTest::addColumn<QStringList>("normal");
        QTest::addColumn<QStringList>("desabilitada");
        QTest::newRow("one pixel on white") << QStringList{u"www"_s, u"wkw"_s, u"www"_s}
                                            << QStringList{u"..."_s, u".k."_s, u"..."_s}
                                            << QStringList{u"..."_s, u".s."_s, u"..l"_s};
        QTest::newRow("a nearly white pixel stays, unblended")
            << QStringList{u"qw"_s, u"ww"_s} << QStringList{u"q."_s, u".."_s}
            << QStringList{u"s."_s, u".l"_s};
        QTest::newRow("the key is the lower-left colour, white is drawn")
            << QStringList{u"wm"_s, u"mw"_s} << QStringList{u"w."_s, u".w"_s}
            << QStringList{u"s."_s, u".s"_s};
        QTest::newRow("shadow covers the highlight where they meet")
            << QStringList{u"kkw"_s, u"www"_s, u"www"_s}
            << QStringList{u"kk."_s, u"..."_s, u"..."_s}
            << QStringList{u"ss."_s, u".ll"_s, u"..."_s};
        QTest::newRow("the highlight is cut at the right and bottom edges")
            << QStringList{u"wwk"_s, u"wwk"_s, u"wkk"_s}
            << QStringList{u"..k"_s, u"..k"_s, u".kk"_s}
            << QStringList{u"..s"_s, u"..s"_s, u".ss"_s};
    }
    void shouldMaskByTheLowerLeftPixelAndEmbossWhenDisabled() {
        QFETCH(QStringList, figura);
        QFETCH(QStringList, normal);
        QFETCH(QStringList, desabilitada);
        QPalette paleta = QApplication::palette();
        paleta.setColor(QPalette::Dark, CorDoCodigo(u's'));
        paleta.setColor(QPalette::Light, CorDoCodigo(u'l'));
        QApplication::setPalette(paleta);
        QTemporaryDir pasta;
        const QString caminho = pasta.filePath(u"figura.png"_s);
        QVERIFY(Imagem(figura).save(caminho));

        const QIcon icone = FiguraDoBotao(caminho);
        const QSize tamanho = Imagem(figura).size();
        QCOMPARE(Letras(icone.pixmap(tamanho, QIcon::Normal).toImage()), normal);
        QCOMPARE(Letras(icone.pixmap(tamanho, QIcon::Disabled).toImage()), desabilitada);
    }

    void shouldCarryThePicturesAtTheirSizes_data() {
        QTest::addColumn<QString>("recurso");
        QTest::addColumn<QSize>("tamanho");
        QTest::newRow("logo") << u":/figuras/logo.png"_s << QSize(330, 136);
        QTest::newRow("magnifying glass") << u":/figuras/localizar.png"_s << QSize(50, 50);
        QTest::newRow("document with an X") << u":/figuras/leiturax.png"_s << QSize(50, 50);
    }
    void shouldCarryThePicturesAtTheirSizes() {
        QFETCH(QString, recurso);
        QFETCH(QSize, tamanho);
        const QImage imagem = Figura(recurso).toImage();
        QCOMPARE(imagem.size(), tamanho);
        if (tamanho == QSize(50, 50)) {
            // White around the drawing: the corner is the key, and the drawing is neither
            // empty nor the whole picture.
            QCOMPARE(imagem.pixelColor(0, 49), QColor(Qt::white));
            const QImage normal = FiguraDoBotao(recurso).pixmap(tamanho).toImage();
            const QRect desenho = Caixa(normal, [](QRgb p) { return qAlpha(p) == 255; });
            QVERIFY(desenho.width() > 30 && desenho.height() > 30);
            QVERIFY(desenho != normal.rect());
        }
    }

    void shouldDrawThePictureAboveTheCaption_data() {
        QTest::addColumn<bool>("nosso");
        QTest::addColumn<bool>("habilitado");
        QTest::addColumn<int>("altura");
        QTest::addColumn<bool>("acima");
        QTest::newRow("our style, enabled") << true << true << 80 << true;
        QTest::newRow("our style, disabled") << true << false << 80 << true;
        QTest::newRow("system style, enabled") << false << true << 80 << true;
        QTest::newRow("system style, disabled") << false << false << 80 << true;
        QTest::newRow("too low for the picture above") << true << true << 20 << false;
    }
    void shouldDrawThePictureAboveTheCaption() {
        QFETCH(bool, nosso);
        QFETCH(bool, habilitado);
        QFETCH(int, altura);
        QFETCH(bool, acima);
        if (nosso)
            QVERIFY(AplicaEstilo(*qApp, u"Emerald Light Slate"_s));
        else
            AplicaEstiloDoSistema(*qApp);

        // Red when enabled, green when disabled; the caption in blue.
        QPixmap vermelho(10, 10), verde(10, 10);
        vermelho.fill(Qt::red);
        verde.fill(Qt::green);
        QStyleOptionButton opcao;
        opcao.rect = QRect(0, 0, 200, altura);
        opcao.state = habilitado ? QStyle::State_Enabled : QStyle::State_None;
        opcao.icon.addPixmap(vermelho, QIcon::Normal);
        opcao.icon.addPixmap(verde, QIcon::Disabled);
        opcao.iconSize = QSize(10, 10);
        opcao.text = u"Caption"_s;
        QFont fonte = QApplication::font();
        fonte.setBold(true);
        opcao.fontMetrics = QFontMetrics(fonte);
        opcao.palette.setColor(QPalette::Active, QPalette::ButtonText, Qt::blue);
        opcao.palette.setColor(QPalette::Inactive, QPalette::ButtonText, Qt::blue);
        opcao.palette.setColor(QPalette::Disabled, QPalette::ButtonText, Qt::blue);
        QImage imagem(opcao.rect.size(), QImage::Format_ARGB32);
        imagem.fill(Qt::transparent);
        {
            QPainter pintor(&imagem);
            pintor.setFont(fonte);
            QApplication::style()->drawControl(QStyle::CE_PushButtonLabel, &opcao, &pintor);
        }

        const QRgb cor = habilitado ? qRgb(255, 0, 0) : qRgb(0, 255, 0);
        const QRect figura = Caixa(imagem, [cor](QRgb p) { return (p | 0xff000000) == cor; });
        const QRect texto = Caixa(imagem, [](QRgb p) {
            return qAlpha(p) > 128 && qBlue(p) > 128 && qRed(p) < 64 && qGreen(p) < 64;
        });
        QCOMPARE(figura.size(), QSize(10, 10));
        QVERIFY(!texto.isEmpty());
        if (!acima) {
            QVERIFY(figura.right() < texto.left());
            return;
        }
        const int alturaTexto = opcao.fontMetrics.height();
        const int topo = (altura - (10 + 4 + alturaTexto)) / 2;
        QCOMPARE(figura.topLeft(), QPoint((200 - 10) / 2, topo));
        QVERIFY(texto.top() >= figura.bottom() + 1 + 4);
        QVERIFY(texto.bottom() < figura.bottom() + 1 + 4 + alturaTexto);
        QVERIFY(qAbs((texto.left() + texto.right()) / 2 - 100) <= 2);
    }
};

QTEST_MAIN(TesteEstilo)
#include "tst_estilo.moc"
