#include "emuladores.h"

#include "descritor.h"
#include "inscricao/inscricao.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace bemafi32 {

using protocolo::Descritor;

namespace fs = std::filesystem;

bool EhPty(dev_t dispositivo) {
    const auto m = major(dispositivo);
    return m >= 136 && m <= 143;
}

namespace {

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

using Lida = LeitorDeInscricoes::Lida;

struct FechaPasta {
    void operator()(DIR* pasta) const { ::closedir(pasta); }
};
using Pasta = std::unique_ptr<DIR, FechaPasta>;

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
    while (const dirent* entrada = ::readdir(lista.get())) {
        struct stat info {};
        if (entrada->d_name[0] == '.' ||
            ::fstatat(::dirfd(lista.get()), entrada->d_name, &info, 0) != 0 ||
            !S_ISCHR(info.st_mode))
            continue;
        // /dev/ptmx and /dev/pts/ptmx are both 5:2.
        const bool mestre = major(info.st_rdev) == 5 && minor(info.st_rdev) == 2;
        if (info.st_rdev == pty ||
            (mestre && !indice.empty() && MestreDe(pid, entrada->d_name, indice)))
            return true;
    }
    return false;
}

std::vector<Lida> Varre(const fs::path& pasta, struct stat& info) {
    if (pasta.empty()) return {};
    Descritor fd(::open(pasta.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd || ::fstat(fd.fd(), &info) != 0 || !inscricao::PastaConfiavel(info)) return {};

    // fdopendir takes the descriptor over, so it gets a copy of its own.
    Descritor copia(::fcntl(fd.fd(), F_DUPFD_CLOEXEC, 0));
    const Pasta lista(copia ? ::fdopendir(copia.fd()) : nullptr);
    if (!lista) return {};
    copia.Solta();
    std::vector<Lida> achadas;
    while (const dirent* entrada = ::readdir(lista.get())) {
        const auto pid = inscricao::PidDoNome(entrada->d_name);
        const auto inicio = pid ? inscricao::Inicio(*pid) : std::nullopt;
        if (!inicio) continue;
        const auto conteudo = inscricao::LeArquivo(fd.fd(), entrada->d_name);
        dev_t dispositivo = 0;
        // The start time written by the emulator must be the process's: a process that got
        // the pid of one killed outright, holding the same pty, is someone else's terminal.
        if (!conteudo || conteudo->inicio != *inicio ||
            !PtyDoUsuario(conteudo->pty, &dispositivo) ||
            !SeguraPty(*pid, conteudo->pty, dispositivo))
            continue;
        achadas.push_back({*pid, *inicio, {conteudo->pty, TipoPorta::Emulador, dispositivo}});
    }
    std::sort(achadas.begin(), achadas.end(),
              [](const Lida& a, const Lida& b) { return a.pid < b.pid; });
    return achadas;
}

std::vector<Candidato> SoCandidatos(const std::vector<Lida>& achadas) {
    std::vector<Candidato> candidatos;
    for (const auto& lida : achadas)
        candidatos.push_back(lida.candidato);
    return candidatos;
}

} // namespace

std::vector<Candidato> EmuladoresInscritos(const fs::path& pasta) {
    struct stat info {};
    return SoCandidatos(Varre(pasta, info));
}

std::vector<Candidato> LeitorDeInscricoes::Le(const fs::path& pasta) {
    struct stat info {};
    if (!pasta.empty() && pasta == pasta_ && ::lstat(pasta.c_str(), &info) == 0 &&
        inscricao::PastaConfiavel(info) && info.st_dev == dispositivo_ && info.st_ino == inode_ &&
        info.st_mtim.tv_sec == modificado_.tv_sec && info.st_mtim.tv_nsec == modificado_.tv_nsec) {
        std::vector<Candidato> vivos;
        for (auto lida : lidas_)
            if (inscricao::Inicio(lida.pid) == lida.inicio &&
                PtyDoUsuario(lida.candidato.caminho, &lida.candidato.dispositivo))
                vivos.push_back(lida.candidato);
        return vivos;
    }
    info = {};
    lidas_ = Varre(pasta, info);
    pasta_ = pasta;
    dispositivo_ = info.st_dev;
    inode_ = info.st_ino;
    modificado_ = info.st_mtim;
    return SoCandidatos(lidas_);
}

std::optional<Candidato> EmuladorEm(const std::string& caminho,
                                    const std::vector<Candidato>& inscritos) {
    struct stat info {};
    if (caminho.empty() || ::stat(caminho.c_str(), &info) != 0 || !S_ISCHR(info.st_mode) ||
        !EhPty(info.st_rdev))
        return std::nullopt;
    for (const auto& inscrito : inscritos)
        if (inscrito.dispositivo == info.st_rdev)
            return Candidato{caminho, TipoPorta::Emulador, info.st_rdev};
    return std::nullopt;
}

} // namespace bemafi32
