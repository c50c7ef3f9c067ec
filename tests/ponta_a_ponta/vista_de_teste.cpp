// The view of the system in the build of the stand-in library that the end-to-end tests
// link: the tree named by TESTEECF_SISTEMA (laid out like / with sys/ and dev/), which the
// test makes. Without it, a tree that does not exist: no test reaches a real device.
#include "vista.h"

#include <cstdlib>

namespace bemafi32 {

Sistema SistemaDasFuncoes() {
    const char* raiz = std::getenv("TESTEECF_SISTEMA");
    const std::filesystem::path base = raiz && *raiz ? raiz : "/nonexistent/testeecf";
    return {base / "sys", base / "dev"};
}

} // namespace bemafi32
