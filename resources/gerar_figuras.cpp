// Draws the logo and the two button pictures into resources/figuras/. Run by hand through
// the `figuras` target when the artwork changes; the program only reads the PNG files.
#include <QCoreApplication>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const QColor Esmeralda{0x05, 0x96, 0x69};
const QColor EsmeraldaEscura{0x04, 0x6c, 0x4e};
const QColor EsmeraldaClara{0x6e, 0xe7, 0xb7};
const QColor Ardosia{0x33, 0x41, 0x55};
const QColor ArdosiaEscura{0x1e, 0x29, 0x3b};
const QColor ArdosiaMedia{0x64, 0x74, 0x8b};
const QColor ArdosiaClara{0xcb, 0xd5, 0xe1};

// The buttons take white as transparent without blending, so the soft edge left by
// antialiasing is cut where it is nearly white: no pale halo, and a clean silhouette.
void LimpaQuaseBranco(QImage& imagem) {
    for (int y = 0; y < imagem.height(); ++y)
        for (int x = 0; x < imagem.width(); ++x) {
            const QColor c = imagem.pixelColor(x, y);
            if (c.red() > 235 && c.green() > 235 && c.blue() > 235)
                imagem.setPixelColor(x, y, Qt::white);
        }
}

QImage Lupa() {
    QImage imagem(50, 50, QImage::Format_RGB32);
    imagem.fill(Qt::white);
    QPainter p(&imagem);
    p.setRenderHint(QPainter::Antialiasing);
    // Handle first, so the rim covers its inner end.
    p.setPen(QPen(ArdosiaEscura, 9, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(30, 30), QPointF(43, 43));
    p.setPen(QPen(Esmeralda, 5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(31, 31), QPointF(43, 43));
    p.setPen(QPen(Ardosia, 4.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(20, 20), 13, 13);
    p.setPen(QPen(Esmeralda, 2));
    p.drawEllipse(QPointF(20, 20), 10, 10);
    // A glint on the glass.
    p.setPen(QPen(EsmeraldaClara, 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(13, 13, 14, 14), 100 * 16, 70 * 16);
    p.end();
    LimpaQuaseBranco(imagem);
    return imagem;
}

QImage Documento() {
    QImage imagem(50, 50, QImage::Format_RGB32);
    imagem.fill(Qt::white);
    QPainter p(&imagem);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath folha;
    folha.moveTo(13.5, 3.5);
    folha.lineTo(33.5, 3.5);
    folha.lineTo(42.5, 12.5);
    folha.lineTo(42.5, 46.5);
    folha.lineTo(13.5, 46.5);
    folha.closeSubpath();
    p.setPen(QPen(Ardosia, 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawPath(folha);
    QPainterPath dobra;
    dobra.moveTo(33.5, 3.5);
    dobra.lineTo(33.5, 12.5);
    dobra.lineTo(42.5, 12.5);
    p.setBrush(ArdosiaClara);
    p.drawPath(dobra);
    p.setPen(QPen(ArdosiaMedia, 2, Qt::SolidLine, Qt::FlatCap));
    for (int y : {10, 16})
        p.drawLine(QPointF(17, y), QPointF(30, y));
    for (int y : {22, 28, 34, 40})
        p.drawLine(QPointF(17, y), QPointF(39, y));
    // The X over the lower left corner, cut out of the page by a white border.
    const QLineF traco1(QPointF(6, 25), QPointF(25, 44)), traco2(QPointF(25, 25), QPointF(6, 44));
    p.setPen(QPen(Qt::white, 12, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(traco1);
    p.drawLine(traco2);
    p.setPen(QPen(EsmeraldaEscura, 8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(traco1);
    p.drawLine(traco2);
    p.setPen(QPen(Esmeralda, 4.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(traco1);
    p.drawLine(traco2);
    p.end();
    LimpaQuaseBranco(imagem);
    return imagem;
}

void Impressora(QPainter& p) {
    // The paper coming out of the top, with a torn edge and printed lines.
    QPainterPath papel;
    papel.moveTo(30, 62);
    papel.lineTo(30, 18);
    for (int i = 0; i < 8; ++i) {
        papel.lineTo(33 + 6 * i, 14);
        papel.lineTo(36 + 6 * i, 18);
    }
    papel.lineTo(78, 62);
    papel.closeSubpath();
    p.setPen(QPen(ArdosiaClara, 1.5));
    p.setBrush(QColor(0xfa, 0xfc, 0xfd));
    p.drawPath(papel);
    p.setPen(QPen(ArdosiaMedia, 2.5, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 4; ++i)
        p.drawLine(QPointF(37, 28 + 8 * i), QPointF(i % 2 ? 62 : 71, 28 + 8 * i));
    p.setPen(QPen(Esmeralda, 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(37, 58), QPointF(71, 58));

    // The body: slate top with the paper slot, emerald front.
    p.setPen(Qt::NoPen);
    QLinearGradient tampa(0, 56, 0, 74);
    tampa.setColorAt(0, QColor(0x47, 0x55, 0x69));
    tampa.setColorAt(1, Ardosia);
    p.setBrush(tampa);
    p.drawRoundedRect(QRectF(14, 56, 80, 20), 6, 6);
    p.setBrush(ArdosiaEscura);
    p.drawRoundedRect(QRectF(26, 61, 56, 4), 2, 2);
    QLinearGradient frente(0, 72, 0, 116);
    frente.setColorAt(0, QColor(0x10, 0xb9, 0x81));
    frente.setColorAt(1, EsmeraldaEscura);
    p.setBrush(frente);
    p.drawRoundedRect(QRectF(10, 72, 88, 44), 8, 8);
    // Display and keys.
    p.setBrush(ArdosiaEscura);
    p.drawRoundedRect(QRectF(20, 82, 38, 14), 3, 3);
    p.setBrush(EsmeraldaClara);
    p.drawRect(QRectF(23, 86, 22, 6));
    p.setBrush(QColor(0xec, 0xfd, 0xf5));
    for (int i = 0; i < 3; ++i)
        p.drawEllipse(QPointF(68 + 9 * i, 89), 3, 3);
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawRoundedRect(QRectF(20, 104, 68, 4), 2, 2);
}

QImage Logo() {
    // Opaque, with the corners in the style's window colour: a PNG without alpha reads
    // faster at start-up.
    QImage imagem(330, 136, QImage::Format_RGB32);
    imagem.fill(QColor(0xee, 0xf2, 0xf6));
    QPainter p(&imagem);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient fundo(0, 0, 0, 136);
    fundo.setColorAt(0, QColor(0xf8, 0xfa, 0xfc));
    fundo.setColorAt(1, QColor(0xe2, 0xe8, 0xf0));
    p.setPen(QPen(ArdosiaClara, 1));
    p.setBrush(fundo);
    p.drawRoundedRect(QRectF(0.5, 0.5, 329, 135), 12, 12);
    // An emerald band along the bottom, clipped to the card.
    QPainterPath cartao;
    cartao.addRoundedRect(QRectF(0.5, 0.5, 329, 135), 12, 12);
    p.save();
    p.setClipPath(cartao);
    p.setPen(Qt::NoPen);
    p.setBrush(Esmeralda);
    p.drawRect(QRectF(0, 126, 330, 10));
    p.restore();

    p.save();
    p.translate(6, 2);
    Impressora(p);
    p.restore();

    QFont titulo(QStringLiteral("DejaVu Sans"));
    titulo.setPixelSize(38);
    titulo.setBold(true);
    titulo.setLetterSpacing(QFont::AbsoluteSpacing, -1);
    p.setFont(titulo);
    const QPointF base(120, 72);
    p.setPen(ArdosiaEscura);
    p.drawText(base, QStringLiteral("Teste"));
    p.setPen(Esmeralda);
    p.drawText(base + QPointF(p.fontMetrics().horizontalAdvance(QStringLiteral("Teste")), 0),
               QStringLiteral("ECF"));

    QFont sub(QStringLiteral("DejaVu Sans"));
    sub.setPixelSize(14);
    sub.setBold(true);
    sub.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    p.setFont(sub);
    p.setPen(ArdosiaMedia);
    p.drawText(QPointF(122, 98), QStringLiteral("MP-4200 TH FI"));
    p.end();
    return imagem;
}

// Reduces a picture to at most 256 colours by median cut, without dithering: a PNG with a
// colour table holds a third of the bytes and reads in a third of the time at start-up.
QImage Indexada(const QImage& imagem) {
    struct Cor {
        QRgb rgb;
        int vezes;
    };
    QHash<QRgb, int> contagem;
    for (int y = 0; y < imagem.height(); ++y)
        for (int x = 0; x < imagem.width(); ++x)
            ++contagem[imagem.pixel(x, y) | 0xff000000];
    std::vector<Cor> cores;
    for (auto i = contagem.cbegin(); i != contagem.cend(); ++i)
        cores.push_back({i.key(), i.value()});

    const auto canal = [](QRgb c, int k) {
        return k == 0 ? qRed(c) : k == 1 ? qGreen(c) : qBlue(c);
    };
    struct Caixa {
        std::size_t inicio, fim;
    };
    const auto extensao = [&](const Caixa& c, int& maior) {
        int melhor = -1;
        for (int k = 0; k < 3; ++k) {
            int minimo = 255, maximo = 0;
            for (std::size_t i = c.inicio; i < c.fim; ++i) {
                minimo = std::min(minimo, canal(cores[i].rgb, k));
                maximo = std::max(maximo, canal(cores[i].rgb, k));
            }
            if (maximo - minimo > melhor) {
                melhor = maximo - minimo;
                maior = k;
            }
        }
        return melhor;
    };
    std::vector<Caixa> caixas{{0, cores.size()}};
    while (caixas.size() < 256) {
        // Split the box of widest spread at the median of its pixels.
        std::size_t escolhida = 0;
        int largura = 0, eixo = 0;
        for (std::size_t i = 0; i < caixas.size(); ++i) {
            int k = 0;
            const int w = caixas[i].fim - caixas[i].inicio > 1 ? extensao(caixas[i], k) : 0;
            if (w > largura) {
                largura = w;
                escolhida = i;
                eixo = k;
            }
        }
        if (largura == 0) break;
        Caixa& c = caixas[escolhida];
        std::sort(cores.begin() + c.inicio, cores.begin() + c.fim, [&](const Cor& a, const Cor& b) {
            return canal(a.rgb, eixo) < canal(b.rgb, eixo);
        });
        long total = 0, metade = 0;
        for (std::size_t i = c.inicio; i < c.fim; ++i)
            total += cores[i].vezes;
        std::size_t corte = c.inicio + 1;
        for (std::size_t i = c.inicio; i + 1 < c.fim; ++i) {
            metade += cores[i].vezes;
            corte = i + 1;
            if (2 * metade >= total) break;
        }
        const Caixa segunda{corte, c.fim};
        c.fim = corte;
        caixas.push_back(segunda);
    }

    QList<QRgb> tabela;
    QHash<QRgb, int> indice;
    for (const Caixa& c : caixas) {
        double r = 0, g = 0, b = 0, n = 0;
        for (std::size_t i = c.inicio; i < c.fim; ++i) {
            r += qRed(cores[i].rgb) * double(cores[i].vezes);
            g += qGreen(cores[i].rgb) * double(cores[i].vezes);
            b += qBlue(cores[i].rgb) * double(cores[i].vezes);
            n += cores[i].vezes;
        }
        for (std::size_t i = c.inicio; i < c.fim; ++i)
            indice[cores[i].rgb] = int(tabela.size());
        tabela.push_back(qRgb(int(r / n + 0.5), int(g / n + 0.5), int(b / n + 0.5)));
    }
    QImage indexada(imagem.size(), QImage::Format_Indexed8);
    indexada.setColorTable(tabela);
    for (int y = 0; y < imagem.height(); ++y)
        for (int x = 0; x < imagem.width(); ++x)
            indexada.setPixel(x, y, uint(indice.value(imagem.pixel(x, y) | 0xff000000)));
    return indexada;
}

bool Grava(const QImage& imagem, const QString& pasta, const char* nome) {
    const QString caminho = pasta + u'/' + QLatin1String(nome);
    if (imagem.save(caminho, "PNG")) return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(caminho));
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication aplicacao(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QString pasta = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(pasta);
    const bool ok = Grava(Indexada(Logo()), pasta, "logo.png") &&
                    Grava(Lupa(), pasta, "localizar.png") &&
                    Grava(Documento(), pasta, "leiturax.png");
    return ok ? 0 : 1;
}
