// The emulators registered by the user (inscricao/inscricao.h), as the library trusts them.
#pragma once

#include "portas.h"

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace bemafi32 {

// Unix98 pty slaves, the lines of emulators.
bool EhPty(dev_t dispositivo);

// The ptys of the running emulators registered in `pasta`, ordered by pid. Nothing when
// the folder is not the user's own or may be written by others; a registration counts
// only when its file is the user's, it names a Unix98 pty slave owned by the user, and its
// process is alive and holds that pty (its terminal side, or its master side).
std::vector<Candidato> EmuladoresInscritos(const std::filesystem::path& pasta);

// EmuladoresInscritos with a memory: while the folder is unchanged (same inode, same
// modification time) the files are not read again, but each process must still be the
// same one (same pid, same start time) and each pty still the same device of the user's.
// Opening a port costs a few system calls less, which on a pty is a good part of the whole.
class LeitorDeInscricoes {
  public:
    std::vector<Candidato> Le(const std::filesystem::path& pasta);

    struct Lida {
        pid_t pid = 0;
        unsigned long long inicio = 0; // the process's start time
        Candidato candidato;
    };

  private:
    std::filesystem::path pasta_;
    dev_t dispositivo_ = 0;
    ino_t inode_ = 0;
    struct timespec modificado_ {};
    std::vector<Lida> lidas_;
};

// `caminho` as a candidate when it leads to the pty of one of `inscritos`.
std::optional<Candidato> EmuladorEm(const std::string& caminho,
                                    const std::vector<Candidato>& inscritos);

} // namespace bemafi32
