#include "fprincipal.h"
#include "ui_fprincipal.h"

#include "acoes.h"
#include "aplicacao.h"
#include "configuracao.h"
#include "figuras.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QShowEvent>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

bool EhControle(const QString& texto) {
    return std::any_of(texto.begin(), texto.end(),
                       [](QChar c) { return c.category() == QChar::Other_Control; });
}

// The form sizes each label to its caption as the system's own Tahoma draws it; another face
// or hinting may draw a few pixels wider and cut the caption's end. Such a caption is drawn
// just enough tighter to show whole, and nothing moves.
void CabeNoRotulo(QLabel* rotulo) {
    QFont fonte = rotulo->font();
    for (qreal espaco = -0.05; rotulo->sizeHint().width() > rotulo->width() && espaco >= -1.0;
         espaco -= 0.05) {
        fonte.setLetterSpacing(QFont::AbsoluteSpacing, espaco);
        rotulo->setFont(fonte);
    }
}

} // namespace

TFprincipal::TFprincipal(const QString& pastaDoPrograma, QWidget* parent)
    : QWidget(parent), ui(new Ui::TFprincipal),
      pastaDoPrograma_(pastaDoPrograma.isEmpty() ? PastaDoExecutavel() : pastaDoPrograma) {
    ui->setupUi(this);
    CabeNoRotulo(ui->LbPorta);
    // Read directly: a form's picture makes Qt try every image plugin at start-up.
    ui->Image1->setPixmap(Figura(u":/figuras/logo.png"_s));
    ui->BtLocalizar->setIcon(FiguraDoBotao(u":/figuras/localizar.png"_s));
    ui->BtLeituraX->setIcon(FiguraDoBotao(u":/figuras/leiturax.png"_s));

    // The box completes by our own rule, so Qt's completion stays out of the way.
    ui->CbPorta->setCompleter(nullptr);
    // Qt's combo box picks the entry matching the text when editing finishes (focus out)
    // and reports it as chosen: that is no choice of the operator's.
    disconnect(ui->CbPorta->lineEdit(), &QLineEdit::editingFinished, ui->CbPorta, nullptr);
    ui->CbPorta->setCurrentIndex(0);
    ui->CbPorta->installEventFilter(this);

    connect(ui->BtLocalizar, &QPushButton::clicked, this, &TFprincipal::BtLocalizarClick);
    connect(ui->BtLeituraX, &QPushButton::clicked, this, &TFprincipal::BtLeituraXClick);
    connect(ui->CbPorta, &QComboBox::activated, this, &TFprincipal::CbPortaChange);
    // Control characters never enter the box: a pasted line break would split the
    // configuration file.
    ui->CbPorta->setValidator(new QRegularExpressionValidator(
        QRegularExpression(u"[^\\x{0}-\\x{1f}\\x{7f}]*"_s), ui->CbPorta));
    // Edits that the completion does not handle itself (delete, cut, paste, undo, drops)
    // each raise one change, and leave no entry of the list selected.
    connect(ui->CbPorta->lineEdit(), &QLineEdit::textEdited, this, [this] {
        QLineEdit* edicao = ui->CbPorta->lineEdit();
        const QString texto = edicao->text();
        const int cursor = edicao->cursorPosition();
        {
            const QSignalBlocker bloqueio(ui->CbPorta);
            ui->CbPorta->setCurrentIndex(-1);
            edicao->setText(texto);
            edicao->setCursorPosition(cursor);
        }
        CbPortaChange();
    });

    ui->BtLocalizar->setFocus();
    if (const QScreen* tela = screen()) {
        const QRect desktop = tela->virtualGeometry();
        move(desktop.center() - rect().center());
    }
}

TFprincipal::~TFprincipal() {
    // Closing the children may still move focus in the box; that is nobody's change.
    ui->CbPorta->disconnect(this);
    ui->CbPorta->lineEdit()->disconnect(this);
    ui->CbPorta->removeEventFilter(this);
    delete ui;
}

void TFprincipal::showEvent(QShowEvent* event) {
    // Qt sends this before the window is mapped; a restore from the taskbar is spontaneous.
    if (!event->spontaneous()) FormShow();
    QWidget::showEvent(event);
}

