// The main window through its widgets: start-up state, the port box's completion, the
// configuration steps, the boxes and the error report, against the scripted library.
#include "aplicacao.h"
#include "configuracao.h"
#include "duplo.h"
#include "fprincipal.h"
#include "janela/captura.h"
#include "perfil.h"
#include "registro.h"

#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <memory>
#include <stdexcept>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(QMessageBox::Icon)
Q_DECLARE_METATYPE(QAccessible::Role)

namespace {

const QString kSeleciona = u"Bematech_FI_SelecionaIniLocal"_s;
const QString kReload = u"Bematech_FI_ReloadINIFile"_s;
const QString kFecha = u"Bematech_FI_FechaPortaSerial"_s;

QByteArray LeArquivo(const QString& caminho) {
    QFile arquivo(caminho);
    return arquivo.open(QIODevice::ReadOnly) ? arquivo.readAll() : QByteArray();
}

void GravaArquivo(const QString& caminho, const QByteArray& conteudo) {
    QFile arquivo(caminho);
    QVERIFY(arquivo.open(QIODevice::WriteOnly));
    arquivo.write(conteudo);
}

// An object whose event handler fails with the given message, as a handler of the
// window would.
class TFalha : public QObject {
  public:
    explicit TFalha(QString mensagem) : mensagem_(std::move(mensagem)) {}
    bool event(QEvent* evento) override {
        if (evento->type() == QEvent::User) throw std::runtime_error(mensagem_.toStdString());
        return QObject::event(evento);
    }

  private:
    QString mensagem_;
};

} // namespace

class TstJanela : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();

    void inicioNaPrimeiraExecucao();
    void acessibilidade_data();
    void acessibilidade();
    void gravarRecusaQuebraDeLinha_data();
    void gravarRecusaQuebraDeLinha();
    void controles_data();
    void controles();
    void inicioComPortaSalva_data();
    void inicioComPortaSalva();
    void completar_data();
    void completar();
    void escolherDaLista();
    void falhaAoGravarNoInicio();
    void falhaAoGravarAoMudarPorta();
    void relatorioDeErro_data();
    void relatorioDeErro();
    void estiloAusente();
    void localizar_data();
    void localizar();
    void mensagemFechaComEnterEEscape_data();
    void mensagemFechaComEnterEEscape();
    void doInicioALeituraX();

  private:
    // Creates and shows the window on the temporary folder, capturing its boxes.
    void Abre();
    QString Ini() const { return pasta_->path() + u"/Bemafi32.ini"_s; }
    template <typename T> T* Controle(const char* nome) const {
        return janela_->findChild<T*>(QLatin1StringView(nome));
    }
    QComboBox* Porta() const { return Controle<QComboBox>("CbPorta"); }
    // The values of "Porta" as the library found them at each reload.
    QStringList gravadas_;

    // Errors that crossed Qt's frames before the test began.
    int escapados_ = 0;

    std::unique_ptr<QTemporaryDir> pasta_;
    std::unique_ptr<TFprincipal> janela_;
    std::unique_ptr<TCaptura> captura_;
};

void TstJanela::init() {
    duplo::Reinicia();
    gravadas_.clear();
    escapados_ = TAplicacao::Escapados();
    pasta_ = std::make_unique<QTemporaryDir>();
    QVERIFY(pasta_->isValid());
    captura_ = std::make_unique<TCaptura>([this] {
        return janela_ && janela_->windowHandle() && janela_->windowHandle()->isVisible();
    });
}

void TstJanela::cleanup() {
    janela_.reset();
    captura_.reset();
    pasta_.reset();
    // Every handler of the window catches its own errors: none reaches the last resort.
    if (qstrcmp(QTest::currentTestFunction(), "relatorioDeErro") != 0)
        QCOMPARE(TAplicacao::Escapados(), escapados_);
}

void TstJanela::Abre() {
    duplo::AoChamar([this](const QString& funcao) {
        if (funcao == kReload)
            gravadas_ << QString::fromStdString(
                perfil::LerString(Ini().toStdString(), "Sistema", "Porta"));
    });
    janela_ = std::make_unique<TFprincipal>(pasta_->path() + u'/');
    janela_->show();
    QVERIFY(QTest::qWaitForWindowExposed(janela_.get()));
    janela_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(janela_.get()));
    gravadas_.clear();
}

