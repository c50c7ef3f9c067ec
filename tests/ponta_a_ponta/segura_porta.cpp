// A second program on the same port: opens it through the stand-in library, prints the
// result, and holds the port until its standard input ends.
#include "bemafi32.h"

#include <cstdio>

int main() {
    Bematech_FI_SelecionaIniLocal();
    std::printf("%d\n", static_cast<int>(Bematech_FI_AbrePortaSerial()));
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    Bematech_FI_FechaPortaSerial();
    return 0;
}
