// Which devices the library may open: port names, real serial ports, registered emulators.
//
// The library writes printer commands to whatever it opens, so it opens only a real serial
// port (a tty backed by hardware, never the kernel console) or the pseudo-terminal of an
// emulator that its own user registered in a private directory.
#pragma once

#include "ajustes.h"

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace bemafi32 {

enum class TipoPorta { Serial, Emulador };

struct Candidato {
    std::string caminho;
    TipoPorta tipo = TipoPorta::Serial;
    dev_t dispositivo = 0; // what the path led to when vetted; checked again once open
};

// Where the system's devices are described; tests point these at a tree of their own.
struct Sistema {
    std::filesystem::path sysfs = "/sys";
    std::filesystem::path dev = "/dev";
};

// "COM1".."COM15" in any letter case, as a number; nullopt for anything else.
std::optional<int> NumeroCom(std::string_view nome);
// The device of COMn: the library's own key COMn when the file sets it, else
// COM1-COM4 -> /dev/ttyS0-3, COM5-COM10 -> /dev/ttyUSB0-5, COM11-COM15 -> /dev/ttyACM0-4.
std::string DispositivoCom(int numero, const Ajustes& ajustes);

// $XDG_RUNTIME_DIR/testeecf, else $HOME/.testeecf; empty when neither is set.
std::filesystem::path DiretorioRegistro();

// The ptys of the running emulators registered in `diretorio`, ordered by pid. Nothing
// when the directory is not the user's own or may be written by others; a registration
// counts only when its file is the user's, it names a Unix98 pty slave owned by the user,
// and its process is alive and holds that pty (its terminal side, or its master side).
std::vector<Candidato> EmuladoresRegistrados(const std::filesystem::path& diretorio);

// EmuladoresRegistrados with a memory: while the folder is unchanged (same inode, same
// modification time) the files are not read again, but each process must still be the
// same one (same pid, same start time) and each pty still the same device of the user's.
// Opening a port costs a few system calls less, which on a pty is a good part of the whole.
class LeitorDeRegistros {
  public:
    std::vector<Candidato> Le(const std::filesystem::path& diretorio);

    struct Registro {
        pid_t pid = 0;
        unsigned long long inicio = 0; // the process's start time, in clock ticks after boot
        Candidato candidato;
    };

  private:
    std::filesystem::path diretorio_;
    dev_t dispositivo_ = 0;
    ino_t inode_ = 0;
    struct timespec modificado_ {};
    std::vector<Registro> lidos_;
};

// The real serial ports present, in a stable order: ttyS, ttyUSB, ttyACM, rfcomm, others,
// each by number. A port the kernel uses as console, or a ttyS without a UART, is left out.
std::vector<Candidato> PortasSeriais(const Sistema& sistema = {});

// `caminho` as a candidate when it is a real serial port or one of `registrados`.
std::optional<Candidato> ConferePorta(const std::string& caminho,
                                      const std::vector<Candidato>& registrados,
                                      const Sistema& sistema = {});

} // namespace bemafi32