void TstJanela::inicioNaPrimeiraExecucao() {
    Abre();
    QCOMPARE(duplo::Diario(), (QStringList{kSeleciona, kReload}));
    QCOMPARE(LeArquivo(Ini()), "[Sistema]\r\nPath=" + pasta_->path().toUtf8() + "/\r\n");
    QCOMPARE(sPath, pasta_->path() + u'/');
    QCOMPARE(Porta()->currentText(), QString());
    QVERIFY(!Controle<QPushButton>("BtLeituraX")->isEnabled());
    QCOMPARE(QApplication::focusWidget(), Controle<QPushButton>("BtLocalizar"));
    QCOMPARE(janela_->windowTitle(), u"Teste de Comunicação Exclusivo MP 4200 TH FI"_s);
    QCOMPARE(janela_->size(), QSize(346, 353));
    QVERIFY(captura_->Vistas().isEmpty());

    // The focus order runs from the locate button through the X-reading one to the box;
    // the disabled button is skipped.
    QCOMPARE(Controle<QPushButton>("BtLocalizar")->nextInFocusChain(),
             Controle<QPushButton>("BtLeituraX"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), u"CbPorta"_s);
}

void TstJanela::controles_data() {
    QTest::addColumn<QString>("nome");
    QTest::addColumn<QRect>("geometria");
    QTest::addColumn<QString>("legenda");
    QTest::addColumn<bool>("negrito");
    QTest::newRow("logo") << u"Image1"_s << QRect(8, 8, 330, 136) << QString() << false;
    QTest::newRow("label") << u"LbPorta"_s << QRect(8, 153, 255, 13)
                           << u"Selecione a Porta ou Deixe \"Default\" para automático"_s << false;
    QTest::newRow("port box") << u"CbPorta"_s << QRect(264, 150, 74, 21) << u"Default"_s << true;
    QTest::newRow("locate") << u"BtLocalizar"_s << QRect(8, 177, 330, 80)
                            << u"Localizar Impressora 4200 TH FI"_s << true;
    QTest::newRow("X reading") << u"BtLeituraX"_s << QRect(8, 263, 330, 80)
                               << u"Imprimir Leitura X"_s << true;
}

void TstJanela::controles() {
    QFETCH(QString, nome);
    QFETCH(QRect, geometria);
    QFETCH(QString, legenda);
    QFETCH(bool, negrito);

    // Built but not shown: the box still holds its first entry.
    janela_ = std::make_unique<TFprincipal>(pasta_->path() + u'/');
    QWidget* controle = janela_->findChild<QWidget*>(nome);
    QVERIFY(controle);
    QCOMPARE(controle->geometry(), geometria);
    QCOMPARE(controle->font().bold(), negrito);
    QCOMPARE(controle->font().family(), u"Tahoma"_s);
    QCOMPARE(controle->font().pointSize(), 8);
    if (auto* botao = qobject_cast<QPushButton*>(controle)) {
        QCOMPARE(botao->text(), legenda);
        QCOMPARE(botao->iconSize(), QSize(50, 50));
    } else if (auto* caixa = qobject_cast<QComboBox*>(controle)) {
        QCOMPARE(caixa->currentText(), legenda);
        QCOMPARE(caixa->maxVisibleItems(), 8);
        QStringList itens;
        for (int i = 0; i < caixa->count(); ++i)
            itens << caixa->itemText(i);
        QCOMPARE(itens,
                 (QStringList{u"Default"_s, u"COM1"_s, u"COM2"_s, u"COM3"_s, u"COM4"_s, u"COM5"_s,
                              u"COM6"_s, u"COM7"_s, u"COM8"_s, u"COM9"_s, u"COM10"_s, u"COM11"_s,
                              u"COM12"_s, u"COM13"_s, u"COM14"_s, u"COM15"_s}));
    } else if (auto* rotulo = qobject_cast<QLabel*>(controle); rotulo && !legenda.isEmpty()) {
        QCOMPARE(rotulo->text(), legenda);
        // Drawn in the program's Tahoma, the whole caption fits the label's given width.
        QCOMPARE(QFontInfo(rotulo->font()).family(), u"Tahoma"_s);
        QVERIFY2(rotulo->sizeHint().width() <= rotulo->width(),
                 qPrintable(u"the caption needs %1 pixels"_s.arg(rotulo->sizeHint().width())));
    }
}

