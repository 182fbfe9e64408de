// Writes the metrics of a small fake fleet to stdout, for promtool to lint
// (promtool_check_metrics.sh).
#include <iostream>

#include "sample_fleet.h"

int main() {
  std::cout << vexa::api::testing::sampleMetricsText();
  return std::cout.good() ? 0 : 1;
}
