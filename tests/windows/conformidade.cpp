// Runs one table of profile files and operations twice, through our profile layer and
// through Windows' own GetPrivateProfileStringW / WritePrivateProfileStringW, and compares
// the value read and the bytes written. Rows marked with a deliberate difference check our
// own expected outcome instead, and show what Windows did. Under Wine those two functions
// are Wine's own imitation: where it is known to part from Windows (it rewrites the whole
// file, folds ASCII letters only, writes read-only files as root), the row says so.
//
//   conformidade            run the table
//   conformidade --windows  print what Windows did for every row
#include "perfil.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

enum class Op { Ler, Gravar };

// How a row may differ from Windows.
enum class Tipo {
    Igual,     // the same value read, the same bytes written
    Reformata, // Wine rewrites every other line in its own form; we keep them. Our bytes are
               // `nosso`, and become Windows' bytes once Wine rewrites them in turn
    Propria,   // we differ on purpose (`porque`); our outcome is `nosso` / `nossoLido`
};

struct Linha {
    const char* nome;
    std::optional<std::string> inicial; // the file's bytes before the operation; none: no file
    Op op;
    std::wstring secao, chave, valor;
    std::wstring pasta = L"cfg";
    Tipo tipo = Tipo::Igual;
    const char* porque = nullptr;
    std::optional<std::string> nosso = std::nullopt;
    std::wstring nossoLido = {};
    bool nossoFalha = false;
    bool somenteLeitura = false; // the file carries the read-only attribute
    bool enlace = false;         // a second name (hard link) for the file; its bytes are compared
    bool semPasta = false;       // the file's folder is missing
    bool temporarioOcupado = false; // a folder stands where a temporary file would go
    bool arquivoEhPasta = false;    // a folder stands where the file would go
    bool oculto = false;            // the file is marked hidden and system
    bool abertoPorOutro = false;    // another handle holds the file, sharing read and write
};

Linha Reformata(Linha l, std::string nosso) {
    l.tipo = Tipo::Reformata;
    l.nosso = std::move(nosso);
    return l;
}

Linha Difere(Linha l, const char* porque, std::optional<std::string> nosso, bool falha = false) {
    l.tipo = Tipo::Propria;
    l.porque = porque;
    l.nosso = std::move(nosso);
    l.nossoFalha = falha;
    return l;
}

Linha DifereLendo(Linha l, const char* porque, std::wstring lido) {
    l.tipo = Tipo::Propria;
    l.porque = porque;
    l.nossoLido = std::move(lido);
    return l;
}

Linha SomenteLeitura(Linha l) {
    l.somenteLeitura = true;
    return l;
}

Linha ComEnlace(Linha l) {
    l.enlace = true;
    return l;
}

Linha SemPasta(Linha l) {
    l.semPasta = true;
    return l;
}

Linha ArquivoEhPasta(Linha l) {
    l.arquivoEhPasta = true;
    return l;
}

Linha Oculto(Linha l) {
    l.oculto = true;
    return l;
}

Linha AbertoPorOutro(Linha l) {
    l.abertoPorOutro = true;
    return l;
}

Linha TemporarioOcupado(Linha l) {
    l.temporarioOcupado = true;
    return l;
}

struct Resultado {
    bool ok = false;
    std::wstring lido;
    std::optional<std::string> arquivo;
    std::optional<std::string> enlace;
    std::wstring relido;                  // the key read back through Windows after a write
    std::optional<std::string> reformado; // the file after Wine rewrote it
    std::vector<std::wstring> nomes;      // what the folder holds afterwards
    DWORD marcas = 0;                     // the file's hidden, system and read-only marks
};

std::string Repete(std::string_view s, size_t n) {
    std::string r;
    while (r.size() < n)
        r += s;
    r.resize(n);
    return r;
}