void TstJanela::acessibilidade_data() {
    QTest::addColumn<QString>("nome");
    QTest::addColumn<QAccessible::Role>("papel");
    QTest::addColumn<QString>("nomeAcessivel");
    QTest::newRow("window") << u"TFprincipal"_s << QAccessible::Client
                            << u"Teste de Comunicação Exclusivo MP 4200 TH FI"_s;
    QTest::newRow("locate") << u"BtLocalizar"_s << QAccessible::Button
                            << u"Localizar Impressora 4200 TH FI"_s;
    QTest::newRow("X reading") << u"BtLeituraX"_s << QAccessible::Button << u"Imprimir Leitura X"_s;
    // On Windows Qt names a combo box by its caption (the buddy label); on Linux by its text,
    // the caption coming through the label relation.
#ifdef Q_OS_WIN
    QTest::newRow("port box") << u"CbPorta"_s << QAccessible::ComboBox
                              << u"Selecione a Porta ou Deixe \"Default\" para automático"_s;
#else
    QTest::newRow("port box") << u"CbPorta"_s << QAccessible::ComboBox << u"COM3"_s;
#endif
    QTest::newRow("label") << u"LbPorta"_s << QAccessible::StaticText
                           << u"Selecione a Porta ou Deixe \"Default\" para automático"_s;
}

void TstJanela::acessibilidade() {
    QFETCH(QString, nome);
    QFETCH(QAccessible::Role, papel);
    QFETCH(QString, nomeAcessivel);
    GravaArquivo(Ini(), "[Sistema]\r\nPorta=COM3\r\n");
    Abre();
    QWidget* controle =
        nome == janela_->objectName() ? janela_.get() : janela_->findChild<QWidget*>(nome);
    QVERIFY(controle);
    QAccessibleInterface* acessivel = QAccessible::queryAccessibleInterface(controle);
    QVERIFY(acessivel);
    QCOMPARE(acessivel->role(), papel);
    QCOMPARE(acessivel->text(QAccessible::Name), nomeAcessivel);
    if (papel == QAccessible::ComboBox) {
        const auto rotulos = acessivel->relations(QAccessible::Label);
        QCOMPARE(rotulos.size(), 1);
        QCOMPARE(rotulos.first().first->text(QAccessible::Name),
                 u"Selecione a Porta ou Deixe \"Default\" para automático"_s);
    }
}

void TstJanela::gravarRecusaQuebraDeLinha_data() {
    QTest::addColumn<QString>("valor");
    QTest::newRow("line feed") << u"COM1\n[Outra]"_s;
    QTest::newRow("carriage return") << u"COM1\rX=1"_s;
    QTest::newRow("NUL") << QString(u"COM1\0X"_s);
}

void TstJanela::gravarRecusaQuebraDeLinha() {
    QFETCH(QString, valor);
    Abre();
    const QByteArray antes = LeArquivo(Ini());
    try {
        GravarIni(u"Sistema"_s, u"Porta"_s, valor);
        QFAIL("the value was written");
    } catch (const std::runtime_error& erro) {
        QCOMPARE(QString::fromUtf8(erro.what()), u"Unable to write to "_s + Ini());
    }
    QCOMPARE(LeArquivo(Ini()), antes);
}

void TstJanela::inicioComPortaSalva_data() {
    QTest::addColumn<QByteArray>("conteudo");
    QTest::addColumn<QString>("mostrada");
    QTest::newRow("an entry of the list") << QByteArray("[Sistema]\r\nPorta=COM3\r\n") << u"COM3"_s;
    QTest::newRow("a text that is no entry, unchanged")
        << QByteArray("[sistema]\nporta=/dev/ttyUSB0\n") << u"/dev/ttyUSB0"_s;
    QTest::newRow("an empty value empties the box")
        << QByteArray("[Sistema]\r\nPorta=\r\n") << QString();
    QTest::newRow("an old folder is replaced")
        << QByteArray("[Sistema]\r\nPath=/outra/pasta/\r\nPorta=Default\r\n") << u"Default"_s;
}

