#include "recibo.h"

#include <cstdio>
#include <string_view>

namespace emulador {

namespace {

constexpr std::size_t kColunas = 48;

// Printed width: one column per UTF-8 character, whatever its bytes.
std::size_t Colunas(std::string_view texto) {
    std::size_t n = 0;
    for (unsigned char c : texto)
        n += (c & 0xC0) != 0x80;
    return n;
}

std::string Centro(std::string_view texto) {
    const std::size_t largura = Colunas(texto);
    const std::size_t margem = largura < kColunas ? (kColunas - largura) / 2 : 0;
    return std::string(margem, ' ') + std::string(texto) + '\n';
}

// `esquerda` at the left margin, `direita` against the right one.
std::string Linha(std::string_view esquerda, std::string_view direita) {
    const std::size_t usadas = Colunas(esquerda) + Colunas(direita);
    const std::size_t meio = usadas < kColunas ? kColunas - usadas : 1;
    return std::string(esquerda) + std::string(meio, ' ') + std::string(direita) + '\n';
}

std::string Traco() { return std::string(kColunas, '-') + '\n'; }

std::string Numero(unsigned valor, int digitos) {
    char texto[16];
    std::snprintf(texto, sizeof texto, "%0*u", digitos, valor);
    return texto;
}

// 1523407 centavos -> "15.234,07"
std::string Dinheiro(int64_t centavos) {
    std::string inteiro = std::to_string(centavos / 100);
    for (auto i = static_cast<std::ptrdiff_t>(inteiro.size()) - 3; i > 0; i -= 3)
        inteiro.insert(static_cast<std::size_t>(i), ".");
    return inteiro + "," + Numero(static_cast<unsigned>(centavos % 100), 2);
}

std::string DataHora(const std::tm& quando) {
    char texto[32];
    std::strftime(texto, sizeof texto, "%d/%m/%Y %H:%M:%S", &quando);
    return texto;
}

} // namespace

std::string LeituraX(const Contadores& c, const std::tm& quando) {
    const std::string dataHora = DataHora(quando);
    const std::string zero = Dinheiro(0);
    std::string r;
    r += Centro("PADARIA E CONFEITARIA PÃO DOURADO LTDA");
    r += Centro("PÃO DOURADO");
    r += Centro("RUA DAS ACÁCIAS, 1234 - JARDIM BOTÂNICO");
    r += Centro("CURITIBA - PR - CEP 80210-170");
    r += "CNPJ:12.345.678/0001-95\n";
    r += Linha("IE:901.23456-78", "IM:0012345-6");
    r += Traco();
    r += Linha(dataHora, "COO:" + Numero(c.coo, 6));
    r += Centro("LEITURA X");
    r += Traco();
    r += "CONTADORES\n";
    r += Linha("Contador de Ordem de Operação (COO):", Numero(c.coo, 6));
    r += Linha("Geral de Operação Não Fiscal (GNF):", Numero(c.gnf, 6));
    r += Linha("Contador de Reduções Z (CRZ):", Numero(c.crz, 4));
    r += Linha("Reinício de Operação (CRO):", Numero(c.cro, 4));
    r += Linha("Cupom Fiscal (CCF):", Numero(c.ccf, 6));
    r += Linha("Comprovante Crédito/Débito (CDC):", Numero(c.cdc, 4));
    r += Linha("Relatório Gerencial (GRG):", Numero(c.grg, 6));
    r += Traco();
    r += "TOTALIZADORES\n";
    r += Linha("Totalizador Geral (GT):", "R$ " + Dinheiro(c.gtCentavos));
    r += Linha("Venda Bruta Diária:", zero);
    r += Linha("Cancelamentos ICMS:", zero);
    r += Linha("Descontos ICMS:", zero);
    r += Linha("Acréscimos ICMS:", zero);
    r += Linha("Venda Líquida:", zero);
    r += Traco();
    r += "ICMS\n";
    r += Linha("T01  18,00%", zero);
    r += Linha("T02  12,00%", zero);
    r += Linha("T03   7,00%", zero);
    r += Linha("Substituição Tributária (F1)", zero);
    r += Linha("Isento (I1)", zero);
    r += Linha("Não Incidência (N1)", zero);
    r += Traco();
    r += "MEIOS DE PAGAMENTO\n";
    r += Linha("Dinheiro", zero);
    r += Traco();
    r += Linha("BEMATECH MP-4200 TH FI", "ECF-IF");
    r += Linha("VERSÃO:01.00.01 ECF:001 LJ:0001", dataHora.substr(0, 10));
    r += Linha("FAB:BE091210100011223344", dataHora.substr(11));
    return r;
}

} // namespace emulador