std::wstring Larga(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::string Utf16(std::wstring_view w) {
    std::string r = "\xff\xfe";
    for (wchar_t c : w) {
        r += static_cast<char>(c & 0xff);
        r += static_cast<char>((c >> 8) & 0xff);
    }
    return r;
}

std::string Utf16Be(std::wstring_view w) {
    std::string r = "\xfe\xff";
    for (wchar_t c : w) {
        r += static_cast<char>((c >> 8) & 0xff);
        r += static_cast<char>(c & 0xff);
    }
    return r;
}

std::string AltosAnsi() {
    std::string r = "; ";
    for (int c = 0x80; c <= 0xff; ++c)
        r += static_cast<char>(c);
    return r + "\r\n[Sistema]\r\nPorta=COM1\r\n";
}

const std::string kLongo = Repete("0123456789abcdefghij", 3000);

std::vector<Linha> Tabela() {
    const std::string sis = "[Sistema]\r\nPath=C:\\Teste\\\r\nPorta=COM1\r\n";
    return {
        // --- reading ---
        {"read: no file", std::nullopt, Op::Ler, L"Sistema", L"Porta", L""},
        {"read: empty file", "", Op::Ler, L"Sistema", L"Porta", L""},
        {"read: plain key", sis, Op::Ler, L"Sistema", L"Porta", L""},
        {"read: missing key", sis, Op::Ler, L"Sistema", L"Velocidade", L""},
        {"read: missing section", sis, Op::Ler, L"Outra", L"Porta", L""},
        {"read: section and key in other case", "[SISTEMA]\r\nPORTA=COM2\r\n", Op::Ler, L"sistema",
         L"porta", L""},
        DifereLendo({"read: accented names in other case",
                     "[Se\xe7\xe3o]\r\nC\xf3"
                     "digo=7\r\n",
                     Op::Ler, L"SE\u00c7\u00c3O", L"C\u00d3DIGO", L""},
                    "we match accented letters in either case; Wine matches ASCII letters only",
                    L"7"),
        {"read: key without equals sign", "[Sistema]\r\nPorta\r\n", Op::Ler, L"Sistema", L"Porta",
         L""},
        {"read: empty value", "[Sistema]\r\nPorta=\r\n", Op::Ler, L"Sistema", L"Porta", L""},
        {"read: value with equals sign", "[Sistema]\r\nPorta=a=b\r\n", Op::Ler, L"Sistema",
         L"Porta", L""},
        {"read: duplicate key", "[Sistema]\r\nPorta=COM1\r\nPorta=COM2\r\n", Op::Ler, L"Sistema",
         L"Porta", L""},
        {"read: duplicate section",
         "[Sistema]\r\nA=1\r\n[Outra]\r\nB=2\r\n[Sistema]\r\nPorta=COM5\r\n", Op::Ler, L"Sistema",
         L"Porta", L""},
        {"read: duplicate section, key in both",
         "[Sistema]\r\nPorta=COM1\r\n[Sistema]\r\nPorta=COM2\r\n", Op::Ler, L"Sistema", L"Porta",
         L""},
        {"read: spaces around key and value", "[Sistema]\r\n  Porta  =  COM1  \r\n", Op::Ler,
         L"Sistema", L"Porta", L""},
        {"read: tabs around key and value", "[Sistema]\r\n\tPorta\t=\tCOM1\t\r\n", Op::Ler,
         L"Sistema", L"Porta", L""},
        {"read: spaces inside the brackets", "[ Sistema ]\r\nPorta=COM1\r\n", Op::Ler, L"Sistema",
         L"Porta", L""},
        {"read: spaces before the bracket", "  [Sistema]\r\nPorta=COM1\r\n", Op::Ler, L"Sistema",
         L"Porta", L""},
        {"read: text after the closing bracket", "[Sistema] ; x\r\nPorta=COM1\r\n", Op::Ler,
         L"Sistema", L"Porta", L""},
        {"read: space inside the key", "[Sistema]\r\nPor ta=COM1\r\n", Op::Ler, L"Sistema",
         L"Por ta", L""},
        {"read: value in double quotes", "[Sistema]\r\nPorta=\"COM1\"\r\n", Op::Ler, L"Sistema",
         L"Porta", L""},
        {"read: value in single quotes", "[Sistema]\r\nPorta='COM1'\r\n", Op::Ler, L"Sistema",
         L"Porta", L""},
        {"read: quotes with spaces inside", "[Sistema]\r\nPorta=\" COM1 \"\r\n", Op::Ler,
         L"Sistema", L"Porta", L""},
        {"read: quotes with spaces outside", "[Sistema]\r\nPorta=  \"COM1\"  \r\n", Op::Ler,
         L"Sistema", L"Porta", L""},
        {"read: opening quote only", "[Sistema]\r\nPorta=\"COM1\r\n", Op::Ler, L"Sistema", L"Porta",
         L""},
        {"read: closing quote only", "[Sistema]\r\nPorta=COM1\"\r\n", Op::Ler, L"Sistema", L"Porta",
         L""},
        {"read: mixed quotes", "[Sistema]\r\nPorta=\"COM1'\r\n", Op::Ler, L"Sistema", L"Porta",
         L""},
        {"read: lone quote", "[Sistema]\r\nPorta=\"\r\n", Op::Ler, L"Sistema", L"Porta", L""},
        {"read: quotes inside", "[Sistema]\r\nPorta=a\"b\"c\r\n", Op::Ler, L"Sistema", L"Porta",
         L""},
        {"read: commented key", "[Sistema]\r\n;Porta=COM1\r\n", Op::Ler, L"Sistema", L";Porta",
         L""},
        {"read: commented key by plain name", "[Sistema]\r\n;Porta=COM1\r\nPorta=COM2\r\n", Op::Ler,
         L"Sistema", L"Porta", L""},
        {"read: indented comment", "[Sistema]\r\n  ;Porta=COM1\r\n", Op::Ler, L"Sistema", L"Porta",
         L""},
        {"read: hash line", "[Sistema]\r\n#Porta=COM1\r\n", Op::Ler, L"Sistema", L"#Porta", L""},
        {"read: comment after the value", "[Sistema]\r\nPorta=COM1 ; principal\r\n", Op::Ler,
         L"Sistema", L"Porta", L""},
        {"read: commented section", ";[Sistema]\r\nPorta=COM1\r\n", Op::Ler, L"Sistema", L"Porta",
         L""},
        {"read: unclosed bracket", "[Sistema\r\nPorta=COM1\r\n", Op::Ler, L"Sistema", L"Porta",
         L""},
        {"read: empty key name", "[Sistema]\r\n=COM1\r\nPorta=COM2\r\n", Op::Ler, L"Sistema",
         L"Porta", L""},
        {"read: key before any section", "Porta=COM1\r\n[Sistema]\r\n", Op::Ler, L"Sistema",
         L"Porta", L""},
        {"read: LF file", "[Sistema]\nPath=C:\\\nPorta=COM3\n", Op::Ler, L"Sistema", L"Porta", L""},
        {"read: CR-only file", "[Sistema]\rPath=C:\\\rPorta=COM3\r", Op::Ler, L"Sistema", L"Porta",
         L""},
        {"read: CR-only file, first key", "[Sistema]\rPorta=COM3\rPath=C:\\\r", Op::Ler, L"Sistema",
         L"Porta", L""},
        {"read: no final line break", "[Sistema]\r\nPorta=COM4", Op::Ler, L"Sistema", L"Porta",
         L""},
        {"read: accented value (ANSI)", "[Sistema]\r\nPath=C:\\Configura\xe7\xe3o\\\r\n", Op::Ler,
         L"Sistema", L"Path", L""},
        {"read: NUL byte in the value", std::string("[Sistema]\r\nPorta=CO\0M1\r\n", 24), Op::Ler,
         L"Sistema", L"Porta", L""},
        {"read: 2047-character cut", "[Sistema]\r\nPorta=" + kLongo + "\r\n", Op::Ler, L"Sistema",
         L"Porta", L""},
        {"read: UTF-8 file with byte-order mark",
         "\xef\xbb\xbf[Sistema]\r\nPath=C:\\Configura\xc3\xa7\xc3\xa3o\\\r\n", Op::Ler, L"Sistema",
         L"Path", L""},
        {"read: UTF-16 file with byte-order mark",
         Utf16(L"[Sistema]\r\nPath=C:\\\u0141\u00f3d\u017a\\\r\n"), Op::Ler, L"Sistema", L"Path",
         L""},
        DifereLendo({"read: UTF-16 file, accented names in other case",
                     Utf16(L"[Se\u00e7\u00e3o]\r\nPORTA=COM3\r\n"), Op::Ler, L"SE\u00c7\u00c3O",
                     L"porta", L""},
                    "we match accented letters in either case; Wine matches ASCII letters only",
                    L"COM3"),
        {"read: UTF-16 file, LF lines", Utf16(L"[Outra]\nA=1\n[Sistema]\nPorta=COM3\n"), Op::Ler,
         L"Sistema", L"Porta", L""},
        {"read: UTF-16 file, no final line break", Utf16(L"[Sistema]\r\nPorta=COM3"), Op::Ler,
         L"Sistema", L"Porta", L""},
        {"read: UTF-16 file, a character beyond 16 bits",
         Utf16(L"[Sistema]\r\nPath=C:\\\U0001F5A8\\\r\n"), Op::Ler, L"Sistema", L"Path", L""},
        {"read: UTF-16 file, an odd last byte", Utf16(L"[Sistema]\r\nPorta=COM3\r\n") + "A",
         Op::Ler, L"Sistema", L"Porta", L""},
        {"read: UTF-16 big-endian file with byte-order mark",
         Utf16Be(L"[Sistema]\r\nPorta=COM3\r\n"), Op::Ler, L"Sistema", L"Porta", L""},
        {"read: accented folder name", sis, Op::Ler, L"Sistema", L"Porta", L"",
         L"Configura\u00e7\u00e3o"},

        // --- writing ---
        {"write: new file", std::nullopt, Op::Gravar, L"Sistema", L"Path", L"C:\\Teste\\"},
        {"write: empty file", "", Op::Gravar, L"Sistema", L"Path", L"C:\\Teste\\"},
        {"write: new section", "[Outra]\r\nA=1\r\n", Op::Gravar, L"Sistema", L"Porta", L"COM1"},
        {"write: new section, no final line break", "[Outra]\r\nA=1", Op::Gravar, L"Sistema",
         L"Porta", L"COM1"},
        Reformata({"write: new section after blank line", "[Outra]\r\nA=1\r\n\r\n", Op::Gravar,
                   L"Sistema", L"Porta", L"COM1"},
                  "[Outra]\r\nA=1\r\n\r\n[Sistema]\r\nPorta=COM1\r\n"),
        {"write: new key after existing keys", sis, Op::Gravar, L"Sistema", L"Velocidade", L"9600"},
        {"write: new key, section followed by another",
         "[Sistema]\r\nPath=C:\\\r\n[Outra]\r\nB=2\r\n", Op::Gravar, L"Sistema", L"Porta", L"COM3"},
        Reformata({"write: new key, blank line before next section",
                   "[Sistema]\r\nPath=C:\\\r\n\r\n[Outra]\r\nB=2\r\n", Op::Gravar, L"Sistema",
                   L"Porta", L"COM3"},
                  "[Sistema]\r\nPath=C:\\\r\nPorta=COM3\r\n\r\n[Outra]\r\nB=2\r\n"),
        {"write: new key, comment at end of section",
         "[Sistema]\r\nPath=C:\\\r\n; fim\r\n[Outra]\r\nB=2\r\n", Op::Gravar, L"Sistema", L"Porta",
         L"COM3"},
        {"write: new key into empty section", "[Sistema]\r\n[Outra]\r\nB=2\r\n", Op::Gravar,
         L"Sistema", L"Porta", L"COM3"},
        {"write: new key, section at end without line break", "[Sistema]\r\nPath=C:\\", Op::Gravar,
         L"Sistema", L"Porta", L"COM3"},
        {"write: replace value", sis, Op::Gravar, L"Sistema", L"Porta", L"COM2"},
        {"write: same value", sis, Op::Gravar, L"Sistema", L"Porta", L"COM1"},
        {"write: key in another letter case", "[SISTEMA]\r\nPORTA=COM1\r\n", Op::Gravar, L"sistema",
         L"porta", L"COM2"},
        {"write: duplicate key", "[Sistema]\r\nPorta=COM1\r\nPorta=COM2\r\n", Op::Gravar,
         L"Sistema", L"Porta", L"COM9"},
        {"write: duplicate section",
         "[Sistema]\r\nA=1\r\n[Outra]\r\nB=2\r\n[Sistema]\r\nPorta=COM5\r\n", Op::Gravar,
         L"Sistema", L"Porta", L"COM6"},
        {"write: new key, duplicate section",
         "[Sistema]\r\nA=1\r\n[Outra]\r\nB=2\r\n[Sistema]\r\nC=3\r\n", Op::Gravar, L"Sistema",
         L"Porta", L"COM6"},
        {"write: spaces around key and value", "[Sistema]\r\n  Porta  =  COM1  \r\n", Op::Gravar,
         L"Sistema", L"Porta", L"COM2"},
        {"write: tabs around key and value", "[Sistema]\r\n\tPorta\t=\tCOM1\t\r\n", Op::Gravar,
         L"Sistema", L"Porta", L"COM2"},
        Reformata({"write: other lines with spaces", "[Sistema]\r\n  A =  1 \r\nPorta=COM1\r\n",
                   Op::Gravar, L"Sistema", L"Porta", L"COM2"},
                  "[Sistema]\r\n  A =  1 \r\nPorta=COM2\r\n"),
        Reformata({"write: spaces inside the brackets", "[ Sistema ]\r\nPorta=COM1\r\n", Op::Gravar,
                   L"Sistema", L"Porta", L"COM2"},
                  "[ Sistema ]\r\nPorta=COM2\r\n"),
        Reformata({"write: text after the closing bracket", "[Sistema] ; x\r\nPorta=COM1\r\n",
                   Op::Gravar, L"Sistema", L"Porta", L"COM2"},
                  "[Sistema] ; x\r\nPorta=COM2\r\n"),
        {"write: over a key without equals sign", "[Sistema]\r\nPorta\r\nA=1\r\n", Op::Gravar,
         L"Sistema", L"Porta", L"COM2"},
        Difere(
            {"write: value with a leading tab", sis, Op::Gravar, L"Sistema", L"Porta", L"\tCOM2"},
            "Wine drops blanks before a written value; we write it as given",
            "[Sistema]\r\nPath=C:\\Teste\\\r\nPorta=\tCOM2\r\n"),
        Difere(
            {"write: value with spaces around", sis, Op::Gravar, L"Sistema", L"Porta", L"  COM2  "},
            "Wine drops blanks before a written value; we write it as given",
            "[Sistema]\r\nPath=C:\\Teste\\\r\nPorta=  COM2  \r\n"),
        {"write: value in quotes", sis, Op::Gravar, L"Sistema", L"Porta", L"\"COM2\""},
        {"write: over a quoted value", "[Sistema]\r\nPorta=\"COM1\"\r\n", Op::Gravar, L"Sistema",
         L"Porta", L"COM2"},
        {"write: empty value", sis, Op::Gravar, L"Sistema", L"Porta", L""},
        {"write: comments kept",
         "; cabe\xe7"
         "alho\r\n[Sistema]\r\n;Porta=COM1\r\nPorta=COM2\r\n",
         Op::Gravar, L"Sistema", L"Porta", L"COM3"},
        {"write: commented key is not the key", "[Sistema]\r\n;Porta=COM1\r\n", Op::Gravar,
         L"Sistema", L"Porta", L"COM3"},
        Reformata({"write: blank lines kept",
                   "\r\n[Sistema]\r\n\r\nPorta=COM1\r\n\r\n[Outra]\r\nB=2\r\n", Op::Gravar,
                   L"Sistema", L"Porta", L"COM3"},
                  "\r\n[Sistema]\r\n\r\nPorta=COM3\r\n\r\n[Outra]\r\nB=2\r\n"),
        Reformata({"write: LF file, replace", "[Sistema]\nPath=C:\\\nPorta=COM1\n", Op::Gravar,
                   L"Sistema", L"Porta", L"COM2"},
                  "[Sistema]\nPath=C:\\\nPorta=COM2\n"),
        Reformata({"write: LF file, new key", "[Sistema]\nPath=C:\\\n", Op::Gravar, L"Sistema",
                   L"Porta", L"COM2"},
                  "[Sistema]\nPath=C:\\\nPorta=COM2\n"),
        Reformata({"write: LF file, new section", "[Outra]\nB=2\n", Op::Gravar, L"Sistema",
                   L"Porta", L"COM2"},
                  "[Outra]\nB=2\n[Sistema]\nPorta=COM2\n"),
        Reformata({"write: CR-only file, replace", "[Sistema]\rPath=C:\\\rPorta=COM1\r", Op::Gravar,
                   L"Sistema", L"Porta", L"COM2"},
                  "[Sistema]\rPath=C:\\\rPorta=COM2\r"),
        Reformata({"write: CR-only file, new key", "[Sistema]\rPath=C:\\\r", Op::Gravar, L"Sistema",
                   L"Porta", L"COM2"},
                  "[Sistema]\rPath=C:\\\rPorta=COM2\r"),
        Reformata({"write: no final line break, replace last", "[Sistema]\r\nPorta=COM1",
                   Op::Gravar, L"Sistema", L"Porta", L"COM2"},
                  "[Sistema]\r\nPorta=COM2"),
        Reformata({"write: no final line break, other section",
                   "[Sistema]\r\nPorta=COM1\r\n[Outra]\r\nB=2", Op::Gravar, L"Sistema", L"Porta",
                   L"COM2"},
                  "[Sistema]\r\nPorta=COM2\r\n[Outra]\r\nB=2"),
        {"write: accented value", sis, Op::Gravar, L"Sistema", L"Path",
         L"C:\\Configura\u00e7\u00e3o\\"},
        {"write: value outside the ANSI code page", sis, Op::Gravar, L"Sistema", L"Path",
         L"C:\\\u0141\u00f3d\u017a\\\u03a9\\"},
        {"write: accented folder name", std::nullopt, Op::Gravar, L"Sistema", L"Path",
         L"C:\\Configura\u00e7\u00e3o\\", L"Configura\u00e7\u00e3o"},
        {"write: accented folder name, existing file", sis, Op::Gravar, L"Sistema", L"Porta",
         L"COM7", L"Pasta \u00e1\u00e9\u00ed\u00f3\u00fa"},
        {"write: every ANSI byte in other lines kept", AltosAnsi(), Op::Gravar, L"Sistema",
         L"Porta", L"COM2"},
        {"write: UTF-8 file with byte-order mark", "\xef\xbb\xbf[Sistema]\r\nPorta=COM1\r\n",
         Op::Gravar, L"Sistema", L"Path", L"C:\\Configura\u00e7\u00e3o\\"},
        {"write: UTF-16 file with byte-order mark", Utf16(L"[Sistema]\r\nPorta=COM1\r\n"),
         Op::Gravar, L"Sistema", L"Path", L"C:\\\u0141\u00f3d\u017a\\"},
        {"write: UTF-16 file, replace value", Utf16(Larga(sis)), Op::Gravar, L"Sistema", L"Porta",
         L"COM2"},
        {"write: UTF-16 file, new section", Utf16(L"[Outra]\r\nB=2\r\n"), Op::Gravar, L"Sistema",
         L"Porta", L"COM2"},
        {"write: UTF-16 file, byte-order mark alone", Utf16(L""), Op::Gravar, L"Sistema", L"Porta",
         L"COM2"},
        {"write: UTF-16 file, other lines beyond ANSI and 16 bits kept",
         Utf16(L"; \u0141\u00f3d\u017a \U0001F5A8\r\n[Sistema]\r\nPorta=COM1\r\n"), Op::Gravar,
         L"Sistema", L"Porta", L"C:\\\U0001F5A8\u03a9\\"},
        Reformata({"write: UTF-16 file, LF lines, new key",
                   Utf16(L"[Sistema]\nA=1\n[Outra]\nB=2\n"), Op::Gravar, L"Sistema", L"Porta",
                   L"COM2"},
                  Utf16(L"[Sistema]\nA=1\nPorta=COM2\n[Outra]\nB=2\n")),
        {"write: UTF-16 file, a lone surrogate in another line",
         Utf16(L"; x") + "\x00\xd8" + Utf16(L"y\r\n[Sistema]\r\nPorta=COM1\r\n").substr(2),
         Op::Gravar, L"Sistema", L"Porta", L"COM2"},
        Difere({"write: UTF-16 file, an odd last byte", Utf16(L"[Sistema]\r\nPorta=COM1\r\n") + "A",
                Op::Gravar, L"Sistema", L"Porta", L"COM2"},
               "an odd last byte is no UTF-16 and is kept as it was; Wine reads it as a "
               "character and writes it back as a line of its own",
               Utf16(L"[Sistema]\r\nPorta=COM2\r\n") + "A"),
        {"write: UTF-16 big-endian file with byte-order mark",
         Utf16Be(L"[Sistema]\r\nPorta=COM1\r\n"), Op::Gravar, L"Sistema", L"Porta", L"COM2"},
        {"write: long value", sis, Op::Gravar, L"Sistema", L"Porta", Larga(kLongo)},
        SemPasta(
            {"write: missing folder", std::nullopt, Op::Gravar, L"Sistema", L"Porta", L"COM2"}),
        AbertoPorOutro({"write: file held open by another program", sis, Op::Gravar, L"Sistema",
                        L"Porta", L"COM2"}),
        Oculto({"write: hidden system file keeps its marks", sis, Op::Gravar, L"Sistema", L"Porta",
                L"COM2"}),
        ArquivoEhPasta({"write: the file's name is a folder", std::nullopt, Op::Gravar, L"Sistema",
                        L"Porta", L"COM2"}),
        ArquivoEhPasta({"read: the file's name is a folder", std::nullopt, Op::Ler, L"Sistema",
                        L"Porta", L""}),
        TemporarioOcupado(ComEnlace({"write: no room for the temporary file: in place", sis,
                                     Op::Gravar, L"Sistema", L"Porta", L"COM2"})),
        Difere({"write: value with a line break", sis, Op::Gravar, L"Sistema", L"Porta",
                L"COM1\r\n[X]"},
               "a value with a line break is refused, the file is left as it was", sis, true),
        Difere(SomenteLeitura(
                   {"write: read-only file", sis, Op::Gravar, L"Sistema", L"Porta", L"COM2"}),
               "refused, as on Windows; Wine, running as root here, writes it", sis, true),
        Difere(
            ComEnlace(
                {"write: second name of the file", sis, Op::Gravar, L"Sistema", L"Porta", L"COM2"}),
            "the file is replaced, not rewritten in place: a second hard link keeps the old text",
            "[Sistema]\r\nPath=C:\\Teste\\\r\nPorta=COM2\r\n"),
    };
}

std::optional<std::string> LeBytes(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    if (!f) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(f), {});
}

