#include "estilo.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMetaEnum>
#include <QPainter>
#include <QPalette>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

constexpr int kEspacoFiguraTexto = 4;

// Lays out a push button's label: the picture above the caption, centred together.
class TEstiloDosBotoes : public QProxyStyle {
  public:
    using QProxyStyle::QProxyStyle;

    void drawControl(ControlElement elemento, const QStyleOption* opcao, QPainter* pintor,
                     const QWidget* widget) const override {
        const auto* botao = qstyleoption_cast<const QStyleOptionButton*>(opcao);
        // A button too low for the picture above the caption keeps the base style's layout.
        if (elemento != CE_PushButtonLabel || !botao || botao->icon.isNull() ||
            botao->text.isEmpty() ||
            botao->rect.height() <
                botao->iconSize.height() + kEspacoFiguraTexto + botao->fontMetrics.height()) {
            QProxyStyle::drawControl(elemento, opcao, pintor, widget);
            return;
        }
        const QRect area = botao->rect;
        const QSize tamanho = botao->iconSize;
        const int alturaTexto = botao->fontMetrics.height();
        const int topo =
            area.top() + (area.height() - tamanho.height() - kEspacoFiguraTexto - alturaTexto) / 2;
        const QRect figura(QPoint(area.left() + (area.width() - tamanho.width()) / 2, topo),
                           tamanho);
        const QRect texto(area.left(), figura.bottom() + 1 + kEspacoFiguraTexto, area.width(),
                          alturaTexto);

        const bool habilitado = botao->state & State_Enabled;
        const QPixmap pixmap = botao->icon.pixmap(tamanho, pintor->device()->devicePixelRatio(),
                                                  habilitado ? QIcon::Normal : QIcon::Disabled,
                                                  botao->state & State_On ? QIcon::On : QIcon::Off);
        proxy()->drawItemPixmap(pintor, figura, Qt::AlignCenter, pixmap);

        int alinhamento = Qt::AlignHCenter | Qt::AlignTop | Qt::TextShowMnemonic;
        if (!proxy()->styleHint(SH_UnderlineShortcut, botao, widget))
            alinhamento |= Qt::TextHideMnemonic;
        proxy()->drawItemText(pintor, texto, alinhamento, botao->palette, habilitado, botao->text,
                              QPalette::ButtonText);
    }
};

// Emerald Light Slate's own shapes over Fusion: rounded buttons that turn emerald when
// pointed at, pressed or focused.
class TEstiloEsmeralda : public TEstiloDosBotoes {
  public:
    TEstiloEsmeralda() : TEstiloDosBotoes(QStyleFactory::create(u"Fusion"_s)) {}

    qreal raio = 4;

    void drawPrimitive(PrimitiveElement elemento, const QStyleOption* opcao, QPainter* pintor,
                       const QWidget* widget) const override {
        if (elemento != PE_PanelButtonCommand) {
            TEstiloDosBotoes::drawPrimitive(elemento, opcao, pintor, widget);
            return;
        }
        const QPalette& paleta = opcao->palette;
        const bool habilitado = opcao->state & State_Enabled;
        const bool afundado = opcao->state & (State_Sunken | State_On);
        const bool sob = habilitado && (opcao->state & State_MouseOver);
        const bool foco = habilitado && (opcao->state & State_HasFocus);
        const QColor face = paleta.color(QPalette::Button);
        const QColor destaque = paleta.color(QPalette::Highlight);

        QColor cima = paleta.color(QPalette::Light), baixo = face;
        if (!habilitado) {
            cima = baixo = face;
        } else if (afundado) {
            cima = baixo = Mistura(face, destaque, 0.22);
        } else if (sob) {
            cima = Mistura(cima, destaque, 0.08);
            baixo = Mistura(face, destaque, 0.14);
        }

        pintor->save();
        pintor->setRenderHint(QPainter::Antialiasing);
        const QRectF caixa = QRectF(opcao->rect).adjusted(0.5, 0.5, -0.5, -0.5);
        QLinearGradient fundo(caixa.topLeft(), caixa.bottomLeft());
        fundo.setColorAt(0, cima);
        fundo.setColorAt(1, baixo);
        pintor->setBrush(fundo);
        pintor->setPen(QPen(foco || sob || afundado ? destaque : paleta.color(QPalette::Mid), 1));
        pintor->drawRoundedRect(caixa, raio, raio);
        if (foco) {
            pintor->setBrush(Qt::NoBrush);
            pintor->setPen(QPen(Mistura(destaque, paleta.color(QPalette::Light), 0.45), 1));
            pintor->drawRoundedRect(caixa.adjusted(1.5, 1.5, -1.5, -1.5), raio - 1.5, raio - 1.5);
        }
        pintor->restore();
    }

