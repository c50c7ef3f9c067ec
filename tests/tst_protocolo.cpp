// The protocol codec: frames written out byte by byte here, round trips, and a decoder that
// resynchronises after garbage, cut frames and bad checksums with a bounded buffer.
#include "protocolo.h"

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>
#include <QTest>

#include <stdexcept>

using namespace protocolo;

namespace {

QByteArray Bytes(const std::vector<uint8_t>& v) {
    return QByteArray(reinterpret_cast<const char*>(v.data()), static_cast<qsizetype>(v.size()));
}

std::span<const uint8_t> Vista(const QByteArray& b) {
    return {reinterpret_cast<const uint8_t*>(b.constData()), static_cast<std::size_t>(b.size())};
}

// Frames worked out by hand (CRC-16/CCITT-FALSE over length and payload, then escaping).
const QByteArray kStatus7 = QByteArray::fromHex("020003500710305FB8"); // request #7 Status
const QByteArray kLeituraX1 = QByteArray::fromHex("020003500120C34D"); // request #1 X reading
const QByteArray kPoucoPapel7 = QByteArray::fromHex("020006520706400000362F"); // answer #7 6 64 0 0
const QByteArray kPayloadStatus7 = QByteArray::fromHex("500710");
const QByteArray kPayloadLeituraX1 = QByteArray::fromHex("500120");
const QByteArray kPayloadPoucoPapel7 = QByteArray::fromHex("520706400000");

constexpr std::size_t kLimite = Decodificador::kMaxQuadro + Decodificador::kMaxProntos * kMaxCarga;

QList<QByteArray> Decodifica(Decodificador& d, const QByteArray& entrada, int pedaco) {
    QList<QByteArray> cargas;
    const qsizetype passo = pedaco > 0 ? pedaco : qMax<qsizetype>(entrada.size(), 1);
    for (qsizetype i = 0; i < entrada.size(); i += passo) {
        d.Alimenta(Vista(entrada.mid(i, passo)));
        while (auto carga = d.Proximo())
            cargas << Bytes(*carga);
    }
    return cargas;
}

} // namespace

class TstProtocolo : public QObject {
    Q_OBJECT
  private slots:
    void codifica_data();
    void codifica();
    void idaEVoltaPedido_data();
    void idaEVoltaPedido();
    void idaEVoltaResposta_data();
    void idaEVoltaResposta();
    void decodifica_data();
    void decodifica();
    void maisQuadrosQueProntosGuardaOsUltimos();
    void lixoSemFimMantemBufferLimitado_data();
    void lixoSemFimMantemBufferLimitado();
    void limpaEsqueceQuadroPelaMetade();
    void cargaGrandeDemaisERecusada();
    void leituraDaCarga_data();
    void leituraDaCarga();
    void descreve();
};

void TstProtocolo::codifica_data() {
    QTest::addColumn<QByteArray>("quadro");
    QTest::addColumn<QByteArray>("esperado");

    Pedido status{7, Comando::Status, {}};
    Pedido leitura{1, Comando::LeituraX, {}};
    Resposta poucoPapel{7, kAck, 64, 0, 0, {}};
    Resposta escapada{16, kNak, 2, 16, 7, {}};
    Resposta sequencia2{2, kAck, 0, 0, 0, {}};
    QTest::newRow("status request, command byte escaped") << Bytes(Codifica(status)) << kStatus7;
    QTest::newRow("X reading request") << Bytes(Codifica(leitura)) << kLeituraX1;
    QTest::newRow("answer with paper low") << Bytes(Codifica(poucoPapel)) << kPoucoPapel7;
    QTest::newRow("answer whose sequence and flags need escaping")
        << Bytes(Codifica(escapada)) << QByteArray::fromHex("020006521030151022103007D583");
    QTest::newRow("sequence 2 is the start byte, escaped")
        << Bytes(Codifica(sequencia2)) << QByteArray::fromHex("0200065210220600000008D5");
}

void TstProtocolo::codifica() {
    QFETCH(QByteArray, quadro);
    QFETCH(QByteArray, esperado);
    QCOMPARE(quadro.toHex(' '), esperado.toHex(' '));
}

