#include "relogio.h"

#include <algorithm>
#include <climits>

namespace bemafi32 {

namespace {
class RelogioMonotonico final : public Relogio {
  public:
    Instante Agora() const override { return std::chrono::steady_clock::now(); }
};
} // namespace

const Relogio& RelogioDoSistema() {
    static const RelogioMonotonico relogio;
    return relogio;
}

int EsperaAte(Instante prazo, const Relogio& relogio) {
    const auto resta = prazo - relogio.Agora();
    if (resta <= Instante::duration::zero()) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(resta).count();
    return static_cast<int>(std::min<decltype(ms)>(ms, INT_MAX));
}

} // namespace bemafi32
