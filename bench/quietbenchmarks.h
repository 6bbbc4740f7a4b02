// The benchmark programs' main: every benchmark named on the command line
// run with the quiet user interface installed.
#pragma once

#include <benchmark/benchmark.h>

#include "quietui.h"

inline int runQuietBenchmarks(int argc, char** argv) {
  QuietUi ui;
  diag::installUi(&ui);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  diag::installUi(nullptr);
  return 0;
}