void TstProtocolo::idaEVoltaPedido_data() {
    QTest::addColumn<int>("sequencia");
    QTest::addColumn<int>("comando");
    QTest::addColumn<QByteArray>("dados");

    QTest::newRow("status query") << 0 << 0x10 << QByteArray();
    QTest::newRow("status of the last command") << 255 << 0x11 << QByteArray();
    QTest::newRow("X reading") << 2 << 0x20 << QByteArray();
    QTest::newRow("unknown command keeps its byte") << 16 << 0x7F << QByteArray("abc");
    QTest::newRow("data made of reserved bytes")
        << 3 << 0x10 << QByteArray(40, '\x02') + QByteArray(40, '\x10');
    QTest::newRow("largest data") << 9 << 0x20
                                  << QByteArray(int(kMaxCarga - kCabecalhoPedido), '\x10');
}

void TstProtocolo::idaEVoltaPedido() {
    QFETCH(int, sequencia);
    QFETCH(int, comando);
    QFETCH(QByteArray, dados);

    const Pedido pedido{uint8_t(sequencia), Comando(comando),
                        std::vector<uint8_t>(dados.begin(), dados.end())};
    Decodificador d;
    const QList<QByteArray> cargas = Decodifica(d, Bytes(Codifica(pedido)), 0);
    QCOMPARE(cargas.size(), 1);
    const auto lido = LePedido(Vista(cargas[0]));
    QVERIFY(lido);
    QCOMPARE(lido->sequencia, pedido.sequencia);
    QCOMPARE(lido->comando, pedido.comando);
    QCOMPARE(Bytes(lido->dados), dados);
    QVERIFY(!LeResposta(Vista(cargas[0])));
    QCOMPARE(d.Descartados(), std::size_t{0});
}

void TstProtocolo::idaEVoltaResposta_data() {
    QTest::addColumn<int>("sequencia");
    QTest::addColumn<int>("ack");
    QTest::addColumn<int>("st1");
    QTest::addColumn<int>("st2");
    QTest::addColumn<int>("st3");
    QTest::addColumn<QByteArray>("dados");

    QTest::newRow("idle printer") << 1 << 6 << 0 << 0 << 0 << QByteArray();
    QTest::newRow("paper out") << 2 << 6 << 128 << 0 << 11 << QByteArray();
    QTest::newRow("refused") << 3 << 21 << 0 << 0 << 0 << QByteArray();
    QTest::newRow("every flag set, last ST3 code") << 255 << 6 << 255 << 255 << 218 << QByteArray();
    QTest::newRow("with data") << 0 << 6 << 0 << 0 << 0 << QByteArray("COO 000124");
    QTest::newRow("largest data") << 7 << 6 << 2 << 16 << 2
                                  << QByteArray(int(kMaxCarga - kCabecalhoResposta), '\x02');
}

void TstProtocolo::idaEVoltaResposta() {
    QFETCH(int, sequencia);
    QFETCH(int, ack);
    QFETCH(int, st1);
    QFETCH(int, st2);
    QFETCH(int, st3);
    QFETCH(QByteArray, dados);

    const Resposta resposta{uint8_t(sequencia), uint8_t(ack),
                            uint8_t(st1),       uint8_t(st2),
                            uint8_t(st3),       std::vector<uint8_t>(dados.begin(), dados.end())};
    Decodificador d;
    const QList<QByteArray> cargas = Decodifica(d, Bytes(Codifica(resposta)), 1);
    QCOMPARE(cargas.size(), 1);
    const auto lida = LeResposta(Vista(cargas[0]));
    QVERIFY(lida);
    QCOMPARE(lida->sequencia, resposta.sequencia);
    QCOMPARE(lida->ack, resposta.ack);
    QCOMPARE(lida->st1, resposta.st1);
    QCOMPARE(lida->st2, resposta.st2);
    QCOMPARE(lida->st3, resposta.st3);
    QCOMPARE(Bytes(lida->dados), dados);
    QVERIFY(!LePedido(Vista(cargas[0])));
}

