#include "perfil.h"

#include "arquivo.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <vector>

namespace perfil {

namespace {

constexpr std::size_t kMaxCaracteres = 2047; // a 2048-character buffer with its final zero
constexpr std::string_view kMarcaUtf8 = "\xEF\xBB\xBF";
constexpr std::string_view kMarcaUtf16 = "\xFF\xFE";   // UTF-16LE
constexpr std::string_view kMarcaUtf16Be = "\xFE\xFF"; // UTF-16BE
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
    // Every pair of letters above has sequences of one length: names of different lengths
    // never match, which spares a large file most comparisons.
    if (a.size() != b.size()) return false;
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const std::size_t na = Sequencia(a, i), nb = Sequencia(b, j);
        if (Minuscula(Caractere(a, i, na)) != Minuscula(Caractere(b, j, nb))) return false;
        i += na;
        j += nb;
    }
    return i == a.size() && j == b.size();
}

// --- UTF-16, the "Unicode" of Windows editors ------------------------------------------
// The text side works on UTF-8: a UTF-16 text (UTF-16LE, or UTF-16BE, after its byte-order
// mark) is read through its UTF-8 form, and a write puts back in UTF-16 only what it
// changes, so that every other byte stays as it was, even those that are no UTF-16 (a lone
// surrogate, which the UTF-8 form keeps as a three-byte sequence of its own; an odd last
// byte, which it leaves out).

enum class Ordem { Nenhuma, Pequena, Grande }; // no UTF-16; little-endian; big-endian

Ordem OrdemUtf16(std::string_view texto) {
    if (texto.starts_with(kMarcaUtf16)) return Ordem::Pequena;
    if (texto.starts_with(kMarcaUtf16Be)) return Ordem::Grande;
    return Ordem::Nenhuma;
}

// Calls `faz(caractere, unidades)` for each character after the mark; a lone surrogate is a
// character of one unit.
template <typename F> void PorCaractere(std::string_view texto, Ordem ordem, F faz) {
    const int alto = ordem == Ordem::Grande ? 0 : 1; // the byte of a unit's high half
    const auto unidade = [&](std::size_t i) -> char32_t {
        return Byte(texto, i + alto) << 8 | Byte(texto, i + 1 - alto);
    };
    for (std::size_t i = kMarcaUtf16.size(); i + 1 < texto.size();) {
        const char32_t c = unidade(i);
        if (c >= 0xD800 && c <= 0xDBFF && i + 3 < texto.size()) {
            const char32_t baixa = unidade(i + 2);
            if (baixa >= 0xDC00 && baixa <= 0xDFFF) {
                if (!faz(0x10000 + ((c - 0xD800) << 10) + (baixa - 0xDC00), 2)) return;
                i += 4;
                continue;
            }
        }
        if (!faz(c, 1)) return;
        i += 2;
    }
}