void TstJanela::inicioComPortaSalva() {
    QFETCH(QByteArray, conteudo);
    QFETCH(QString, mostrada);
    GravaArquivo(Ini(), conteudo);
    Abre();
    QCOMPARE(Porta()->currentText(), mostrada);
    QCOMPARE(duplo::Diario(), (QStringList{kSeleciona, kReload}));
    QCOMPARE(QString::fromStdString(perfil::LerString(Ini().toStdString(), "Sistema", "Path")),
             pasta_->path() + u'/');
}

void TstJanela::completar_data() {
    QTest::addColumn<QString>("inicial");
    QTest::addColumn<int>("cursor"); // -1: the whole text selected
    QTest::addColumn<QTestEventList>("teclas");
    QTest::addColumn<QString>("texto");
    QTest::addColumn<QString>("selecao");
    QTest::addColumn<QStringList>("gravadas");

    auto teclas = [](const QString& texto) {
        QTestEventList lista;
        lista.addKeyClicks(texto);
        return lista;
    };
    QTestEventList apaga;
    apaga.addKeyClick(Qt::Key_Backspace);

    QTest::newRow("typing COM3 over the selected Default changes twice")
        << u"Default"_s << -1 << teclas(u"COM3"_s) << u"COM3"_s << QString()
        << QStringList{u"COM1"_s, u"COM3"_s};
    QTest::newRow("a lower-case c completes to cOM1")
        << u"Default"_s << -1 << teclas(u"c"_s) << u"cOM1"_s << u"OM1"_s << QStringList{u"cOM1"_s};
    QTest::newRow("C then O and M stay on COM1")
        << u"Default"_s << -1 << teclas(u"COM"_s) << u"COM1"_s << u"1"_s << QStringList{u"COM1"_s};
    QTest::newRow("a character after Default begins no entry")
        << u"Default"_s << 7 << teclas(u"x"_s) << u"Defaultx"_s << QString()
        << QStringList{u"Defaultx"_s};
    QTest::newRow("every keystroke of a text that begins no entry writes")
        << u"Default"_s << -1 << teclas(u"XYZ"_s) << u"XYZ"_s << QString()
        << QStringList{u"X"_s, u"XY"_s, u"XYZ"_s};
    QTest::newRow("COM1 then 0 moves on to COM10")
        << u"Default"_s << -1 << teclas(u"COM10"_s) << u"COM10"_s << QString()
        << QStringList{u"COM1"_s, u"COM10"_s};
    QTest::newRow("typing the whole entry raises one change")
        << u"Default"_s << -1 << teclas(u"Default"_s) << u"Default"_s << QString() << QStringList{};
    QTest::newRow("a digit typed inside the text")
        << u"COM1"_s << 3 << teclas(u"2"_s) << u"COM21"_s << QString() << QStringList{u"COM21"_s};
    QTest::newRow("backspace in an empty box still changes")
        << QString() << 0 << apaga << QString() << QString() << QStringList{QString()};
    QTest::newRow("backspace deletes the selection")
        << u"Default"_s << -1 << apaga << QString() << QString() << QStringList{QString()};
    QTest::newRow("backspace deletes the character before the caret")
        << u"COM12"_s << 5 << apaga << u"COM1"_s << QString() << QStringList{u"COM1"_s};
    QTest::newRow("backspace at the start deletes nothing but changes")
        << u"Default"_s << 0 << apaga << u"Default"_s << QString() << QStringList{u"Default"_s};

    QTestEventList apagaEDigita;
    apagaEDigita.addKeyClick(Qt::Key_Backspace);
    apagaEDigita.addKeyClick(Qt::Key_1);
    QTest::newRow("completion after backspace is a change, the list selection was cleared")
        << u"COM1"_s << 4 << apagaEDigita << u"COM1"_s << QString()
        << QStringList{u"COM"_s, u"COM1"_s};

    QTestEventList outraEntrada;
    outraEntrada.addKeyClicks(u"Z"_s);
    outraEntrada.addKeyClick(Qt::Key_A, Qt::ControlModifier);
    outraEntrada.addKeyClicks(u"D"_s);
    QTest::newRow("after a text of no entry, going back to Default is written")
        << u"Default"_s << -1 << outraEntrada << u"Default"_s << u"efault"_s
        << QStringList{u"Z"_s, u"Default"_s};

    QTestEventList apagaAFrente;
    apagaAFrente.addKeyClick(Qt::Key_Delete);
    QTest::newRow("forward delete changes once") << u"Default"_s << 0 << apagaAFrente << u"efault"_s
                                                 << QString() << QStringList{u"efault"_s};
    QTestEventList recorta;
    recorta.addKeyClick(Qt::Key_X, Qt::ControlModifier);
    QTest::newRow("cut changes once")
        << u"Default"_s << -1 << recorta << QString() << QString() << QStringList{QString()};
    QTestEventList cola;
    cola.addKeyClick(Qt::Key_V, Qt::ControlModifier);
    QTest::newRow("paste changes once")
        << u"Default"_s << -1 << cola << u"COM7"_s << QString() << QStringList{u"COM7"_s};
    QTestEventList enter;
    enter.addKeyClick(Qt::Key_Return);
    QTest::newRow("Enter is not a character of the box")
        << u"Default"_s << -1 << enter << u"Default"_s << u"Default"_s << QStringList{};
}