void TstProtocolo::decodifica_data() {
    QTest::addColumn<QByteArray>("entrada");
    QTest::addColumn<int>("pedaco"); // bytes per read; 0 is everything in one read
    QTest::addColumn<QList<QByteArray>>("cargas");
    QTest::addColumn<int>("descartados");

    const QByteArray a = kStatus7;
    const QByteArray b = kPoucoPapel7;
    const QList<QByteArray> soB{kPayloadPoucoPapel7};
    const QList<QByteArray> aEB{kPayloadStatus7, kPayloadPoucoPapel7};
    QByteArray checksumRuim = a;
    checksumRuim[checksumRuim.size() - 1] = char(checksumRuim.back() ^ 0x01);
    QByteArray cargaAlterada = a;
    cargaAlterada[3] = 'Q'; // the kind byte, under an unchanged checksum

    QTest::newRow("one frame") << a << 0 << QList<QByteArray>{kPayloadStatus7} << 0;
    QTest::newRow("garbage before a frame") << QByteArray("xyz\xff\x10") + b << 0 << soB << 5;
    QTest::newRow("garbage between two frames")
        << a + QByteArray("\r\n\x00\x15", 4) + b << 0 << aEB << 4;
    QTest::newRow("truncated frame followed by a good one") << a.left(5) + b << 0 << soB << 5;
    QTest::newRow("truncated frame followed by a good one, byte by byte")
        << a.left(5) + b << 1 << soB << 5;
    QTest::newRow("frame cut before its checksum ends, then a good one")
        << a.chopped(1) + b << 0 << soB << int(a.size() - 1);
    QTest::newRow("bad checksum") << checksumRuim + b << 0 << soB << int(a.size());
    QTest::newRow("payload changed under its checksum")
        << cargaAlterada + b << 0 << soB << int(a.size());
    QTest::newRow("length over kMaxCarga")
        << QByteArray::fromHex("020300") + QByteArray(600, 'A') + b << 0 << soB << 603;
    QTest::newRow("length of one past kMaxCarga, escaped high byte")
        << QByteArray::fromHex("02102201") + QByteArray(513, 'A') + b << 0 << soB << 517;
    QTest::newRow("zero length") << QByteArray::fromHex("020000FFFF") + b << 0 << soB << 5;
    QTest::newRow("escape of a byte that needs none")
        << QByteArray::fromHex("0200104150") + b << 0 << soB << 5;
    QTest::newRow("bytes arriving one at a time") << a + b << 1 << aEB << 0;
    QTest::newRow("bytes arriving three at a time") << a + b << 3 << aEB << 0;
    QTest::newRow("two frames in one read") << a + b << 0 << aEB << 0;
    QTest::newRow("read split after an escape byte") << a + b << 6 << aEB << 0;
    QTest::newRow("nothing but a start") << QByteArray("\x02", 1) << 0 << QList<QByteArray>{} << 0;
}

void TstProtocolo::decodifica() {
    QFETCH(QByteArray, entrada);
    QFETCH(int, pedaco);
    QFETCH(QList<QByteArray>, cargas);
    QFETCH(int, descartados);

    Decodificador d;
    QCOMPARE(Decodifica(d, entrada, pedaco), cargas);
    QCOMPARE(d.Descartados(), std::size_t(descartados));
}

void TstProtocolo::maisQuadrosQueProntosGuardaOsUltimos() {
    Decodificador d;
    QByteArray entrada;
    std::size_t perdidos = 0;
    for (int i = 0; i < 6; ++i) {
        const QByteArray quadro = Bytes(Codifica(Resposta{uint8_t(100 + i), kAck, 0, 0, 0, {}}));
        entrada += quadro;
        if (i < 2) perdidos += std::size_t(quadro.size());
    }
    d.Alimenta(Vista(entrada));

    QList<int> sequencias;
    while (auto carga = d.Proximo())
        sequencias << LeResposta(*carga)->sequencia;
    QCOMPARE(sequencias, (QList<int>{102, 103, 104, 105}));
    QCOMPARE(d.Descartados(), perdidos);
}

void TstProtocolo::lixoSemFimMantemBufferLimitado_data() {
    QTest::addColumn<QByteArray>("padrao");
    QTest::addColumn<bool>("aleatorio");

    // Length 512 (its high byte is the start byte, so escaped), payload, a wrong checksum.
    const QByteArray longoRuim = QByteArray::fromHex("02102200") + QByteArray(512, 'A') + "zz";
    QTest::newRow("random bytes") << QByteArray() << true;
    QTest::newRow("longest frames with bad checksums") << longoRuim << false;
    QTest::newRow("longest frame never finished") << longoRuim.left(400) << false;
    QTest::newRow("nothing but starts") << QByteArray(64, '\x02') << false;
    QTest::newRow("nothing but escapes") << QByteArray(64, '\x10') << false;
}

