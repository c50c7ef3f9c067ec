#include "trafego_arquivo.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bemafi32 {

Acrescimo AcrescentaAoLog(const std::filesystem::path& arquivo, std::string_view texto) {
    // No link followed, no wait on a FIFO, nothing another user could read.
    const int fd = ::open(
        arquivo.c_str(),
        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int erro = errno;
        return {true, erro == ELOOP                     ? "is a symbolic link"
                      : erro == ENXIO || erro == EISDIR ? "is not a regular file"
                                                        : std::strerror(erro)};
    }
    struct stat info {};
    const char* recusa = nullptr;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        recusa = "is not a regular file";
    else if (info.st_uid != ::geteuid())
        recusa = "belongs to another user";
    else if (info.st_nlink != 1)
        recusa = "has other names (hard links)";
    if (recusa) {
        ::close(fd);
        return {true, recusa};
    }
    // One write, so that lines of two programs sharing the log never interleave.
    ssize_t escritos;
    do
        escritos = ::write(fd, texto.data(), texto.size());
    while (escritos < 0 && errno == EINTR);
    const int erro = errno;
    ::close(fd);
    if (escritos == static_cast<ssize_t>(texto.size())) return {};
    return {false,
            "could not be written" + (escritos < 0 ? ": " + std::string(std::strerror(erro)) : "")};
}

std::tm HoraLocal(std::time_t instante) {
    std::tm local{};
    ::localtime_r(&instante, &local);
    return local;
}

void EscreveNoErroPadrao(std::string_view texto) {
    (void)!::write(STDERR_FILENO, texto.data(), texto.size());
}

} // namespace bemafi32
