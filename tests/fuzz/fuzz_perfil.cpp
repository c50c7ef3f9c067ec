// The profile text parse and transform. The input's front is the file's text; the bytes
// at its end choose the section, key and value, from short lists of interesting names or
// from the data itself. Besides crashes and sanitizer reports, it checks that
// - a value read is a piece of the text, and well-formed UTF-8 of at most 2047 characters
//   when the text is; keys read together in one pass read as each read alone;
// - a write changes or adds lines only where the value goes: what the old text loses lies
//   within one line, and at most three line breaks come in;
// - a value with a line break or a NUL changes nothing;
// - a UTF-8 text saved as UTF-16 (either byte order) reads the same and is written the
//   same, in UTF-16, and a UTF-16 text stays UTF-16;
// - for a key that the format can carry (no `=` in it nor `[` at its start), writing the
//   same again changes nothing, a value written reads back as written (when it has no
//   blanks or matching quotes around it), and a section or key of another name reads the
//   same before and after.
#include "perfil.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kMaxCaracteres = 2047;

void Exige(bool condicao, const char* propriedade) {
    if (!condicao) {
        std::fprintf(stderr, "property broken: %s\n", propriedade);
        std::abort();
    }
}

std::string_view Apara(std::string_view s) {
    const auto inicio = s.find_first_not_of(" \t");
    if (inicio == std::string_view::npos) return {};
    return s.substr(inicio, s.find_last_not_of(" \t") - inicio + 1);
}

// The number of characters of well-formed UTF-8, or npos when it is not.
std::size_t CaracteresUtf8(std::string_view s) {
    std::size_t caracteres = 0;
    for (std::size_t i = 0; i < s.size(); ++caracteres) {
        const unsigned char c = s[i];
        std::size_t n = c < 0x80   ? 1
                        : c < 0xC2 ? 0
                        : c < 0xE0 ? 2
                        : c < 0xF0 ? 3
                        : c < 0xF5 ? 4
                                   : 0;
        if (n == 0 || i + n > s.size()) return std::string_view::npos;
        char32_t ponto = n == 1 ? c : c & (0xFF >> (n + 1));
        for (std::size_t k = 1; k < n; ++k) {
            const unsigned char seguinte = s[i + k];
            if ((seguinte & 0xC0) != 0x80) return std::string_view::npos;
            ponto = (ponto << 6) | (seguinte & 0x3F);
        }
        const char32_t menor[] = {0, 0, 0x80, 0x800, 0x10000};
        if (ponto < menor[n] || ponto > 0x10FFFF || (ponto >= 0xD800 && ponto <= 0xDFFF))
            return std::string_view::npos;
        i += n;
    }
    return caracteres;
}

// The line breaks of `s` that start in [inicio, fim): a CR LF counts once, where its CR is.
std::size_t Quebras(std::string_view s, std::size_t inicio, std::size_t fim) {
    std::size_t quebras = 0;
    for (std::size_t i = inicio; i < fim; ++i)
        if (s[i] == '\r' || (s[i] == '\n' && (i == 0 || s[i - 1] != '\r'))) ++quebras;
    return quebras;
}

// The first `n` characters of well-formed UTF-8, where each byte but a continuation byte
// starts one.
std::string_view Primeiros(std::string_view s, std::size_t n) {
    std::size_t inicios = 0;
    for (std::size_t i = 0; i < s.size(); ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80 && inicios++ == n)
            return s.substr(0, i);
    return s;
}

// Well-formed UTF-8 as a UTF-16 file: its byte-order mark, then the code units,
// little-endian or big-endian.
std::string Unicode(std::string_view utf8, bool grande) {
    std::string r = grande ? "\xfe\xff" : "\xff\xfe";
    const auto poe = [&](char32_t u) {
        r += static_cast<char>(grande ? u >> 8 : u & 0xFF);
        r += static_cast<char>(grande ? u & 0xFF : u >> 8);
    };
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char c = utf8[i];
        const std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        char32_t ponto = n == 1 ? c : c & (0xFF >> (n + 1));
        for (std::size_t k = 1; k < n; ++k)
            ponto = (ponto << 6) | (utf8[i + k] & 0x3F);
        if (ponto >= 0x10000) {
            poe(0xD800 + ((ponto - 0x10000) >> 10));
            poe(0xDC00 + ((ponto - 0x10000) & 0x3FF));
        } else {
            poe(ponto);
        }
        i += n;
    }
    return r;
}

std::string Escolhe(FuzzedDataProvider& dados, const std::vector<std::string>& lista,
                    std::size_t maximo) {
    const auto escolha = dados.ConsumeIntegralInRange<std::size_t>(0, lista.size());
    return escolha < lista.size() ? lista[escolha] : dados.ConsumeRandomLengthString(maximo);
}

std::string Repete(std::string_view pedaco, int vezes) {
    std::string s;
    while (vezes-- > 0)
        s += pedaco;
    return s;
}

const std::vector<std::string> kSecoes = {"Sistema", "SISTEMA", " sistema\t", "Geral", "Outra",
                                          "",        "a]b",     "[x",         "Seção", "SEÇÃO",
                                          "Ωμέγα",   "ЖУРНАЛ",  "Ÿ"};
const std::vector<std::string> kChaves = {"Porta",  "PORTA",  "Path", " path ", ";Porta", "", "x",
                                          "Código", "CÓDIGO", "a=b",  "[x]",    "#Porta"};
