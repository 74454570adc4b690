// main() of a benchmark program whose benchmarks share one fixture, made once
// before any of them runs (a server, a clip, a loaded library).
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>

namespace bench {

// Makes the fixture, points `shared` at it while the benchmarks run, then
// calls report() (the comparison the program prints). When the fixture is
// not ok(), prints `missing` to standard error and returns 1.
template <class Fixture, class Report>
int RunWithFixture(int argc, char** argv, Fixture*& shared, const char* missing, Report report) {
  benchmark::Initialize(&argc, argv);
  Fixture fixture;
  if (!fixture.ok()) {
    std::fprintf(stderr, "%s\n", missing);
    return 1;
  }
  shared = &fixture;
  benchmark::RunSpecifiedBenchmarks();
  report();
  shared = nullptr;
  benchmark::Shutdown();
  return 0;
}

}  // namespace bench