void GravaBytes(const fs::path& p, const std::string& s) {
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(s.data(), static_cast<std::streamsize>(s.size()));
}

std::string MostraBytes(std::string_view s, size_t max = 160) {
    std::string r;
    for (size_t i = 0; i < s.size(); ++i) {
        if (i == max) {
            r += "...(" + std::to_string(s.size()) + " bytes)";
            break;
        }
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == '\r')
            r += "\\r";
        else if (c == '\n')
            r += "\\n";
        else if (c == '\t')
            r += "\\t";
        else if (c == '\\')
            r += "\\\\";
        else if (c >= 0x20 && c < 0x7f)
            r += static_cast<char>(c);
        else {
            char b[8];
            std::snprintf(b, sizeof b, "\\x%02x", c);
            r += b;
        }
    }
    return r;
}

std::string MostraTexto(const std::wstring& s) {
    std::string r;
    for (size_t i = 0; i < s.size(); ++i) {
        if (i == 160) {
            r += "...(" + std::to_string(s.size()) + " chars)";
            break;
        }
        const wchar_t c = s[i];
        if (c >= 0x20 && c < 0x7f && c != '\\')
            r += static_cast<char>(c);
        else {
            char b[12];
            std::snprintf(b, sizeof b, "\\u%04x", static_cast<unsigned>(c));
            r += b;
        }
    }
    return "\"" + r + "\"";
}

