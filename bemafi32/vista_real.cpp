#include "vista.h"

namespace bemafi32 {

Sistema SistemaDasFuncoes() { return {}; }

} // namespace bemafi32
