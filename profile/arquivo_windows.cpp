// Reading and atomically replacing a profile file with the Windows file calls, and the
// layer's wide-text face on Windows.
//
// The text side works on UTF-8, and reads and writes a file with a UTF-16 byte-order mark
// (either byte order) itself. A file without a byte-order mark is in the ANSI code page, as
// Windows' own profile functions read and write it: it is converted to UTF-8 and back.
#include "arquivo.h"
#include "perfil.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace perfil::arquivo {

namespace {

namespace fs = std::filesystem;

enum class Codificacao { Ansi, ComMarca };

std::error_code ErroDoSistema(DWORD codigo = GetLastError()) {
    return {static_cast<int>(codigo), std::system_category()};
}

bool Faltando(DWORD codigo) {
    return codigo == ERROR_FILE_NOT_FOUND || codigo == ERROR_PATH_NOT_FOUND;
}

class Alca {
  public:
    explicit Alca(HANDLE h) : h_(h) {}
    Alca(const Alca&) = delete;
    Alca& operator=(const Alca&) = delete;
    ~Alca() { Fecha(); }
    HANDLE get() const { return h_; }
    bool valida() const { return h_ != INVALID_HANDLE_VALUE; }
    bool Fecha() {
        const bool ok = h_ == INVALID_HANDLE_VALUE || CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
        return ok;
    }

