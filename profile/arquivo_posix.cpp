// Reading and atomically replacing a profile file with the POSIX file calls.
#include "arquivo.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace perfil::arquivo {

namespace {

namespace fs = std::filesystem;

std::error_code ErroDoSistema() { return {errno, std::generic_category()}; }

class Descritor {
  public:
    explicit Descritor(int fd) : fd_(fd) {}
    Descritor(const Descritor&) = delete;
    Descritor& operator=(const Descritor&) = delete;
    ~Descritor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int Solta() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

// O_NONBLOCK keeps a FIFO in the file's place from blocking the open; it changes nothing
// for a regular file.
int Abre(const fs::path& caminho, int modos, mode_t permissoes = 0) {
    int fd;
    do
        fd = ::open(caminho.c_str(), modos | O_CLOEXEC | O_NONBLOCK, permissoes);
    while (fd < 0 && errno == EINTR);
    return fd;
}

std::error_code Bloqueia(int fd) {
    while (::flock(fd, LOCK_EX) != 0)
        if (errno != EINTR) return ErroDoSistema();
    return {};
}

// Reads the whole of an open regular file into `texto` and its attributes into `info`.
std::error_code LerDe(int fd, std::string& texto, struct stat& info) {
    if (::fstat(fd, &info) != 0) return ErroDoSistema();
    if (S_ISDIR(info.st_mode)) return std::make_error_code(std::errc::is_a_directory);
    if (!S_ISREG(info.st_mode)) return std::make_error_code(std::errc::invalid_argument);
    texto.clear();
    char bloco[8192];
    for (;;) {
        const ssize_t lidos = ::read(fd, bloco, sizeof bloco);
        if (lidos == 0) return {};
        if (lidos > 0)
            texto.append(bloco, static_cast<std::size_t>(lidos));
        else if (errno != EINTR)
            return ErroDoSistema();
    }
}

std::error_code Escreve(int fd, std::string_view texto) {
    std::size_t feitos = 0;
    while (feitos < texto.size()) {
        const ssize_t n =
            ::pwrite(fd, texto.data() + feitos, texto.size() - feitos, static_cast<off_t>(feitos));
        if (n > 0)
            feitos += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EINTR)
            return ErroDoSistema();
    }
    return {};
}

// The temporary file, created new and locked. The lock tells a live writer's file from one
// left by a write that was killed: the second is removed and made again. A file that was
// renamed or removed while we waited for its lock is not ours either.
std::error_code AbreTemporario(const fs::path& temporario, int& resultado) {
    for (;;) {
        bool criado = true;
        int fd = Abre(temporario, O_RDWR | O_CREAT | O_EXCL, 0666);
        if (fd < 0 && errno == EEXIST) {
            criado = false;
            fd = Abre(temporario, O_RDWR | O_NOFOLLOW);
            if (fd < 0 && errno == ENOENT) continue;
        }
        if (fd < 0) return ErroDoSistema();
        Descritor temp(fd);
        if (auto erro = Bloqueia(fd)) return erro;
        struct stat aberto, nomeado;
        if (::fstat(fd, &aberto) != 0) return ErroDoSistema();
        if (::lstat(temporario.c_str(), &nomeado) != 0) {
            if (errno == ENOENT) continue;
            return ErroDoSistema();
        }
        if (aberto.st_dev != nomeado.st_dev || aberto.st_ino != nomeado.st_ino) continue;
        if (!criado) {
            if (::unlink(temporario.c_str()) != 0) return ErroDoSistema();
            continue;
        }
        resultado = temp.Solta();
        return {};
    }
}

void SincronizaPasta(const fs::path& arquivo) {
    // The rename is done by now; a folder that cannot be opened or flushed costs only the
    // durability of the new name, so it is not reported.
    const fs::path pasta = arquivo.has_parent_path() ? arquivo.parent_path() : fs::path(".");
    const int fd = Abre(pasta, O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

std::error_code Substitui(const fs::path& alvo, const fs::path& temporario, int fdTemporario,
                          const std::function<std::string(std::string_view)>& transforma) {
    std::string atual;
    struct stat info {};
    bool existe = false;
    if (const int fd = Abre(alvo, O_RDONLY); fd >= 0) {
        Descritor aberto(fd);
        if (auto erro = LerDe(fd, atual, info)) return erro;
        existe = true;
    } else if (errno != ENOENT) {
        return ErroDoSistema();
    }
    if (existe) {
        if (info.st_uid != ::geteuid() || info.st_gid != ::getegid())
            (void)::fchown(fdTemporario, info.st_uid, info.st_gid); // only root may
        if (::fchmod(fdTemporario, info.st_mode & 07777) != 0) return ErroDoSistema();
    }
    if (auto erro = Escreve(fdTemporario, transforma(atual))) return erro;
    if (::fsync(fdTemporario) != 0 || ::rename(temporario.c_str(), alvo.c_str()) != 0)
        return ErroDoSistema();
    SincronizaPasta(alvo);
    return {};
}

// The folder forbids the temporary file: the file itself is rewritten, which is not atomic.
// Reserving the space first keeps a full disk from cutting the new text short.
std::error_code NoLugar(const fs::path& alvo,
                        const std::function<std::string(std::string_view)>& transforma,
                        std::error_code erroDoTemporario) {
    const int fd = Abre(alvo, O_RDWR);
    if (fd < 0) return errno == ENOENT ? erroDoTemporario : ErroDoSistema();
    Descritor arquivo(fd);
    std::string atual;
    struct stat info {};
    if (auto erro = Bloqueia(fd)) return erro;
    if (auto erro = LerDe(fd, atual, info)) return erro;
    const std::string novo = transforma(atual);
#ifdef __linux__
    if (novo.size() > atual.size() && ::fallocate(fd, 0, 0, static_cast<off_t>(novo.size())) != 0 &&
        errno != EOPNOTSUPP)
        return ErroDoSistema();
#endif
    if (auto erro = Escreve(fd, novo)) return erro;
    if (::ftruncate(fd, static_cast<off_t>(novo.size())) != 0 || ::fsync(fd) != 0)
        return ErroDoSistema();
    return {};
}

} // namespace

std::error_code Ler(const fs::path& arquivo, std::string& texto) {
    texto.clear();
    const int fd = Abre(arquivo, O_RDONLY);
    if (fd < 0) return errno == ENOENT ? std::error_code() : ErroDoSistema();
    Descritor aberto(fd);
    struct stat info {};
    return LerDe(fd, texto, info);
}

std::error_code Reescrever(const fs::path& arquivo,
                           const std::function<std::string(std::string_view)>& transforma) {
    if (!arquivo.has_filename()) return std::make_error_code(std::errc::is_a_directory);
    // Through a symbolic link, the file it names is the one replaced.
    fs::path alvo = arquivo;
    std::error_code erro;
    if (fs::is_symlink(fs::symlink_status(arquivo, erro))) {
        alvo = fs::weakly_canonical(arquivo, erro);
        if (erro) return erro;
    }
    fs::path temporario = alvo;
    temporario += ".tmp";
    int fd = -1;
    erro = AbreTemporario(temporario, fd);
    if (erro == std::errc::permission_denied || erro == std::errc::operation_not_permitted)
        return NoLugar(alvo, transforma, erro);
    if (erro) return erro;
    Descritor temp(fd);
    erro = Substitui(alvo, temporario, fd, transforma);
    if (erro) ::unlink(temporario.c_str()); // still under our lock, so still ours
    return erro;
}

} // namespace perfil::arquivo
