#include "core/step_times.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace merva {

void MarkStep(const char* step) {
  static const bool wanted = std::getenv("MERVA_TIMINGS") != nullptr;
  if (!wanted) return;
  using Clock = std::chrono::steady_clock;
  static const Clock::time_point start = Clock::now();
  static Clock::time_point last = start;
  const Clock::time_point now = Clock::now();
  std::fprintf(stderr, "  %-28s %6.3f s  (at %6.3f s)\n", step,
               std::chrono::duration<double>(now - last).count(),
               std::chrono::duration<double>(now - start).count());
  last = now;
}

}  // namespace merva