void TstProtocolo::lixoSemFimMantemBufferLimitado() {
    QFETCH(QByteArray, padrao);
    QFETCH(bool, aleatorio);

    Decodificador d;
    QRandomGenerator gerador(4200);
    std::size_t total = 0;
    int cargas = 0;
    for (int rodada = 0; rodada < 4000; ++rodada) {
        QByteArray pedaco = padrao;
        if (aleatorio) {
            pedaco.resize(gerador.bounded(1, 700));
            for (char& c : pedaco)
                c = char(gerador.bounded(256));
        }
        d.Alimenta(Vista(pedaco));
        total += std::size_t(pedaco.size());
        QVERIFY2(d.Retidos() <= kLimite, QByteArray::number(qulonglong(d.Retidos())));
        while (d.Proximo())
            ++cargas;
    }
    QVERIFY(total > 1'000'000 || !aleatorio);
    QCOMPARE(cargas, 0);

    // And it still finds a good frame afterwards.
    d.Alimenta(Vista(kPoucoPapel7));
    const auto carga = d.Proximo();
    QVERIFY(carga);
    QCOMPARE(Bytes(*carga), kPayloadPoucoPapel7);
}

void TstProtocolo::limpaEsqueceQuadroPelaMetade() {
    Decodificador d;
    d.Alimenta(Vista(kStatus7.left(4)));
    d.Limpa();
    QCOMPARE(d.Retidos(), std::size_t{0});
    d.Alimenta(Vista(kStatus7.mid(4)));
    QVERIFY(!d.Proximo());
    d.Alimenta(Vista(kLeituraX1));
    const auto carga = d.Proximo();
    QVERIFY(carga);
    QCOMPARE(Bytes(*carga), kPayloadLeituraX1);
}

void TstProtocolo::cargaGrandeDemaisERecusada() {
    Pedido pedido{1, Comando::Status, std::vector<uint8_t>(kMaxCarga - kCabecalhoPedido + 1)};
    QVERIFY_THROWS_EXCEPTION(std::length_error, Codifica(pedido));
    Resposta resposta{1, kAck, 0, 0, 0, std::vector<uint8_t>(kMaxCarga - kCabecalhoResposta + 1)};
    QVERIFY_THROWS_EXCEPTION(std::length_error, Codifica(resposta));
}

void TstProtocolo::leituraDaCarga_data() {
    QTest::addColumn<QByteArray>("carga");
    QTest::addColumn<bool>("pedido");
    QTest::addColumn<bool>("resposta");

    QTest::newRow("request") << kPayloadStatus7 << true << false;
    QTest::newRow("answer") << kPayloadPoucoPapel7 << false << true;
    QTest::newRow("request without its command") << kPayloadStatus7.left(2) << false << false;
    QTest::newRow("answer without ST3") << kPayloadPoucoPapel7.left(5) << false << false;
    QTest::newRow("unknown kind") << QByteArray("X\x01\x10\x00\x00\x00", 6) << false << false;
    QTest::newRow("empty") << QByteArray() << false << false;
}

void TstProtocolo::leituraDaCarga() {
    QFETCH(QByteArray, carga);
    QFETCH(bool, pedido);
    QFETCH(bool, resposta);
    QCOMPARE(LePedido(Vista(carga)).has_value(), pedido);
    QCOMPARE(LeResposta(Vista(carga)).has_value(), resposta);
}

void TstProtocolo::descreve() {
    QCOMPARE(Descreve(Pedido{7, Comando::Status, {}}), std::string("pedido #7 Status"));
    QCOMPARE(Descreve(Pedido{8, Comando::StatusUltimo, {}}), std::string("pedido #8 StatusUltimo"));
    QCOMPARE(Descreve(Pedido{9, Comando::LeituraX, {1, 2}}),
             std::string("pedido #9 LeituraX +2 bytes"));
    QCOMPARE(Descreve(Pedido{1, Comando(0x7F), {}}), std::string("pedido #1 comando 0x7F"));
    QCOMPARE(Descreve(Resposta{7, kAck, 64, 0, 11, {}}),
             std::string("resposta #7 ACK 6 ST1 64 ST2 0 ST3 11"));
}

QTEST_APPLESS_MAIN(TstProtocolo)
#include "tst_protocolo.moc"