std::string MostraArquivo(const std::optional<std::string>& s) {
    return s ? "\"" + MostraBytes(*s) + "\"" : std::string("(no file)");
}

// The other program's handle, from Prepara to Colhe.
HANDLE outro = INVALID_HANDLE_VALUE;

// Lays the row's file out in a folder of its own, so that no cached copy of another run's
// file can be seen.
fs::path Prepara(const fs::path& raiz, const Linha& l) {
    const fs::path pasta = raiz / l.pasta;
    fs::create_directories(pasta);
    if (l.semPasta) return pasta / L"falta" / L"Bemafi32.ini";
    const fs::path arquivo = pasta / L"Bemafi32.ini";
    if (l.temporarioOcupado) fs::create_directory(pasta / L"Bemafi32.ini.tmp");
    if (l.arquivoEhPasta) fs::create_directory(arquivo);
    if (l.inicial) GravaBytes(arquivo, *l.inicial);
    if (l.enlace) CreateHardLinkW((pasta / L"segundo.ini").c_str(), arquivo.c_str(), nullptr);
    if (l.somenteLeitura) SetFileAttributesW(arquivo.c_str(), FILE_ATTRIBUTE_READONLY);
    if (l.oculto)
        SetFileAttributesW(arquivo.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    if (l.abertoPorOutro)
        outro = CreateFileW(arquivo.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return arquivo;
}

Resultado Colhe(const fs::path& arquivo, const Linha& l, Resultado r) {
    if (outro != INVALID_HANDLE_VALUE) CloseHandle(std::exchange(outro, INVALID_HANDLE_VALUE));
    const DWORD atributos = GetFileAttributesW(arquivo.c_str());
    if (atributos != INVALID_FILE_ATTRIBUTES)
        r.marcas =
            atributos & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
    if (l.somenteLeitura) SetFileAttributesW(arquivo.c_str(), FILE_ATTRIBUTE_NORMAL);
    r.arquivo = LeBytes(arquivo);
    if (l.enlace) r.enlace = LeBytes(arquivo.parent_path() / L"segundo.ini");
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(arquivo.parent_path(), ec))
        r.nomes.push_back(fs::relative(e.path(), arquivo.parent_path(), ec).wstring());
    std::sort(r.nomes.begin(), r.nomes.end());
    return r;
}

std::wstring LeViaWindows(const fs::path& arquivo, const Linha& l) {
    wchar_t buf[2048];
    GetPrivateProfileStringW(l.secao.c_str(), l.chave.c_str(), L"", buf, 2048, arquivo.c_str());
    return buf;
}

// The file as Wine writes it back after any change of its own: a key added and removed
// again in a section of its own.
std::optional<std::string> ReformaPeloWine(const fs::path& pasta,
                                           const std::optional<std::string>& bytes) {
    if (!bytes) return std::nullopt;
    fs::create_directories(pasta);
    const fs::path arquivo = pasta / L"Bemafi32.ini";
    GravaBytes(arquivo, *bytes);
    WritePrivateProfileStringW(L"~", L"~", L"~", arquivo.c_str());
    WritePrivateProfileStringW(L"~", nullptr, nullptr, arquivo.c_str());
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, arquivo.c_str());
    return LeBytes(arquivo);
}