std::size_t BytesUtf8(char32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

std::string DeUtf16(std::string_view texto, Ordem ordem) {
    std::string utf8;
    utf8.reserve(texto.size() / 2);
    PorCaractere(texto, ordem, [&](char32_t c, std::size_t) {
        const std::size_t n = BytesUtf8(c);
        if (n == 1) {
            utf8 += static_cast<char>(c);
            return true;
        }
        const unsigned char primeiro[] = {0, 0, 0xC0, 0xE0, 0xF0};
        utf8 += static_cast<char>(primeiro[n] | (c >> (6 * (n - 1))));
        for (std::size_t k = n - 1; k-- > 0;)
            utf8 += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
        return true;
    });
    return utf8;
}

// Where the character at `posicao` of DeUtf16(texto) starts in `texto`.
std::size_t PosicaoUtf16(std::string_view texto, Ordem ordem, std::size_t posicao) {
    std::size_t bytes = 0, unidades = 0;
    PorCaractere(texto, ordem, [&](char32_t c, std::size_t n) {
        if (bytes >= posicao) return false;
        bytes += BytesUtf8(c);
        unidades += n;
        return true;
    });
    return kMarcaUtf16.size() + 2 * unidades;
}

// UTF-8 (with the three-byte form of a lone surrogate that DeUtf16 gives) as UTF-16; a
// byte that starts no sequence becomes U+FFFD.
std::string ParaUtf16(std::string_view utf8, Ordem ordem) {
    std::string r;
    const auto poe = [&](char32_t u) {
        const char bytes[2] = {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
        r += bytes[ordem == Ordem::Grande];
        r += bytes[ordem != Ordem::Grande];
    };
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t n = Sequencia(utf8, i);
        char32_t c = Caractere(utf8, i, n);
        if (n == 1 && Byte(utf8, i) == 0xED && i + 2 < utf8.size() && Byte(utf8, i + 1) >= 0xA0 &&
            Byte(utf8, i + 1) <= 0xBF && (Byte(utf8, i + 2) & 0xC0) == 0x80) {
            n = 3; // a lone surrogate
            c = 0xD000 | (Byte(utf8, i + 1) & 0x3F) << 6 | (Byte(utf8, i + 2) & 0x3F);
        } else if (c > 0x10FFFF) {
            c = 0xFFFD;
        }
        if (c >= 0x10000) {
            poe(0xD800 + ((c - 0x10000) >> 10));
            poe(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            poe(c);
        }
        i += n;
    }
    return r;
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

// The lines of a text, one at a time, without holding them: a large file costs its own
// size and no more.
class Leitor {
  public:
    explicit Leitor(std::string_view texto)
        : texto_(texto), inicio_(texto.starts_with(kMarcaUtf8) ? kMarcaUtf8.size() : 0) {}

    bool Proxima(Linha& linha) {
        if (inicio_ >= texto_.size()) return false;
        std::size_t fim = inicio_;
        while (fim < texto_.size() && texto_[fim] != '\r' && texto_[fim] != '\n')
            ++fim;
        std::size_t proxima = fim;
        if (fim < texto_.size()) proxima += texto_.compare(fim, 2, "\r\n") == 0 ? 2 : 1;
        linha = Classifica(texto_, inicio_, fim, proxima);
        inicio_ = proxima;
        return true;
    }

  private:
    std::string_view texto_;
    std::size_t inicio_;
};

// The line break for a line written after `linha`: its own, or else the text's first one,
// or else CR LF. Taking the neighbour's keeps a lone CR from meeting the LF of an empty
// line that follows and becoming one CR LF with it.
std::string_view Quebra(std::string_view texto, const Linha& linha) {
    if (linha.proxima > linha.fim) return texto.substr(linha.fim, linha.proxima - linha.fim);
    const auto quebra = texto.find_first_of("\r\n");
    if (quebra == npos || texto.compare(quebra, 2, "\r\n") == 0) return "\r\n";
    return texto.substr(quebra, 1);
}

// One section and key looked for, and what the text holds of them: the first section of
// the name, in it the first key of the name, and its last non-blank line.
struct Busca {
    std::string_view secao; // trimmed
    std::string_view chave; // trimmed
    bool vista = false;     // a section of the name was met
    bool aberta = false;    // the lines now read are in that section
    std::optional<Linha> achada{};
    Linha ultima{};
};

std::uint64_t Bit(std::size_t tamanho) {
    return std::uint64_t{1} << std::min<std::size_t>(tamanho, 63);
}

// One bit for each length of the keys still looked for in the section being read (from 63
// bytes on, lengths share the last bit): most lines of a large section are passed over
// after one test, however many keys are looked for.
std::uint64_t Tamanhos(std::span<const Busca> buscas) {
    std::uint64_t bits = 0;
    for (const Busca& busca : buscas)
        if (busca.aberta && !busca.achada) bits |= Bit(busca.chave.size());
    return bits;
}

// Goes through the text once for every search; stops as soon as each is resolved. Gives the
// text's last line when a search is left unresolved, so that the text was read to its end.
std::optional<Linha> Procura(std::string_view texto, std::span<Busca> buscas) {
    std::optional<Linha> ultimaDoTexto;
    Linha linha{}, ultimaDaSecao{};
    std::size_t abertas = 0;
    std::size_t pendentes = buscas.size();
    std::uint64_t tamanhos = 0;
    Leitor leitor(texto);
    while (pendentes > 0 && leitor.Proxima(linha)) {
        ultimaDoTexto = linha;
        if (linha.tipo == Tipo::Secao) {
            for (Busca& busca : buscas) {
                if (busca.aberta) {
                    busca.aberta = false;
                    busca.ultima = ultimaDaSecao;
                    --abertas;
                    pendentes -= !busca.achada;
                } else if (!busca.vista && MesmoNome(linha.nome, busca.secao)) {
                    busca.vista = busca.aberta = true;
                    ++abertas;
                }
            }
            ultimaDaSecao = linha;
            tamanhos = Tamanhos(buscas);
        } else if (linha.tipo == Tipo::Chave && abertas > 0) {
            ultimaDaSecao = linha;
            if ((tamanhos & Bit(linha.nome.size())) == 0) continue;
            for (Busca& busca : buscas)
                if (busca.aberta && !busca.achada && MesmoNome(linha.nome, busca.chave)) {
                    busca.achada = linha;
                    --pendentes;
                }
            tamanhos = Tamanhos(buscas);
        }
    }
    for (Busca& busca : buscas)
        if (busca.aberta) busca.ultima = ultimaDaSecao;
    return ultimaDoTexto;
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

// What a write changes: `removidos` bytes at `onde` give way to `inserida`.
struct Edicao {
    std::size_t onde = 0;
    std::size_t removidos = 0;
    std::string inserida;
};

Edicao Edita(std::string_view texto, std::string_view secao, std::string_view chave,
             std::string_view valor) {
    Busca busca{Apara(secao), Apara(chave)};
    const std::optional<Linha> ultimaDoTexto = Procura(texto, std::span(&busca, 1));

    if (busca.achada) {
        const Linha& linha = *busca.achada;
        return {linha.inicio, linha.fim - linha.inicio, LinhaDeChave(linha.nome, valor)};
    }
    // A new key after the last non-blank line of its section, or a new section at the end.
    Edicao edicao;
    edicao.onde = texto.size();
    std::string_view quebra = "\r\n";
    if (busca.vista || ultimaDoTexto) {
        const Linha& antes = busca.vista ? busca.ultima : *ultimaDoTexto;
        edicao.onde = antes.proxima;
        quebra = Quebra(texto, antes);
        if (antes.proxima == antes.fim) // the last line, without its line break
            edicao.inserida = quebra;
    }
    if (!busca.vista) {
        edicao.inserida += '[';
        edicao.inserida += busca.secao;
        edicao.inserida += ']';
        edicao.inserida += quebra;
    }
    edicao.inserida += LinhaDeChave(busca.chave, valor);
    edicao.inserida += quebra;
    return edicao;
}

} // namespace

bool QuebraLinha(std::string_view texto) {
    return texto.find_first_of(std::string_view("\r\n\0", 3)) != npos;
}

void LerDoTexto(std::string_view texto, std::span<Consulta> consultas) {
    if (const Ordem ordem = OrdemUtf16(texto); ordem != Ordem::Nenhuma)
        return LerDoTexto(DeUtf16(texto, ordem), consultas);
    std::vector<Busca> buscas;
    buscas.reserve(consultas.size());
    for (const Consulta& consulta : consultas)
        buscas.push_back({Apara(consulta.secao), Apara(consulta.chave)});
    Procura(texto, buscas);
    for (std::size_t i = 0; i < consultas.size(); ++i) {
        consultas[i].valor.clear();
        if (!buscas[i].achada) continue;
        std::string_view valor = buscas[i].achada->valor;
        valor = valor.substr(0, valor.find('\0')); // as Windows, which reads into a C string
        consultas[i].valor = Corta(SemAspas(valor));
    }
}

std::string LerDoTexto(std::string_view texto, std::string_view secao, std::string_view chave) {
    Consulta consulta{secao, chave};
    LerDoTexto(texto, std::span(&consulta, 1));
    return std::move(consulta.valor);
}

std::string GravarNoTexto(std::string_view texto, std::string_view secao, std::string_view chave,
                          std::string_view valor) {
    std::string novo(texto);
    if (QuebraLinha(secao) || QuebraLinha(chave) || QuebraLinha(valor)) return novo;
    if (const Ordem ordem = OrdemUtf16(texto); ordem != Ordem::Nenhuma) {
        const std::string utf8 = DeUtf16(texto, ordem);
        const Edicao edicao = Edita(utf8, secao, chave, valor);
        const std::size_t inicio = PosicaoUtf16(texto, ordem, edicao.onde);
        const std::size_t fim = PosicaoUtf16(texto, ordem, edicao.onde + edicao.removidos);
        novo.replace(inicio, fim - inicio, ParaUtf16(edicao.inserida, ordem));
    } else {
        const Edicao edicao = Edita(texto, secao, chave, valor);
        novo.replace(edicao.onde, edicao.removidos, edicao.inserida);
    }
    return novo;
}

std::error_code LerTexto(const std::filesystem::path& arquivo, std::string& texto) {
    try {
        return arquivo::Ler(arquivo, texto);
    } catch (const std::exception&) { // a file too large for memory
        texto = std::string();
        return std::make_error_code(std::errc::not_enough_memory);
    }
}

std::string LerString(const std::filesystem::path& arquivo, std::string_view secao,
                      std::string_view chave) {
    std::string texto;
    if (LerTexto(arquivo, texto)) return {};
    return LerDoTexto(texto, secao, chave);
}

std::error_code GravarString(const std::filesystem::path& arquivo, std::string_view secao,
                             std::string_view chave, std::string_view valor) {
    if (QuebraLinha(secao) || QuebraLinha(chave) || QuebraLinha(valor))
        return std::make_error_code(std::errc::invalid_argument);
    try {
        return arquivo::Reescrever(arquivo, [&](std::string_view atual) {
            return GravarNoTexto(atual, secao, chave, valor);
        });
    } catch (const std::exception&) { // a file too large for memory
        return std::make_error_code(std::errc::not_enough_memory);
    }
}

} // namespace perfil