void TFprincipal::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

// Each handler catches its own errors: see ExecutaHandler.
void TFprincipal::FormShow() {
    ExecutaHandler([this] {
        PassoExibicao(pastaDoPrograma_, [this](const QString& porta) { MostraPorta(porta); });
    });
}

void TFprincipal::FormClose() {
    ExecutaHandler([] { Liberar(); });
}

void TFprincipal::BtLocalizarClick() {
    ExecutaHandler([this] {
        if (Localizar()) ui->BtLeituraX->setEnabled(true);
    });
}

void TFprincipal::BtLeituraXClick() {
    ExecutaHandler([] { LeituraX(); });
}

void TFprincipal::CbPortaChange() {
    ExecutaHandler([this] { MudancaPorta(ui->CbPorta->currentText()); });
}

void TFprincipal::MostraPorta(const QString& porta) {
    // Text set here is not the operator's: no change. The list follows an exact entry, so a
    // later completion to another entry is seen as a change.
    const QSignalBlocker bloqueio(ui->CbPorta);
    ui->CbPorta->setCurrentIndex(
        ui->CbPorta->findText(porta, Qt::MatchExactly | Qt::MatchCaseSensitive));
    ui->CbPorta->setEditText(porta);
}

bool TFprincipal::eventFilter(QObject* objeto, QEvent* evento) {
    if (objeto != ui->CbPorta || evento->type() != QEvent::KeyPress)
        return QWidget::eventFilter(objeto, evento);
    const auto* tecla = static_cast<QKeyEvent*>(evento);
    if (tecla->key() == Qt::Key_Backspace && !(tecla->modifiers() & ~Qt::KeypadModifier)) {
        ApagaAntesDoCursor();
        return true;
    }
    const QString texto = tecla->text();
    if (texto.isEmpty() || tecla->key() == Qt::Key_Tab || tecla->key() == Qt::Key_Backtab ||
        tecla->key() == Qt::Key_Escape || tecla->matches(QKeySequence::Paste) ||
        tecla->matches(QKeySequence::Cut) ||
        (tecla->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        return false;
    if (!EhControle(texto)) CompletaPorta(texto);
    return true;
}

void TFprincipal::CompletaPorta(const QString& digitado) {
    QLineEdit* edicao = ui->CbPorta->lineEdit();
    QString formado = edicao->text();
    int inicio = edicao->cursorPosition();
    if (edicao->hasSelectedText()) {
        inicio = edicao->selectionStart();
        formado.remove(inicio, edicao->selectedText().size());
    }
    formado.insert(inicio, digitado);
    const int cursor = inicio + digitado.size();

    const int anterior = ui->CbPorta->currentIndex();
    int entrada = -1;
    for (int i = 0; i < ui->CbPorta->count() && entrada < 0; ++i)
        if (ui->CbPorta->itemText(i).startsWith(formado, Qt::CaseInsensitive)) entrada = i;

    {
        const QSignalBlocker bloqueio(ui->CbPorta);
        ui->CbPorta->setCurrentIndex(entrada);
        if (entrada >= 0) {
            const QString item = ui->CbPorta->itemText(entrada);
            edicao->setText(formado + item.mid(formado.size()));
            edicao->setSelection(edicao->text().size(), formado.size() - edicao->text().size());
        } else {
            edicao->setText(formado);
            edicao->setCursorPosition(cursor);
        }
    }
    if (entrada < 0 || entrada != anterior) CbPortaChange();
}

void TFprincipal::ApagaAntesDoCursor() {
    QLineEdit* edicao = ui->CbPorta->lineEdit();
    QString texto = edicao->text();
    int cursor = edicao->cursorPosition();
    if (edicao->hasSelectedText()) {
        cursor = edicao->selectionStart();
        texto.remove(cursor, edicao->selectedText().size());
    } else if (cursor > 0) {
        texto.remove(--cursor, 1);
    }
    {
        const QSignalBlocker bloqueio(ui->CbPorta);
        ui->CbPorta->setCurrentIndex(-1);
        edicao->setText(texto);
        edicao->setCursorPosition(cursor);
    }
    CbPortaChange();
}
