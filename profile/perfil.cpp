#include "perfil.h"

#include "arquivo.h"

#include <vector>

namespace perfil {

namespace {

constexpr std::size_t kMaxCaracteres = 2047; // a 2048-character buffer with its final zero
constexpr std::string_view kMarcaUtf8 = "\xEF\xBB\xBF";
constexpr std::size_t npos = std::string_view::npos;

std::string_view Apara(std::string_view s) {
    const auto inicio = s.find_first_not_of(" \t");
    if (inicio == npos) return {};
    return s.substr(inicio, s.find_last_not_of(" \t") - inicio + 1);
}

unsigned char Byte(std::string_view s, std::size_t i) { return static_cast<unsigned char>(s[i]); }

// Length of the well-formed UTF-8 sequence at s[i]; 1 for a byte that starts none.
std::size_t Sequencia(std::string_view s, std::size_t i) {
    const unsigned c = Byte(s, i);
    if (c < 0xC2 || c > 0xF4) return 1;
    std::size_t n = 2;
    unsigned menor = 0x80, maior = 0xBF; // the range of the second byte
    if (c >= 0xF0) {
        n = 4;
        menor = c == 0xF0 ? 0x90 : 0x80;
        maior = c == 0xF4 ? 0x8F : 0xBF;
    } else if (c >= 0xE0) {
        n = 3;
        menor = c == 0xE0 ? 0xA0 : 0x80;
        maior = c == 0xED ? 0x9F : 0xBF; // no surrogates
    }
    if (i + n > s.size() || Byte(s, i + 1) < menor || Byte(s, i + 1) > maior) return 1;
    for (std::size_t k = 2; k < n; ++k)
        if ((Byte(s, i + k) & 0xC0) != 0x80) return 1;
    return n;
}

// The character of the sequence s[i, i + n); a byte that starts no sequence gets a value
// of its own above every Unicode character.
char32_t Caractere(std::string_view s, std::size_t i, std::size_t n) {
    if (n == 1) return Byte(s, i) < 0x80 ? Byte(s, i) : 0x110000 + Byte(s, i);
    char32_t c = Byte(s, i) & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k)
        c = (c << 6) | (Byte(s, i + k) & 0x3F);
    return c;
}

char32_t Minuscula(char32_t c) {
    if ((c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
        (c >= 0x391 && c <= 0x3AB && c != 0x3A2) || (c >= 0x410 && c <= 0x42F))
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    if (c == 0x178) return 0xFF;
    if (c == 0x130 || c == 0x131) // dotted capital I and dotless small i pair with i and I
        return c;
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c | 1;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return c + (c & 1);
    return c;
}

bool MesmoNome(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const std::size_t na = Sequencia(a, i), nb = Sequencia(b, j);
        if (Minuscula(Caractere(a, i, na)) != Minuscula(Caractere(b, j, nb))) return false;
        i += na;
        j += nb;
    }
    return i == a.size() && j == b.size();
}

enum class Tipo { Vazia, Secao, Chave };

struct Linha {
    std::size_t inicio;  // the line's text, without the line break (nor a byte order mark)
    std::size_t fim;     // where the line break starts
    std::size_t proxima; // where the next line starts
    Tipo tipo = Tipo::Vazia;
    std::string_view nome{};
    std::string_view valor{};
};

// Like Windows, every line that is neither blank nor a section line is a key: a comment
// `;Porta=COM1` is the key ";Porta", and a line `Porta` without `=` is "Porta" with no value.
Linha Classifica(std::string_view texto, std::size_t inicio, std::size_t fim, std::size_t proxima) {
    Linha linha{inicio, fim, proxima};
    const std::string_view conteudo = Apara(texto.substr(inicio, fim - inicio));
    if (conteudo.empty()) return linha;
    if (const auto fecha = conteudo.rfind(']'); conteudo.front() == '[' && fecha != npos) {
        linha.tipo = Tipo::Secao;
        linha.nome = Apara(conteudo.substr(1, fecha - 1));
        return linha;
    }
    const auto igual = conteudo.find('=');
    linha.tipo = Tipo::Chave;
    linha.nome = Apara(conteudo.substr(0, igual));
    if (igual != npos) linha.valor = Apara(conteudo.substr(igual + 1));
    return linha;
}

std::vector<Linha> Linhas(std::string_view texto) {
    std::vector<Linha> linhas;
    std::size_t inicio = texto.starts_with(kMarcaUtf8) ? kMarcaUtf8.size() : 0;
    while (inicio < texto.size()) {
        std::size_t fim = texto.find_first_of("\r\n", inicio);
        std::size_t proxima;
        if (fim == npos)
            fim = proxima = texto.size();
        else
            proxima = fim + (texto.compare(fim, 2, "\r\n") == 0 ? 2 : 1);
        linhas.push_back(Classifica(texto, inicio, fim, proxima));
        inicio = proxima;
    }
    return linhas;
}

// The line break for a line written after `linha`: its own, or else the text's first one,
// or else CR LF. Taking the neighbour's keeps a lone CR from meeting the LF of an empty
// line that follows and becoming one CR LF with it.
std::string_view Quebra(std::string_view texto, const Linha& linha) {
    if (linha.proxima > linha.fim) return texto.substr(linha.fim, linha.proxima - linha.fim);
    const auto quebra = texto.find_first_of("\r\n");
    if (quebra == npos || texto.compare(quebra, 2, "\r\n") == 0) return "\r\n";
    return texto.substr(quebra, 1);
}

struct Local {
    std::size_t secao = npos;  // the first section of the name
    std::size_t chave = npos;  // the first key of the name in it
    std::size_t ultima = npos; // its last non-blank line
};

Local Procura(const std::vector<Linha>& linhas, std::string_view secao, std::string_view chave) {
    Local local;
    for (std::size_t i = 0; i < linhas.size(); ++i) {
        const Linha& linha = linhas[i];
        if (linha.tipo == Tipo::Secao) {
            if (local.secao != npos) break;
            if (MesmoNome(linha.nome, secao)) local.secao = local.ultima = i;
        } else if (linha.tipo == Tipo::Chave && local.secao != npos) {
            local.ultima = i;
            if (local.chave == npos && MesmoNome(linha.nome, chave)) local.chave = i;
        }
    }
    return local;
}

std::string_view SemAspas(std::string_view valor) {
    if (valor.size() >= 2 && (valor.front() == '"' || valor.front() == '\'') &&
        valor.back() == valor.front())
        return valor.substr(1, valor.size() - 2);
    return valor;
}

std::string_view Corta(std::string_view valor) {
    std::size_t bytes = 0;
    for (std::size_t n = 0; n < kMaxCaracteres && bytes < valor.size(); ++n)
        bytes += Sequencia(valor, bytes);
    return valor.substr(0, bytes);
}

std::string LinhaDeChave(std::string_view chave, std::string_view valor) {
    std::string linha(chave);
    linha += '=';
    linha += valor;
    return linha;
}

} // namespace