  private:
    HANDLE h_;
};

std::wstring Largo(UINT pagina, std::string_view s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(pagina, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring r(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(pagina, 0, s.data(), static_cast<int>(s.size()), r.data(), n);
    return r;
}

std::string Estreito(UINT pagina, std::wstring_view s) {
    if (s.empty()) return {};
    const int n = WideCharToMultiByte(pagina, 0, s.data(), static_cast<int>(s.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string r(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(pagina, 0, s.data(), static_cast<int>(s.size()), r.data(), n, nullptr,
                        nullptr);
    return r;
}

// The byte-order marks that the text side reads by: UTF-8, UTF-16LE, UTF-16BE.
constexpr std::string_view kMarcas[] = {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"};

// The file's bytes for the text side: as they are when they begin with a byte-order mark,
// else from the ANSI code page to UTF-8.
std::string Decodifica(const std::string& bytes, Codificacao& cod) {
    const std::string_view b = bytes;
    for (const std::string_view marca : kMarcas)
        if (b.starts_with(marca)) {
            cod = Codificacao::ComMarca;
            return bytes;
        }
    cod = Codificacao::Ansi;
    return Estreito(CP_UTF8, Largo(CP_ACP, b));
}

std::string Codifica(const std::string& texto, Codificacao cod) {
    if (cod == Codificacao::ComMarca) return texto;
    // Characters outside the code page take their best fit, as Windows writes them.
    return Estreito(CP_ACP, Largo(CP_UTF8, texto));
}

std::error_code LerBytes(HANDLE h, std::string& bytes) {
    bytes.clear();
    char bloco[8192];
    for (;;) {
        DWORD lidos = 0;
        if (!ReadFile(h, bloco, sizeof bloco, &lidos, nullptr)) return ErroDoSistema();
        if (lidos == 0) return {};
        bytes.append(bloco, lidos);
    }
}

std::error_code Escreve(HANDLE h, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD parte = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        DWORD feitos = 0;
        if (!WriteFile(h, bytes.data(), parte, &feitos, nullptr)) return ErroDoSistema();
        // Nothing taken and no reason given: asking again would never end.
        if (feitos == 0) return std::make_error_code(std::errc::io_error);
        bytes.remove_prefix(feitos);
    }
    return {};
}

// The file's bytes; `existe` is false and the bytes empty when it is missing.
std::error_code LerArquivo(const fs::path& arquivo, std::string& bytes, bool& existe) {
    bytes.clear();
    Alca h(CreateFileW(arquivo.c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    existe = h.valida();
    if (!existe) {
        const DWORD codigo = GetLastError();
        return Faltando(codigo) ? std::error_code() : ErroDoSistema(codigo);
    }
    return LerBytes(h.get(), bytes);
}

std::string Transforma(const std::string& bytes,
                       const std::function<std::string(std::string_view)>& transforma) {
    Codificacao cod;
    const std::string texto = Decodifica(bytes, cod);
    return Codifica(transforma(texto), cod);
}

// The folder forbids the temporary file, or the new name: the file itself is rewritten,
// which is not atomic.
std::error_code NoLugar(const fs::path& alvo,
                        const std::function<std::string(std::string_view)>& transforma,
                        std::error_code erroAnterior) {
    Alca h(CreateFileW(alvo.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.valida()) {
        const DWORD codigo = GetLastError();
        return Faltando(codigo) ? erroAnterior : ErroDoSistema(codigo);
    }
    std::string atual;
    if (auto erro = LerBytes(h.get(), atual)) return erro;
    const std::string novo = Transforma(atual, transforma);
    if (novo == atual) return {};
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(h.get(), zero, nullptr, FILE_BEGIN)) return ErroDoSistema();
    if (auto erro = Escreve(h.get(), novo)) return erro;
    if (!SetEndOfFile(h.get()) || !FlushFileBuffers(h.get())) return ErroDoSistema();
    return {};
}

} // namespace

std::error_code Ler(const fs::path& arquivo, std::string& texto) {
    std::string bytes;
    bool existe = false;
    texto.clear();
    if (auto erro = LerArquivo(arquivo, bytes, existe)) return erro;
    Codificacao cod;
    texto = Decodifica(bytes, cod);
    return {};
}

std::error_code Reescrever(const fs::path& arquivo,
                           const std::function<std::string(std::string_view)>& transforma) {
    if (!arquivo.has_filename()) return std::make_error_code(std::errc::is_a_directory);
    std::string atual;
    bool existe = false;
    if (auto erro = LerArquivo(arquivo, atual, existe)) return erro;
    const std::string novo = Transforma(atual, transforma);
    if (existe && novo == atual) return {};
    // Windows' own write refuses a read-only file; replacing it would not.
    const DWORD atributos = existe ? GetFileAttributesW(arquivo.c_str()) : INVALID_FILE_ATTRIBUTES;
    if (atributos != INVALID_FILE_ATTRIBUTES && (atributos & FILE_ATTRIBUTE_READONLY))
        return ErroDoSistema(ERROR_ACCESS_DENIED);

    fs::path temporario = arquivo;
    temporario += L".tmp";
    Alca temp(CreateFileW(temporario.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!temp.valida()) {
        const DWORD codigo = GetLastError();
        if (codigo == ERROR_ACCESS_DENIED && existe)
            return NoLugar(arquivo, transforma, ErroDoSistema(codigo));
        return ErroDoSistema(codigo);
    }
    std::error_code erro = Escreve(temp.get(), novo);
    if (!erro && !FlushFileBuffers(temp.get())) erro = ErroDoSistema();
    if (!temp.Fecha() && !erro) erro = ErroDoSistema();
    // The file keeps its hidden and system marks.
    if (!erro && atributos != INVALID_FILE_ATTRIBUTES &&
        (atributos & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
        SetFileAttributesW(
            temporario.c_str(),
            atributos & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));
    if (!erro && !MoveFileExW(temporario.c_str(), arquivo.c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD codigo = GetLastError();
        DeleteFileW(temporario.c_str());
        // The folder forbids removing the old name, or another program holds the file open.
        if ((codigo == ERROR_ACCESS_DENIED || codigo == ERROR_SHARING_VIOLATION) && existe)
            return NoLugar(arquivo, transforma, ErroDoSistema(codigo));
        return ErroDoSistema(codigo);
    }
    if (erro) DeleteFileW(temporario.c_str());
    return erro;
}

} // namespace perfil::arquivo

namespace perfil {

std::wstring LerString(const std::filesystem::path& arquivo, std::wstring_view secao,
                       std::wstring_view chave) {
    using arquivo::Estreito;
    using arquivo::Largo;
    return Largo(CP_UTF8, LerString(arquivo, Estreito(CP_UTF8, secao), Estreito(CP_UTF8, chave)));
}

std::error_code GravarString(const std::filesystem::path& arquivo, std::wstring_view secao,
                             std::wstring_view chave, std::wstring_view valor) {
    using arquivo::Estreito;
    return GravarString(arquivo, Estreito(CP_UTF8, secao), Estreito(CP_UTF8, chave),
                        Estreito(CP_UTF8, valor));
}

} // namespace perfil
