// Reading and atomically replacing a profile file with the POSIX file calls.
#include "arquivo.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <exception>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace perfil::arquivo {

namespace {

namespace fs = std::filesystem;

// How long a lock held by another writer is waited for. A write holds it for milliseconds;
// one held far longer (a stopped process, another program) must not stop us for ever.
constexpr std::chrono::milliseconds kEsperaTrava{2000};

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

// O_NONBLOCK keeps a FIFO in the file's place from blocking the open, O_NOCTTY keeps a
// terminal from becoming ours; neither changes anything for a regular file.
int Abre(const fs::path& caminho, int modos, mode_t permissoes = 0) {
    int fd;
    do
        fd = ::open(caminho.c_str(), modos | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, permissoes);
    while (fd < 0 && errno == EINTR);
    return fd;
}

// Takes the exclusive lock, trying again until kEsperaTrava has passed; then EWOULDBLOCK.
std::error_code Bloqueia(int fd) {
    using Relogio = std::chrono::steady_clock;
    const auto prazo = Relogio::now() + kEsperaTrava;
    std::chrono::milliseconds pausa{1};
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return {};
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) return ErroDoSistema();
        const auto resta = std::chrono::ceil<std::chrono::milliseconds>(prazo - Relogio::now());
        if (resta.count() <= 0) return std::make_error_code(std::errc::operation_would_block);
        // A wait on the clock alone: poll with no descriptors.
        ::poll(nullptr, 0, static_cast<int>(std::min(pausa, resta).count()));
        pausa = std::min(pausa * 2, std::chrono::milliseconds(20));
    }
}

// Reads the whole of an open regular file into `texto` and its attributes into `info`.
std::error_code LerDe(int fd, std::string& texto, struct stat& info) {
    if (::fstat(fd, &info) != 0) return ErroDoSistema();
    if (S_ISDIR(info.st_mode)) return std::make_error_code(std::errc::is_a_directory);
    if (!S_ISREG(info.st_mode)) return std::make_error_code(std::errc::invalid_argument);
    texto.clear();
    // One allocation for the whole file, not a doubling string: a large file costs its size.
    if (info.st_size > 0 && static_cast<std::uintmax_t>(info.st_size) < texto.max_size())
        texto.reserve(static_cast<std::size_t>(info.st_size));
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
        else if (n == 0) // nothing taken and no reason given: asking again would never end
            return std::make_error_code(std::errc::io_error);
        else if (errno != EINTR)
            return ErroDoSistema();
    }
    return {};
}

// An existing temporary file is ours to lock and replace only when it is a regular file of
// ours: in a folder that others may write, anything else under its name (a link, a FIFO,
// their file, locked for as long as they like) is theirs, and the write fails.
std::error_code AbreExistente(const fs::path& temporario, int& fd) {
    struct stat nomeado {};
    struct stat aberto {};
    if (::lstat(temporario.c_str(), &nomeado) != 0) return ErroDoSistema();
    if (S_ISDIR(nomeado.st_mode)) return std::make_error_code(std::errc::is_a_directory);
    if (S_ISLNK(nomeado.st_mode))
        return std::make_error_code(std::errc::too_many_symbolic_link_levels);
    if (!S_ISREG(nomeado.st_mode) || nomeado.st_uid != ::geteuid())
        return std::make_error_code(std::errc::file_exists);
    // Read-only is enough to lock; the lock is all that is asked of this file.
    fd = Abre(temporario, O_RDONLY | O_NOFOLLOW);
    if (fd < 0) return ErroDoSistema();
    if (::fstat(fd, &aberto) != 0 || aberto.st_dev != nomeado.st_dev ||
        aberto.st_ino != nomeado.st_ino) {
        ::close(fd);
        fd = -1; // replaced in between: look again
    }
    return {};
}

// The temporary file, created new and locked. The lock tells a live writer's file from one
// left by a write that was killed: the second is removed and made again. A file that was
// renamed or removed while we waited for its lock is not ours either.
std::error_code AbreTemporario(const fs::path& temporario, int& resultado) {
    for (;;) {
        bool criado = true;
        int fd = Abre(temporario, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
        if (fd < 0 && errno == EEXIST) {
            criado = false;
            const std::error_code erro = AbreExistente(temporario, fd);
            if (erro == std::errc::no_such_file_or_directory || (!erro && fd < 0)) continue;
            if (erro) return erro;
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
    if (const int fd = Abre(alvo, O_RDONLY | O_NOFOLLOW); fd >= 0) {
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
    const int fd = Abre(alvo, O_RDWR | O_NOFOLLOW);
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

// The file a write goes to: `arquivo`, or where its symbolic links lead. A link is
// followed only when it is the user's own or root's. In a folder that others may write, a
// link planted by another user would aim our write at any file we may write: the kernel's
// protected-symlinks rule, for sticky folders, and here for every folder and every link of
// a chain. The file found is then opened without following links, so that a link put in
// its place meanwhile fails the write.
std::error_code Destino(const fs::path& arquivo, fs::path& alvo) {
    alvo = arquivo;
    for (int saltos = 0;; ++saltos) {
        struct stat info {};
        if (::lstat(alvo.c_str(), &info) != 0)
            return errno == ENOENT ? std::error_code() : ErroDoSistema();
        if (!S_ISLNK(info.st_mode)) return {};
        if (saltos == 40) return std::make_error_code(std::errc::too_many_symbolic_link_levels);
        if (info.st_uid != ::geteuid() && info.st_uid != 0)
            return std::make_error_code(std::errc::permission_denied);
        std::error_code erro;
        const fs::path destino = fs::read_symlink(alvo, erro);
        if (erro) return erro;
        alvo = destino.is_absolute() ? destino : alvo.parent_path() / destino;
    }
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
    fs::path alvo;
    std::error_code erro = Destino(arquivo, alvo);
    if (erro) return erro;
    fs::path temporario = alvo;
    temporario += ".tmp";
    int fd = -1;
    erro = AbreTemporario(temporario, fd);
    if (erro == std::errc::permission_denied || erro == std::errc::operation_not_permitted)
        return NoLugar(alvo, transforma, erro);
    if (erro) return erro;
    Descritor temp(fd);
    try {
        erro = Substitui(alvo, temporario, fd, transforma);
    } catch (const std::exception&) { // a file too large for memory
        erro = std::make_error_code(std::errc::not_enough_memory);
    }
    if (erro) ::unlink(temporario.c_str()); // still under our lock, so still ours
    return erro;
}

} // namespace perfil::arquivo