bool QuebraLinha(std::string_view texto) {
    return texto.find_first_of(std::string_view("\r\n\0", 3)) != npos;
}

std::string LerDoTexto(std::string_view texto, std::string_view secao, std::string_view chave) {
    const auto linhas = Linhas(texto);
    const Local local = Procura(linhas, Apara(secao), Apara(chave));
    if (local.chave == npos) return {};
    std::string_view valor = linhas[local.chave].valor;
    valor = valor.substr(0, valor.find('\0')); // as Windows, which reads into a C string
    return std::string(Corta(SemAspas(valor)));
}

std::string GravarNoTexto(std::string_view texto, std::string_view secao, std::string_view chave,
                          std::string_view valor) {
    std::string novo(texto);
    if (QuebraLinha(secao) || QuebraLinha(chave) || QuebraLinha(valor)) return novo;
    secao = Apara(secao);
    chave = Apara(chave);
    const auto linhas = Linhas(texto);
    const Local local = Procura(linhas, secao, chave);

    if (local.chave != npos) {
        const Linha& linha = linhas[local.chave];
        novo.replace(linha.inicio, linha.fim - linha.inicio, LinhaDeChave(linha.nome, valor));
        return novo;
    }
    // A new key after the last non-blank line of its section, or a new section at the end.
    std::string inserida;
    std::size_t onde = novo.size();
    std::string_view quebra = "\r\n";
    if (!linhas.empty()) {
        const Linha& antes = local.secao != npos ? linhas[local.ultima] : linhas.back();
        onde = antes.proxima;
        quebra = Quebra(texto, antes);
        if (antes.proxima == antes.fim) // the last line, without its line break
            inserida = quebra;
    }
    if (local.secao == npos) {
        inserida += '[';
        inserida += secao;
        inserida += ']';
        inserida += quebra;
    }
    inserida += LinhaDeChave(chave, valor);
    inserida += quebra;
    novo.insert(onde, inserida);
    return novo;
}

std::string LerString(const std::filesystem::path& arquivo, std::string_view secao,
                      std::string_view chave) {
    std::string texto;
    if (arquivo::Ler(arquivo, texto)) return {};
    return LerDoTexto(texto, secao, chave);
}

std::error_code GravarString(const std::filesystem::path& arquivo, std::string_view secao,
                             std::string_view chave, std::string_view valor) {
    if (QuebraLinha(secao) || QuebraLinha(chave) || QuebraLinha(valor))
        return std::make_error_code(std::errc::invalid_argument);
    return arquivo::Reescrever(
        arquivo, [&](std::string_view atual) { return GravarNoTexto(atual, secao, chave, valor); });
}

} // namespace perfil
