#include "figuras.h"

#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPalette>
#include <QPixmap>

namespace {

// The disabled look: the drawing's shape in the shadow colour over the same shape in
// the highlight colour, one pixel to the right and down.
QImage Silhueta(const QImage& normal) {
    const QPalette paleta = QGuiApplication::palette();
    const QRgb sombra = paleta.color(QPalette::Disabled, QPalette::Dark).rgb();
    const QRgb luz = paleta.color(QPalette::Disabled, QPalette::Light).rgb();
    QImage silhueta(normal.size(), QImage::Format_ARGB32);
    silhueta.fill(Qt::transparent);
    const auto desenha = [&](QRgb cor, int deslocamento) {
        for (int y = 0; y + deslocamento < normal.height(); ++y) {
            const auto* origem = reinterpret_cast<const QRgb*>(normal.constScanLine(y));
            auto* destino = reinterpret_cast<QRgb*>(silhueta.scanLine(y + deslocamento));
            for (int x = 0; x + deslocamento < normal.width(); ++x)
                if (qAlpha(origem[x]) != 0) destino[x + deslocamento] = cor;
        }
    };
    desenha(luz, 1);
    desenha(sombra, 0);
    return silhueta;
}

QImage LePng(const QString& recurso) {
    QImageReader leitor(recurso, "png");
    // Even when told the format, Qt loads every image plugin to ask whether one of them
    // reads it better, unless it is told not to detect: that alone would cost more than
    // the rest of the start-up's pictures.
    leitor.setAutoDetectImageFormat(false);
    return leitor.read();
}

} // namespace

QPixmap Figura(const QString& recurso) {
    Q_INIT_RESOURCE(recursos);
    return QPixmap::fromImage(LePng(recurso));
}

QIcon FiguraDoBotao(const QString& recurso) {
    Q_INIT_RESOURCE(recursos);
    QImage imagem = LePng(recurso);
    if (imagem.isNull()) return {};
    imagem = imagem.convertToFormat(QImage::Format_ARGB32);
    // Every pixel of the lower-left pixel's colour is transparent, every other one opaque.
    const QRgb chave = imagem.pixel(0, imagem.height() - 1);
    for (int y = 0; y < imagem.height(); ++y) {
        auto* linha = reinterpret_cast<QRgb*>(imagem.scanLine(y));
        for (int x = 0; x < imagem.width(); ++x)
            linha[x] = linha[x] == chave ? 0 : linha[x] | 0xff000000;
    }
    QIcon icone;
    icone.addPixmap(QPixmap::fromImage(imagem), QIcon::Normal);
    icone.addPixmap(QPixmap::fromImage(Silhueta(imagem)), QIcon::Disabled);
    return icone;
}
