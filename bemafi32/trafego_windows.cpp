#include "trafego_arquivo.h"

#include <windows.h>

#include <cstdio>

namespace bemafi32 {

Acrescimo AcrescentaAoLog(const std::filesystem::path& arquivo, std::string_view texto) {
    // The reparse point itself is opened, not what it leads to, so a link is seen as one.
    const HANDLE h = ::CreateFileW(arquivo.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return {true, "cannot be opened (error " + std::to_string(::GetLastError()) + ")"};
    BY_HANDLE_FILE_INFORMATION info{};
    const char* recusa = nullptr;
    if (::GetFileType(h) != FILE_TYPE_DISK || !::GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        recusa = "is not a regular file";
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        recusa = "is a symbolic link";
    else if (info.nNumberOfLinks != 1)
        recusa = "has other names (hard links)";
    if (recusa) {
        ::CloseHandle(h);
        return {true, recusa};
    }
    DWORD escritos = 0;
    const BOOL ok =
        ::WriteFile(h, texto.data(), static_cast<DWORD>(texto.size()), &escritos, nullptr);
    const DWORD erro = ::GetLastError();
    ::CloseHandle(h);
    if (ok && escritos == texto.size()) return {};
    return {false, "could not be written (error " + std::to_string(erro) + ")"};
}

std::tm HoraLocal(std::time_t instante) {
    std::tm local{};
    ::localtime_s(&local, &instante);
    return local;
}

void EscreveNoErroPadrao(std::string_view texto) {
    std::fwrite(texto.data(), 1, texto.size(), stderr);
    std::fflush(stderr);
}

} // namespace bemafi32
