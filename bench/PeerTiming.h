// Timing shared by the benchmarks that race an extractor against the Debian
// tools on the same archive in the same run.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace velmaris::bench {

struct Contender {
  std::string name;
  std::function<void()> run;
};

// Runs every contender `runs` times, taking turns, so that a change in the
// machine's load falls on all of them alike; returns the median wall time in
// seconds of each, in the order given.
inline std::vector<double> InterleavedMedians(const std::vector<Contender>& all, int runs) {
  std::vector<std::vector<double>> t(all.size());
  for (int i = 0; i < runs; ++i) {
    for (size_t k = 0; k < all.size(); ++k) {
      const auto a = std::chrono::steady_clock::now();
      all[k].run();
      t[k].push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count());
    }
  }
  std::vector<double> medians;
  for (auto& v : t) {
    std::sort(v.begin(), v.end());
    medians.push_back(v[v.size() / 2]);
  }
  return medians;
}

// Races ours against the tools and prints one line: the medians and how many
// times as fast as the fastest tool ours is. Returns that factor.
inline double Race(const std::string& label, const Contender& ours,
                   const std::vector<Contender>& tools, int runs) {
  std::vector<Contender> all{ours};
  all.insert(all.end(), tools.begin(), tools.end());
  const std::vector<double> m = InterleavedMedians(all, runs);
  std::string line = label + ", median of " + std::to_string(runs) + ":";
  char part[128];
  for (size_t k = 0; k < all.size(); ++k) {
    std::snprintf(part, sizeof part, " %s %.3f s%s", all[k].name.c_str(), m[k],
                  k + 1 < all.size() ? "," : "");
    line += part;
  }
  const size_t best = size_t(std::min_element(m.begin() + 1, m.end()) - m.begin());
  const double factor = m[best] / m[0];
  std::snprintf(part, sizeof part, "; %s is %.2fx as fast as %s", all[0].name.c_str(), factor,
                all[best].name.c_str());
  std::printf("%s%s\n", line.c_str(), part);
  std::fflush(stdout);
  return factor;
}

}  // namespace velmaris::bench
