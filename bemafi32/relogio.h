// Time for deadlines, behind an interface so that tests can drive it.
#pragma once

#include <chrono>

namespace bemafi32 {

using Instante = std::chrono::steady_clock::time_point;

class Relogio {
  public:
    virtual ~Relogio() = default;
    virtual Instante Agora() const = 0;
};

// The system's monotonic clock.
const Relogio& RelogioDoSistema();

// The milliseconds a poll may wait for `prazo`: rounded up, so that a wait never wakes
// just short of the deadline and spins; 0 once the deadline has passed.
int EsperaAte(Instante prazo, const Relogio& relogio);

} // namespace bemafi32
