// The registration of a running emulator for the library's "Default" discovery: the one
// agreement between the two programs, kept here so that both read it from the same place.
//
// The folder is $XDG_RUNTIME_DIR/testeecf, else $HOME/.testeecf, a real folder of the
// user's own that neither group nor others may write to. Each emulator writes a file
// emulador-<pid> there (first as .emulador-<pid>.tmp, then renamed) holding two lines:
//
//     /dev/pts/5
//     4711829
//
// its pty's absolute path, and its own start time (field 22 of /proc/<pid>/stat, in clock
// ticks after boot). A pid names a process only while it lives: once an emulator has been
// killed outright, the kernel may give its pid to any other process, and only the start
// time tells the two apart.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>

namespace inscricao {

inline constexpr std::string_view kPrefixo = "emulador-";

struct Conteudo {
    std::string pty;               // absolute path of the pty slave
    unsigned long long inicio = 0; // the emulator's start time
};

// $XDG_RUNTIME_DIR/testeecf, else $HOME/.testeecf; empty when neither is set.
std::filesystem::path Pasta();

// emulador-<pid>, and the name it is written under before the rename.
std::string Nome(pid_t pid);
std::string NomeTemporario(pid_t pid);
// The pid of a file named emulador-<pid>; nullopt for any other name.
std::optional<pid_t> PidDoNome(std::string_view nome);

// The file's text, and back. Le takes only an absolute path without control characters,
// then a start time in decimal, each on a line of its own.
std::string Escreve(const Conteudo& conteudo);
std::optional<Conteudo> Le(std::string_view texto);
// The registration `nome` in the open folder `pasta`, when it is a regular file (not a
// link) of the effective user's that reads as one.
std::optional<Conteudo> LeArquivo(int pasta, const char* nome);

// The start time of process `pid` (field 22 of /proc/<pid>/stat, clock ticks after boot):
// with the pid, it tells one process from a later one given the same pid. nullopt when
// there is no such process.
std::optional<unsigned long long> Inicio(pid_t pid);
// Whether process `pid` is still the emulator that wrote `conteudo`.
bool Vivo(pid_t pid, const Conteudo& conteudo);

// Whether a folder so described may hold registrations: a folder (not a link) of the
// effective user's, not writable by group or others.
bool PastaConfiavel(const struct stat& info);

} // namespace inscricao
