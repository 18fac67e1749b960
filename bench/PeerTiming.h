// Timing shared by the benchmarks that race an extractor against the Debian
// tool on the same archive.
#pragma once

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

namespace velmaris::bench {

// The median wall time in seconds of `runs` calls of fn(out).
inline double MedianSeconds(void (*fn)(const std::string&), const std::string& out, int runs) {
  std::vector<double> t;
  for (int i = 0; i < runs; ++i) {
    const auto a = std::chrono::steady_clock::now();
    fn(out);
    t.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count());
  }
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

}  // namespace velmaris::bench
