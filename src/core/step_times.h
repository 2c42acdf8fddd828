#pragma once
// For the benchmark: with MERVA_TIMINGS set, each step of a run says on standard error when it
// ended, so that the time of a whole installation can be told apart step by step.
namespace merva {

void MarkStep(const char* step);

}  // namespace merva
