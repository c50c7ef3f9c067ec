#include "portas_seriais.h"

#include "emuladores.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <tuple>

namespace bemafi32 {

namespace fs = std::filesystem;

namespace {

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

} // namespace

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

std::optional<Candidato> PortaSerialEm(const std::string& caminho, const Sistema& sistema) {
    struct stat info {};
    if (caminho.empty() || ::stat(caminho.c_str(), &info) != 0 || !S_ISCHR(info.st_mode) ||
        EhPty(info.st_rdev))
        return std::nullopt;
    const auto nome = NomeTty(info.st_rdev, sistema);
    if (!nome || !EhSerial(*nome, sistema)) return std::nullopt;
    return Candidato{caminho, TipoPorta::Serial, info.st_rdev};
}

} // namespace bemafi32
