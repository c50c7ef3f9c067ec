// The view of the system that the seven exported functions look through. The library
// itself looks at the real /sys and /dev (vista_real.cpp); the build of it that the tests
// link gives a tree of the test's own instead, so that no test reaches a real device.
#pragma once

#include "portas_seriais.h"

namespace bemafi32 {

Sistema SistemaDasFuncoes();

} // namespace bemafi32