Resultado PeloWindows(const fs::path& raiz, const Linha& l) {
    const fs::path arquivo = Prepara(raiz, l);
    Resultado r;
    if (l.op == Op::Ler) {
        r.lido = LeViaWindows(arquivo, l);
        r.ok = true;
    } else {
        r.ok = WritePrivateProfileStringW(l.secao.c_str(), l.chave.c_str(), l.valor.c_str(),
                                          arquivo.c_str()) != 0;
        WritePrivateProfileStringW(nullptr, nullptr, nullptr, arquivo.c_str());
        r.relido = LeViaWindows(arquivo, l);
    }
    return Colhe(arquivo, l, r);
}

Resultado PeloNosso(const fs::path& raiz, const Linha& l) {
    const fs::path arquivo = Prepara(raiz, l);
    Resultado r;
    if (l.op == Op::Ler) {
        r.lido = perfil::LerString(arquivo, l.secao, l.chave);
        r.ok = true;
    } else {
        r.ok = !perfil::GravarString(arquivo, l.secao, l.chave, l.valor);
        r.relido = LeViaWindows(arquivo, l);
    }
    r = Colhe(arquivo, l, r);
    if (l.tipo == Tipo::Reformata) r.reformado = ReformaPeloWine(raiz / L"reformado", r.arquivo);
    return r;
}

