#include "portas.h"

#include "descritor.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <tuple>

namespace bemafi32 {

using protocolo::Descritor;

namespace fs = std::filesystem;

namespace {

// Unix98 pty slaves take majors 136 to 143.
bool EhPty(dev_t dispositivo) {
    const auto m = major(dispositivo);
    return m >= 136 && m <= 143;
}

std::optional<std::string> LeAtributo(const fs::path& arquivo) {
    std::ifstream entrada(arquivo);
    std::string linha;
    if (!entrada || !std::getline(entrada, linha)) return std::nullopt;
    while (!linha.empty() && std::isspace(static_cast<unsigned char>(linha.back())))
        linha.pop_back();
    return linha;
}

// The tty's name as the kernel knows it, found from the device number, so that neither
// a symlink nor a renamed node can pass one device off as another.
std::optional<std::string> NomeTty(dev_t dispositivo, const Sistema& sistema) {
    const auto ligacao =
        sistema.sysfs / "dev/char" /
        (std::to_string(major(dispositivo)) + ':' + std::to_string(minor(dispositivo)));
    std::error_code erro;
    const auto alvo = fs::read_symlink(ligacao, erro);
    if (erro || alvo.parent_path().filename() != "tty") return std::nullopt;
    return alvo.filename().string();
}

bool EhConsole(const std::string& nome, const Sistema& sistema) {
    const auto classe = sistema.sysfs / "class/tty";
    if (LeAtributo(classe / nome / "console") == "Y") return true;
    const auto ativos = LeAtributo(classe / "console/active").value_or("");
    std::size_t inicio = 0;
    while (inicio < ativos.size()) {
        auto fim = ativos.find(' ', inicio);
        if (fim == std::string::npos) fim = ativos.size();
        if (ativos.compare(inicio, fim - inicio, nome) == 0) return true;
        inicio = fim + 1;
    }
    return false;
}

bool EhSerial(const std::string& nome, const Sistema& sistema) {
    const auto classe = sistema.sysfs / "class/tty" / nome;
    // Hardware first: it rules out the many virtual consoles at the cost of one lookup.
    std::error_code erro;
    if (!nome.starts_with("rfcomm") && !fs::exists(classe / "device", erro)) return false;
    if (EhConsole(nome, sistema)) return false;
    // An 8250 slot with no UART behind it reports type 0 and never answers.
    return LeAtributo(classe / "type") != "0";
}

// ttyS, ttyUSB, ttyACM, rfcomm, others; then by number, then by name.
std::tuple<int, long, std::string> Ordem(const std::string& nome) {
    static constexpr std::string_view kGrupos[] = {"ttyS", "ttyUSB", "ttyACM", "rfcomm"};
    int grupo = std::size(kGrupos);
    std::string_view resto = nome;
    for (int i = 0; i < static_cast<int>(std::size(kGrupos)); ++i) {
        const auto prefixo = kGrupos[i];
        if (nome.size() > prefixo.size() && nome.starts_with(prefixo) &&
            std::isdigit(static_cast<unsigned char>(nome[prefixo.size()]))) {
            grupo = i;
            resto.remove_prefix(prefixo.size());
            break;
        }
    }
    long numero = -1;
    std::from_chars(resto.data(), resto.data() + resto.size(), numero);
    return {grupo, numero, nome};
}

std::optional<pid_t> PidDoRegistro(std::string_view nome) {
    constexpr std::string_view kPrefixo = "emulador-";
    if (!nome.starts_with(kPrefixo)) return std::nullopt;
    nome.remove_prefix(kPrefixo.size());
    pid_t pid = 0;
    const auto [fim, erro] = std::from_chars(nome.data(), nome.data() + nome.size(), pid);
    if (nome.empty() || erro != std::errc{} || fim != nome.data() + nome.size() || pid <= 0)
        return std::nullopt;
    return pid;
}

std::optional<std::string> LeRegistro(int diretorio, const char* nome) {
    Descritor arquivo(::openat(diretorio, nome, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (!arquivo || ::fstat(arquivo.fd(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_uid != ::geteuid())
        return std::nullopt;
    char texto[4096];
    const auto lidos = ::read(arquivo.fd(), texto, sizeof texto);
    if (lidos <= 0) return std::nullopt;
    std::string caminho(texto, static_cast<std::size_t>(lidos));
    while (!caminho.empty() && (caminho.back() == '\n' || caminho.back() == '\r'))
        caminho.pop_back();
    if (caminho.empty() || caminho.front() != '/' || caminho.find('\n') != std::string::npos)
        return std::nullopt;
    return caminho;
}

} // namespace

std::optional<int> NumeroCom(std::string_view nome) {
    if (nome.size() < 4 || nome.size() > 5) return std::nullopt;
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(nome[i])) != "COM"[i]) return std::nullopt;
    if (nome[3] == '0') return std::nullopt;
    int numero = 0;
    const auto [fim, erro] = std::from_chars(nome.data() + 3, nome.data() + nome.size(), numero);
    if (erro != std::errc{} || fim != nome.data() + nome.size() || numero < 1 || numero > 15)
        return std::nullopt;
    return numero;
}

std::string DispositivoCom(int numero, const Ajustes& ajustes) {
    if (const auto proprio = ajustes.portasCom.find(numero); proprio != ajustes.portasCom.end())
        return proprio->second;
    if (numero <= 4) return "/dev/ttyS" + std::to_string(numero - 1);
    if (numero <= 10) return "/dev/ttyUSB" + std::to_string(numero - 5);
    return "/dev/ttyACM" + std::to_string(numero - 11);
}

fs::path DiretorioRegistro() {
    if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && *xdg)
        return fs::path(xdg) / "testeecf";
    if (const char* home = std::getenv("HOME"); home && *home) return fs::path(home) / ".testeecf";
    return {};
}

namespace {

bool PastaConfiavel(const struct stat& info) {
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The user's own pty, still the device it was.
bool PtyDoUsuario(const std::string& caminho, dev_t* dispositivo) {
    struct stat pty {};
    if (::stat(caminho.c_str(), &pty) != 0 || !S_ISCHR(pty.st_mode) || !EhPty(pty.st_rdev) ||
        pty.st_uid != ::geteuid())
        return false;
    if (*dispositivo != 0 && *dispositivo != pty.st_rdev) return false;
    *dispositivo = pty.st_rdev;
    return true;
}

using Registro = LeitorDeRegistros::Registro;

struct FechaPasta {
    void operator()(DIR* pasta) const { ::closedir(pasta); }
};
using Pasta = std::unique_ptr<DIR, FechaPasta>;

// The process's start time (field 22 of /proc/<pid>/stat): with the pid, it tells one
// process from a later one that got the same pid. nullopt when there is no such process.
std::optional<unsigned long long> Inicio(pid_t pid) {
    const auto caminho = "/proc/" + std::to_string(pid) + "/stat";
    Descritor arquivo(::open(caminho.c_str(), O_RDONLY | O_CLOEXEC));
    char texto[1024];
    const auto lidos = arquivo ? ::read(arquivo.fd(), texto, sizeof texto) : -1;
    if (lidos <= 0) return std::nullopt;
    const std::string_view linha(texto, static_cast<std::size_t>(lidos));
    // The command name, in parentheses, may hold spaces and parentheses of its own.
    const auto fecha = linha.rfind(')');
    if (fecha == std::string_view::npos) return std::nullopt;
    std::size_t pos = fecha + 1;
    for (int campo = 2; campo < 22; ++campo) {
        pos = linha.find(' ', pos);
        if (pos == std::string_view::npos) return std::nullopt;
        ++pos;
    }
    unsigned long long inicio = 0;
    if (std::from_chars(linha.data() + pos, linha.data() + linha.size(), inicio).ec != std::errc{})
        return std::nullopt;
    return inicio;
}

// The master side's fdinfo names the pty it drives.
bool MestreDe(pid_t pid, const char* fd, std::string_view indice) {
    const auto caminho = "/proc/" + std::to_string(pid) + "/fdinfo/" + fd;
    Descritor arquivo(::open(caminho.c_str(), O_RDONLY | O_CLOEXEC));
    char texto[512];
    const auto lidos = arquivo ? ::read(arquivo.fd(), texto, sizeof texto) : -1;
    if (lidos <= 0) return false;
    const std::string_view info(texto, static_cast<std::size_t>(lidos));
    return info.find("tty-index:\t" + std::string(indice) + "\n") != std::string_view::npos;
}

// Whether the registered process holds the pty. A registration left behind by an emulator
// that was killed outright may name a pid and a pty that now belong to other programs (a
// shell in a terminal window, say): this is where it stops.
bool SeguraPty(pid_t pid, const std::string& caminho, dev_t pty) {
    const auto pasta = "/proc/" + std::to_string(pid) + "/fd";
    const Pasta lista(::opendir(pasta.c_str()));
    if (!lista) return false;
    const fs::path p(caminho);
    const std::string indice = p.parent_path() == "/dev/pts" ? p.filename().string() : "";
    bool segura = false;
    while (const dirent* entrada = ::readdir(lista.get())) {
        struct stat info {};
        if (entrada->d_name[0] == '.' ||
            ::fstatat(::dirfd(lista.get()), entrada->d_name, &info, 0) != 0 ||
            !S_ISCHR(info.st_mode))
            continue;
        // /dev/ptmx and /dev/pts/ptmx are both 5:2.
        const bool mestre = major(info.st_rdev) == 5 && minor(info.st_rdev) == 2;
        if (info.st_rdev == pty ||
            (mestre && !indice.empty() && MestreDe(pid, entrada->d_name, indice))) {
            segura = true;
            break;
        }
    }
    return segura;
}

std::vector<Registro> Varre(const fs::path& diretorio, struct stat& info) {
    if (diretorio.empty()) return {};
    Descritor pasta(::open(diretorio.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!pasta || ::fstat(pasta.fd(), &info) != 0 || !PastaConfiavel(info)) return {};

    // fdopendir takes the descriptor over, so it gets a copy of its own.
    Descritor copia(::fcntl(pasta.fd(), F_DUPFD_CLOEXEC, 0));
    const Pasta lista(copia ? ::fdopendir(copia.fd()) : nullptr);
    if (!lista) return {};
    copia.Solta();
    std::vector<Registro> achados;
    while (const dirent* entrada = ::readdir(lista.get())) {
        const auto pid = PidDoRegistro(entrada->d_name);
        const auto inicio = pid ? Inicio(*pid) : std::nullopt;
        if (!inicio) continue;
        const auto caminho = LeRegistro(pasta.fd(), entrada->d_name);
        dev_t dispositivo = 0;
        if (!caminho || !PtyDoUsuario(*caminho, &dispositivo) ||
            !SeguraPty(*pid, *caminho, dispositivo))
            continue;
        achados.push_back({*pid, *inicio, {*caminho, TipoPorta::Emulador, dispositivo}});
    }
    std::sort(achados.begin(), achados.end(),
              [](const Registro& a, const Registro& b) { return a.pid < b.pid; });
    return achados;
}

std::vector<Candidato> SoCandidatos(const std::vector<Registro>& achados) {
    std::vector<Candidato> candidatos;
    for (const auto& registro : achados)
        candidatos.push_back(registro.candidato);
    return candidatos;
}

} // namespace

std::vector<Candidato> EmuladoresRegistrados(const fs::path& diretorio) {
    struct stat info {};
    return SoCandidatos(Varre(diretorio, info));
}

std::vector<Candidato> LeitorDeRegistros::Le(const fs::path& diretorio) {
    struct stat info {};
    if (!diretorio.empty() && diretorio == diretorio_ && ::lstat(diretorio.c_str(), &info) == 0 &&
        PastaConfiavel(info) && info.st_dev == dispositivo_ && info.st_ino == inode_ &&
        info.st_mtim.tv_sec == modificado_.tv_sec && info.st_mtim.tv_nsec == modificado_.tv_nsec) {
        std::vector<Candidato> vivos;
        for (auto registro : lidos_)
            if (Inicio(registro.pid) == registro.inicio &&
                PtyDoUsuario(registro.candidato.caminho, &registro.candidato.dispositivo))
                vivos.push_back(registro.candidato);
        return vivos;
    }
    info = {};
    lidos_ = Varre(diretorio, info);
    diretorio_ = diretorio;
    dispositivo_ = info.st_dev;
    inode_ = info.st_ino;
    modificado_ = info.st_mtim;
    return SoCandidatos(lidos_);
}

std::vector<Candidato> PortasSeriais(const Sistema& sistema) {
    std::vector<Candidato> portas;
    std::error_code erro;
    for (const auto& entrada : fs::directory_iterator(sistema.sysfs / "class/tty", erro)) {
        const auto nome = entrada.path().filename().string();
        const auto caminho = sistema.dev / nome;
        struct stat info {};
        if (::stat(caminho.c_str(), &info) != 0 || !S_ISCHR(info.st_mode) || EhPty(info.st_rdev) ||
            NomeTty(info.st_rdev, sistema) != nome || !EhSerial(nome, sistema))
            continue;
        portas.push_back({caminho.string(), TipoPorta::Serial, info.st_rdev});
    }
    std::sort(portas.begin(), portas.end(), [](const Candidato& a, const Candidato& b) {
        return Ordem(fs::path(a.caminho).filename().string()) <
               Ordem(fs::path(b.caminho).filename().string());
    });
    return portas;
}

std::optional<Candidato> ConferePorta(const std::string& caminho,
                                      const std::vector<Candidato>& registrados,
                                      const Sistema& sistema) {
    struct stat info {};
    if (caminho.empty() || ::stat(caminho.c_str(), &info) != 0 || !S_ISCHR(info.st_mode))
        return std::nullopt;
    if (EhPty(info.st_rdev)) {
        for (const auto& r : registrados)
            if (r.dispositivo == info.st_rdev)
                return Candidato{caminho, TipoPorta::Emulador, info.st_rdev};
        return std::nullopt;
    }
    const auto nome = NomeTty(info.st_rdev, sistema);
    if (!nome || !EhSerial(*nome, sistema)) return std::nullopt;
    return Candidato{caminho, TipoPorta::Serial, info.st_rdev};
}

} // namespace bemafi32