void TstJanela::completar() {
    QFETCH(QString, inicial);
    QFETCH(int, cursor);
    QFETCH(QTestEventList, teclas);
    QFETCH(QString, texto);
    QFETCH(QString, selecao);
    QFETCH(QStringList, gravadas);

    GravaArquivo(Ini(), "[Sistema]\r\nPorta=" + inicial.toUtf8() + "\r\n");
    Abre();
    QApplication::clipboard()->setText(u"COM7"_s);
    QLineEdit* edicao = Porta()->lineEdit();
    Porta()->setFocus();
    if (cursor < 0)
        edicao->selectAll();
    else
        edicao->setCursorPosition(cursor);

    teclas.simulate(Porta());

    QCOMPARE(edicao->text(), texto);
    QCOMPARE(edicao->selectedText(), selecao);
    QCOMPARE(gravadas_, gravadas);
    QVERIFY(captura_->Vistas().isEmpty());
}

void TstJanela::escolherDaLista() {
    GravaArquivo(Ini(), "[Sistema]\r\nPorta=Default\r\n");
    Abre();
    Porta()->setFocus();
    QTest::keyClick(Porta(), Qt::Key_Down);
    QTest::keyClick(Porta(), Qt::Key_Down);
    QTest::keyClick(Porta(), Qt::Key_Up);
    QCOMPARE(gravadas_, (QStringList{u"COM1"_s, u"COM2"_s, u"COM1"_s}));
    QTest::keyClick(Porta(), Qt::Key_Up);
    QCOMPARE(Porta()->currentText(), u"Default"_s);
    QCOMPARE(gravadas_.last(), u"Default"_s);
}

void TstJanela::falhaAoGravarNoInicio() {
    // A folder where the file should be: no one, root included, can write it.
    QVERIFY(QDir(pasta_->path()).mkdir(u"Bemafi32.ini"_s));
    Abre();
    QCOMPARE(captura_->Vistas().size(), 1);
    const TCaixaVista caixa = captura_->Vistas().first();
    QCOMPARE(caixa.icone, QMessageBox::Critical);
    QCOMPARE(caixa.titulo, u"tst_janela"_s);
    QCOMPARE(caixa.texto, u"Unable to write to "_s + pasta_->path() + u"/Bemafi32.ini."_s);
    QCOMPARE(caixa.botoes, QStringList{u"OK"_s});
    QVERIFY2(!caixa.sonda, "the error box must come before the window is on screen");
    QCOMPARE(Porta()->currentText(), u"Default"_s);
    QCOMPARE(duplo::Diario(), QStringList{kSeleciona});
    QVERIFY(janela_->isVisible());
}

void TstJanela::falhaAoGravarAoMudarPorta() {
    Abre();
    QVERIFY(QFile::remove(Ini()));
    QVERIFY(QDir(pasta_->path()).mkdir(u"Bemafi32.ini"_s));
    Porta()->setFocus();
    Porta()->lineEdit()->selectAll();
    QTest::keyClicks(Porta(), u"C"_s);
    QCOMPARE(captura_->Vistas().size(), 1);
    QCOMPARE(captura_->Vistas().first().texto,
             u"Unable to write to "_s + pasta_->path() + u"/Bemafi32.ini."_s);
    QCOMPARE(duplo::Diario(), (QStringList{kSeleciona, kReload}));
    // The program carries on: the next keystroke is handled, and fails the same way.
    QTest::keyClick(Porta(), Qt::Key_Backspace);
    QCOMPARE(captura_->Vistas().size(), 2);
}