std::string Descreve(const Linha& l, const Resultado& r) {
    if (l.op == Op::Ler) return "read " + MostraTexto(r.lido);
    std::string s =
        std::string(r.ok ? "written" : "refused") + ", file " + MostraArquivo(r.arquivo);
    if (l.enlace) s += ", second name " + MostraArquivo(r.enlace);
    if (r.reformado) s += ", rewritten by Wine " + MostraArquivo(r.reformado);
    if (r.marcas) s += ", marks " + std::to_string(r.marcas);
    s += ", folder [";
    for (const auto& n : r.nomes)
        s += " " + MostraTexto(n);
    return s + " ]";
}

// Whether our outcome `o` is right, given Windows' outcome `w`.
bool Confere(const Linha& l, const Resultado& w, const Resultado& o) {
    if (l.op == Op::Ler) return o.lido == (l.tipo == Tipo::Propria ? l.nossoLido : w.lido);
    if (o.nomes != w.nomes) return false;
    switch (l.tipo) {
    case Tipo::Igual:
        return o.ok == w.ok && o.arquivo == w.arquivo && o.relido == w.relido &&
               o.enlace == w.enlace && o.marcas == w.marcas;
    case Tipo::Reformata:
        return o.ok && w.ok && o.arquivo == l.nosso && o.reformado == w.arquivo &&
               o.relido == w.relido;
    case Tipo::Propria:
        return o.ok == !l.nossoFalha && o.arquivo == l.nosso &&
               (!l.enlace || o.enlace == l.inicial);
    }
    return false;
}