const std::vector<std::string> kValores = {"COM1",
                                           "C:\\Teste\\",
                                           "",
                                           "  COM2\t",
                                           "\"COM3\"",
                                           "'x'",
                                           "a=b",
                                           "ç€🖨",
                                           "\"",
                                           "x\r\ny",
                                           "[Sistema]",
                                           std::string("CO\0M1", 5),
                                           "; nao",
                                           Repete("v", 2047),
                                           Repete("w", 3000),
                                           Repete("\xc3", 1500),
                                           Repete("€", 1000),
                                           Repete("ç", 2100),
                                           Repete("🖨", 600) + "ab"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t tamanho) {
    FuzzedDataProvider dados(bytes, tamanho);
    const std::string secao = Escolhe(dados, kSecoes, 24);
    const std::string chave = Escolhe(dados, kChaves, 24);
    const std::string valor = Escolhe(dados, kValores, 64);
    const std::string outraSecao = Escolhe(dados, kSecoes, 24);
    const std::string outraChave = Escolhe(dados, kChaves, 24);
    const std::string texto = dados.ConsumeRemainingBytesAsString();

    // A UTF-16 text: read through its UTF-8 form, so its values are no pieces of it.
    const bool utf16 = texto.starts_with("\xff\xfe") || texto.starts_with("\xfe\xff");
    const bool utf8 = CaracteresUtf8(texto) != std::string_view::npos;
    const bool nomesUtf8 = CaracteresUtf8(secao) != std::string_view::npos &&
                           CaracteresUtf8(chave) != std::string_view::npos &&
                           CaracteresUtf8(valor) != std::string_view::npos;

    const std::string lido = perfil::LerDoTexto(texto, secao, chave);
    if (!utf16) Exige(texto.find(lido) != std::string::npos, "a value read is a piece of the text");
    perfil::Consulta consultas[] = {
        {outraSecao, outraChave}, {secao, chave}, {secao, outraChave}, {outraSecao, chave}};
    perfil::LerDoTexto(texto, consultas);
    for (const auto& consulta : consultas)
        Exige(consulta.valor == perfil::LerDoTexto(texto, consulta.secao, consulta.chave),
              "keys read together read as each alone");
    if (utf8)
        Exige(CaracteresUtf8(lido) <= kMaxCaracteres,
              "a value read from UTF-8 is UTF-8 of at most 2047 characters");

    const std::string novo = perfil::GravarNoTexto(texto, secao, chave, valor);
    // The same text saved as UTF-16 reads the same, and is written the same in UTF-16.
    if (utf8) {
        for (const bool grande : {false, true}) {
            const std::string unicode = Unicode(texto, grande);
            Exige(perfil::LerDoTexto(unicode, secao, chave) == lido,
                  "a UTF-16 text reads as its UTF-8 form");
            if (nomesUtf8)
                Exige(perfil::GravarNoTexto(unicode, secao, chave, valor) == Unicode(novo, grande),
                      "a UTF-16 text is written as its UTF-8 form, in UTF-16");
        }
    }
    if (perfil::QuebraLinha(secao) || perfil::QuebraLinha(chave) || perfil::QuebraLinha(valor)) {
        Exige(novo == texto, "a line break or NUL changes nothing");
        return 0;
    }

    if (utf16) Exige(novo.substr(0, 2) == texto.substr(0, 2), "a UTF-16 text stays UTF-16");
    const std::size_t menor = std::min(texto.size(), novo.size());
    std::size_t prefixo = 0, sufixo = 0;
    while (prefixo < menor && texto[prefixo] == novo[prefixo])
        ++prefixo;
    while (sufixo < menor - prefixo &&
           texto[texto.size() - 1 - sufixo] == novo[novo.size() - 1 - sufixo])
        ++sufixo;
    const std::string_view perdido =
        std::string_view(texto).substr(prefixo, texto.size() - prefixo - sufixo);
    if (!utf16) {
        Exige(perdido.find_first_of("\r\n") == std::string_view::npos,
              "what the old text loses lies within one line");
        Exige(Quebras(novo, prefixo, novo.size() - sufixo) <= 3,
              "at most three line breaks come in");
    }

    const std::string_view nomeChave = Apara(chave);
    const bool chaveSimples =
        nomeChave.find('=') == std::string_view::npos && !nomeChave.starts_with('[');
    // In UTF-16 a byte that is no UTF-8 is written as U+FFFD: the name no longer matches.
    if (chaveSimples && (!utf16 || nomesUtf8))
        Exige(perfil::GravarNoTexto(novo, secao, chave, valor) == novo,
              "writing the same again changes nothing");
    const bool valorSimples =
        Apara(valor) == valor &&
        !(valor.size() >= 2 && (valor[0] == '"' || valor[0] == '\'') && valor.back() == valor[0]);
    if (chaveSimples && valorSimples && (!utf16 || nomesUtf8)) {
        const std::string relido = perfil::LerDoTexto(novo, secao, chave);
        if (CaracteresUtf8(valor) != std::string_view::npos)
            Exige(relido == Primeiros(valor, kMaxCaracteres),
                  "a value written reads back as written, cut to 2047 characters");
        else if (valor.size() <= kMaxCaracteres)
            Exige(relido == valor, "a value written reads back as written");
        else
            Exige(std::string_view(valor).starts_with(relido) && !relido.empty(),
                  "a long value written reads back cut");
    }

    // Letter case folds keep the byte length of a name, so names whose lengths differ never
    // match each other.
    if (chaveSimples && (!utf16 || nomesUtf8) &&
        (Apara(outraSecao).size() != Apara(secao).size() ||
         Apara(outraChave).size() != nomeChave.size()))
        Exige(perfil::LerDoTexto(novo, outraSecao, outraChave) ==
                  perfil::LerDoTexto(texto, outraSecao, outraChave),
              "another section or key reads the same");
    return 0;
}