void TstJanela::relatorioDeErro_data() {
    QTest::addColumn<QString>("mensagem");
    QTest::addColumn<QString>("mostrada");
    QTest::newRow("a letter gets a full stop") << u"Falhou"_s << u"Falhou."_s;
    QTest::newRow("a digit gets a full stop") << u"Erro 5"_s << u"Erro 5."_s;
    QTest::newRow("an accented letter gets a full stop") << u"Não gravou"_s << u"Não gravou."_s;
    QTest::newRow("a full stop stays alone") << u"Done."_s << u"Done."_s;
    QTest::newRow("an exclamation mark is below the full stop") << u"Erro !"_s << u"Erro !"_s;
    QTest::newRow("a closing parenthesis is below the full stop") << u"(x)"_s << u"(x)"_s;
    QTest::newRow("a slash is above the full stop") << u"/tmp/"_s << u"/tmp/."_s;
    QTest::newRow("an empty message stays empty") << QString() << QString();
}

void TstJanela::relatorioDeErro() {
    QFETCH(QString, mensagem);
    QFETCH(QString, mostrada);
    TFalha falha(mensagem);
    QEvent evento(QEvent::User);
    QCoreApplication::sendEvent(&falha, &evento);
    QCOMPARE(TAplicacao::Escapados(), escapados_ + 1);
    QCOMPARE(captura_->Vistas().size(), 1);
    const TCaixaVista caixa = captura_->Vistas().first();
    QCOMPARE(caixa.icone, QMessageBox::Critical);
    QCOMPARE(caixa.titulo, u"tst_janela"_s);
    QCOMPARE(caixa.texto, mostrada);
    QCOMPARE(caixa.botoes, QStringList{u"OK"_s});
}

void TstJanela::estiloAusente() {
    AplicaEstiloOuAvisa(*qApp, u"No Such Style"_s);
    QCOMPARE(captura_->Vistas().size(), 1);
    const TCaixaVista caixa = captura_->Vistas().first();
    QCOMPARE(caixa.icone, QMessageBox::Critical);
    QCOMPARE(caixa.titulo, u"Error"_s);
    QCOMPARE(caixa.texto, u"Style 'No Such Style' not found"_s);
    QCOMPARE(caixa.botoes, QStringList{u"&Close"_s});
}

void TstJanela::localizar_data() {
    QTest::addColumn<int>("abre");
    QTest::addColumn<int>("ack");
    QTest::addColumn<QMessageBox::Icon>("icone");
    QTest::addColumn<QString>("titulo");
    QTest::addColumn<QString>("texto");
    QTest::addColumn<bool>("habilitado");
    QTest::newRow("idle printer")
        << 1 << 6 << QMessageBox::NoIcon << u"tst_janela"_s
        << u"1ª Resposta : OK\n2ª Resposta : OK\n3ª Resposta : COMANDO OK"_s << true;
    QTest::newRow("port cannot be opened")
        << -5 << 6 << QMessageBox::Information << u"LOCALIZAÇÃO DO ECF"_s
        << u"Erro de Comunicação, Impressora não Localizada"_s << false;
    QTest::newRow("printer refuses")
        << 1 << 21 << QMessageBox::Critical << u"Atenção"_s
        << u"A Impressora retornou NAK !\nErro de Protocolo de Comunicação !"_s << true;
}

