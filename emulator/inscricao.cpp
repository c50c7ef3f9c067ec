#include "inscricao.h"

#include "inscricao/inscricao.h"
#include "terminal.h"

#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>

namespace emulador {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Falha(const fs::path& onde) {
    throw std::system_error(errno, std::generic_category(), onde.string());
}

void PreparaPasta(const fs::path& pasta) {
    if (::mkdir(pasta.c_str(), 0700) != 0 && errno != EEXIST) Falha(pasta);
    struct stat info {};
    if (::lstat(pasta.c_str(), &info) != 0) Falha(pasta);
    // Anyone who could write here could point the library at a terminal of their choosing.
    if (!S_ISDIR(info.st_mode))
        throw std::runtime_error(pasta.string() + " is not a folder (or is a symbolic link)");
    if (info.st_uid != ::geteuid())
        throw std::runtime_error(pasta.string() + " belongs to another user");
    if (!inscricao::PastaConfiavel(info))
        throw std::runtime_error(pasta.string() + " is writable by group or others");
}

// The entries of emulators killed outright, which could not remove their own: their
// process is gone, or its pid now belongs to a later process (another start time).
void RemoveAbandonados(const fs::path& pasta) {
    Descritor fd(::open(pasta.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.fd() < 0) return;
    std::error_code erro;
    for (const auto& entrada : fs::directory_iterator(pasta, erro)) {
        const std::string nome = entrada.path().filename().string();
        const auto pid = inscricao::PidDoNome(nome);
        if (!pid || *pid == ::getpid()) continue;
        const auto conteudo = inscricao::LeArquivo(fd.fd(), nome.c_str());
        if (!conteudo || !inscricao::Vivo(*pid, *conteudo)) fs::remove(entrada.path(), erro);
    }
}

} // namespace

Inscricao::Inscricao(const std::string& caminhoDoTerminal) {
    const fs::path pasta = inscricao::Pasta();
    if (pasta.empty())
        throw std::runtime_error("neither XDG_RUNTIME_DIR nor HOME is set, so there is no "
                                 "folder to register in (use --sem-registro)");
    PreparaPasta(pasta);
    RemoveAbandonados(pasta);

    const auto inicio = inscricao::Inicio(::getpid());
    if (!inicio) throw std::runtime_error("cannot read this process's start time in /proc");
    const fs::path temporario = pasta / inscricao::NomeTemporario(::getpid());
    const fs::path arquivo = pasta / inscricao::Nome(::getpid());
    const auto desiste = [&](const fs::path& onde) {
        const int erro = errno;
        ::unlink(temporario.c_str());
        errno = erro;
        Falha(onde);
    };
    {
        Descritor fd(::open(temporario.c_str(),
                            O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (fd.fd() < 0) Falha(temporario);
        const std::string conteudo = inscricao::Escreve({caminhoDoTerminal, *inicio});
        if (!EscreveTudo(fd.fd(), conteudo.data(), conteudo.size())) desiste(temporario);
    }
    if (::rename(temporario.c_str(), arquivo.c_str()) != 0) desiste(arquivo);
    arquivo_ = arquivo;
}

Inscricao::~Inscricao() { ::unlink(arquivo_.c_str()); }

} // namespace emulador
