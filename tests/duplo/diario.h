// The journal of duplo.h on its own, for tests that link the real library instead of
// the double: the boxes recorded by caixas_gravadas.cpp, and nothing else.
#pragma once

#include "duplo.h"

namespace duplo {
void LimpaDiario();
}