    // Like the system's standard boxes: no pictures on the boxes' buttons.
    int styleHint(StyleHint dica, const QStyleOption* opcao, const QWidget* widget,
                  QStyleHintReturn* retorno) const override {
        if (dica == SH_DialogButtonBox_ButtonsHaveIcons) return 0;
        return TEstiloDosBotoes::styleHint(dica, opcao, widget, retorno);
    }

  private:
    static QColor Mistura(const QColor& a, const QColor& b, double quanto) {
        return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * quanto),
                                float(a.greenF() + (b.greenF() - a.greenF()) * quanto),
                                float(a.blueF() + (b.blueF() - a.blueF()) * quanto));
    }
};

// Reads a style description: `[Paleta]` and `[Paleta <group>]` sections of `Role = #colour`
// lines over Fusion's own palette, a `[Forma]` section with `Raio`; `;` starts a comment.
bool LeDescricao(const QString& caminho, TEstiloEsmeralda& estilo, QPalette& paleta) {
    QFile arquivo(caminho);
    if (!arquivo.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
    const QMetaEnum papeis = QMetaEnum::fromType<QPalette::ColorRole>();
    const QMetaEnum grupos = QMetaEnum::fromType<QPalette::ColorGroup>();
    QString secao;
    QTextStream entrada(&arquivo);
    while (!entrada.atEnd()) {
        const QString linha = entrada.readLine().trimmed();
        if (linha.isEmpty() || linha.startsWith(u';')) continue;
        if (linha.startsWith(u'[') && linha.endsWith(u']')) {
            secao = linha.mid(1, linha.size() - 2).trimmed();
            continue;
        }
        const qsizetype igual = linha.indexOf(u'=');
        if (igual < 0) continue;
        const QByteArray chave = linha.left(igual).trimmed().toLatin1();
        const QString valor = linha.mid(igual + 1).trimmed();
        if (secao == u"Forma"_s && chave == "Raio") {
            estilo.raio = valor.toInt();
        } else if (secao.startsWith(u"Paleta"_s)) {
            const int papel = papeis.keyToValue(chave.constData());
            const QColor cor = QColor::fromString(valor);
            if (papel < 0 || !cor.isValid()) continue;
            const QString grupo = secao.mid(6).trimmed();
            if (grupo.isEmpty()) {
                paleta.setColor(QPalette::ColorRole(papel), cor);
            } else {
                const int g = grupos.keyToValue(grupo.toLatin1().constData());
                if (g >= 0)
                    paleta.setColor(QPalette::ColorGroup(g), QPalette::ColorRole(papel), cor);
            }
        }
    }
    return true;
}

} // namespace

bool AplicaEstilo(QApplication& aplicacao, const QString& nome) {
    Q_INIT_RESOURCE(recursos);
    const QFileInfoList estilos = QDir(u":/estilos"_s).entryInfoList(QDir::Files);
    for (const QFileInfo& estilo : estilos) {
        if (estilo.completeBaseName().compare(nome, Qt::CaseInsensitive) != 0) continue;
        auto* novo = new TEstiloEsmeralda;
        QPalette paleta = novo->standardPalette();
        if (!LeDescricao(estilo.filePath(), *novo, paleta)) {
            delete novo;
            return false;
        }
        aplicacao.setStyle(novo);
        aplicacao.setPalette(paleta);
        return true;
    }
    return false;
}

void AplicaEstiloDoSistema(QApplication& aplicacao) {
    if (dynamic_cast<TEstiloDosBotoes*>(aplicacao.style())) return;
    aplicacao.setStyle(new TEstiloDosBotoes(QStyleFactory::create(aplicacao.style()->name())));
}