void TstJanela::localizar() {
    QFETCH(int, abre);
    QFETCH(int, ack);
    QFETCH(QMessageBox::Icon, icone);
    QFETCH(QString, titulo);
    QFETCH(QString, texto);
    QFETCH(bool, habilitado);

    Abre();
    duplo::Enfileira(u"Bematech_FI_AbrePortaSerial"_s, {abre, {}});
    duplo::Enfileira(u"Bematech_FI_VerificaEstadoImpressoraMFD"_s, {1, {6, 0, 0, 0}});
    duplo::Enfileira(u"Bematech_FI_VerificaEstadoImpressoraMFD"_s, {1, {ack, 0, 0, 0}});
    // Enter presses the focused locate button.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);

    QCOMPARE(captura_->Vistas().size(), 1);
    const TCaixaVista caixa = captura_->Vistas().first();
    QCOMPARE(caixa.icone, icone);
    QCOMPARE(caixa.titulo, titulo);
    QCOMPARE(caixa.texto, texto);
    QCOMPARE(caixa.botoes, QStringList{u"OK"_s});
    QVERIFY(caixa.modal);
    QCOMPARE(caixa.papel, QAccessible::AlertMessage);
    QCOMPARE(caixa.nomeAcessivel, titulo);
    QCOMPARE(caixa.valorAcessivel, texto);
    QCOMPARE(Controle<QPushButton>("BtLeituraX")->isEnabled(), habilitado);
}

void TstJanela::mensagemFechaComEnterEEscape_data() {
    QTest::addColumn<Qt::Key>("tecla");
    QTest::newRow("Enter") << Qt::Key_Return;
    QTest::newRow("Escape") << Qt::Key_Escape;
}

void TstJanela::mensagemFechaComEnterEEscape() {
    QFETCH(Qt::Key, tecla);
    Abre();
    captura_->FechaCom(tecla);
    Controle<QPushButton>("BtLocalizar")->click();
    QCOMPARE(captura_->Vistas().size(), 1);
    const TCaixaVista caixa = captura_->Vistas().first();
    QVERIFY(caixa.fechouComTecla);
    // Centred on the screen, not on the window (within the frame, unknown before showing).
    const QPoint centro = QGuiApplication::primaryScreen()->availableGeometry().center();
    QVERIFY2((caixa.geometria.center() - centro).manhattanLength() <= 8,
             qPrintable(u"box centre %1,%2"_s.arg(caixa.geometria.center().x())
                            .arg(caixa.geometria.center().y())));
}

void TstJanela::doInicioALeituraX() {
    Abre();
    auto* leituraX = Controle<QPushButton>("BtLeituraX");
    QTest::mouseClick(leituraX, Qt::LeftButton);
    QVERIFY(captura_->Vistas().isEmpty());

    QTest::mouseClick(Controle<QPushButton>("BtLocalizar"), Qt::LeftButton);
    QVERIFY(leituraX->isEnabled());
    duplo::Enfileira(u"Bematech_FI_LeituraX"_s, {-27, {}});
    duplo::Enfileira(u"Bematech_FI_RetornoImpressoraMFD"_s, {1, {6, 128, 0, 11}});
    QTest::mouseClick(leituraX, Qt::LeftButton);
    janela_->close();

    QCOMPARE(duplo::Diario(),
             (QStringList{kSeleciona, kReload, u"Bematech_FI_AbrePortaSerial"_s,
                          u"Bematech_FI_VerificaEstadoImpressoraMFD"_s,
                          u"Bematech_FI_VerificaEstadoImpressoraMFD"_s,
                          u"Bematech_FI_RetornoImpressoraMFD"_s, u"Bematech_FI_LeituraX"_s,
                          u"Bematech_FI_RetornoImpressoraMFD"_s, kFecha}));
    QStringList vistas;
    for (const TCaixaVista& caixa : captura_->Vistas())
        vistas << caixa.titulo + u'|' + caixa.texto;
    QCOMPARE(
        vistas,
        (QStringList{u"tst_janela|1ª Resposta : OK\n2ª Resposta : OK\n3ª Resposta : COMANDO OK"_s,
                     u"RETORNO DO ECF|Status diferente de 6, 0, 0 !"_s,
                     u"tst_janela|1ª Resposta :  \"Fim do Papel\"\n2ª Resposta : OK\n"
                     u"3ª Resposta : Status diferente de 6, 0, 0 !IMPRESSORA SEM PAPEL"_s}));
}

// The program's own application object, so that errors escaping a handler reach its report.
int main(int argc, char* argv[]) {
    TAplicacao aplicacao(argc, argv);
    CarregaFontes();
    TstJanela teste;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&teste, argc, argv);
}
#include "tst_janela.moc"