const char* Diferenca(const Linha& l) {
    switch (l.tipo) {
    case Tipo::Igual:
        return nullptr;
    case Tipo::Reformata:
        return "Wine rewrites the other lines in its own form; we keep them as they were "
               "(the same file once Wine rewrites ours)";
    case Tipo::Propria:
        return l.porque;
    }
    return nullptr;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const bool soWindows = argc > 1 && std::wstring(argv[1]) == L"--windows";
    wchar_t tmp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, tmp);
    const fs::path raiz =
        fs::path(tmp) / (L"conformidade-" + std::to_wstring(GetCurrentProcessId()));
    fs::remove_all(raiz);

    int passaram = 0, falharam = 0, n = 0;
    // The table's bytes are Windows-1252, the ANSI code page of Wine's English locale.
    std::printf("%s ANSI code page %u\n", GetACP() == 1252 ? "ok  " : "FAIL", GetACP());
    (GetACP() == 1252 ? passaram : falharam)++;
    for (const Linha& l : Tabela()) {
        const fs::path pasta = raiz / std::to_wstring(++n);
        const Resultado w = PeloWindows(pasta / L"windows", l);
        if (soWindows) {
            std::printf("%-52s initial %s\n%-52s Windows: %s%s\n", l.nome,
                        MostraArquivo(l.inicial).c_str(), "", Descreve(l, w).c_str(),
                        w.ok ? "" : " (call returned FALSE)");
            continue;
        }
        const Resultado o = PeloNosso(pasta / L"nosso", l);
        const bool bom = Confere(l, w, o);
        (bom ? passaram : falharam)++;
        const char* diferenca = Diferenca(l);
        std::printf("%s %s%s%s\n", bom ? "ok  " : "FAIL", l.nome, diferenca ? " -- differs: " : "",
                    diferenca ? diferenca : "");
        if (!bom || diferenca) {
            std::printf("       Windows: %s\n       ours:    %s\n", Descreve(l, w).c_str(),
                        Descreve(l, o).c_str());
            if (l.op == Op::Gravar && o.relido != w.relido)
                std::printf("       read back: Windows %s, ours %s\n",
                            MostraTexto(w.relido).c_str(), MostraTexto(o.relido).c_str());
        }
    }
    std::error_code ec;
    fs::remove_all(raiz, ec);
    if (soWindows) return 0;
    std::printf("%d passed, %d failed\n", passaram, falharam);
    return falharam ? 1 : 0;
}
