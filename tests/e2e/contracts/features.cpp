// The C++ library at work: strings, maps, vectors, algorithms, snprintf.
#include <corvane/contract.hpp>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

extern "C" void apply() {
  std::string text = corvane::input();
  std::map<std::string, int> counts;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(' ', at);
    if (end == std::string::npos)
      end = text.size();
    if (end > at)
      ++counts[text.substr(at, end - at)];
    at = end + 1;
  }
  std::vector<std::pair<std::string, int>> sorted(counts.begin(), counts.end());
  std::sort(sorted.begin(), sorted.end(), [](const auto &a, const auto &b) {
    return a.second != b.second ? a.second > b.second : a.first < b.first;
  });
  char line[64];
  for (const auto &[word, count] : sorted) {
    snprintf(line, sizeof line, "%s=%d;", word.c_str(), count);
    corvane::output(line);
  }
  snprintf(line, sizeof line, "%.3f|%5s|%x", 2.0 / 3.0, "ab", 255u);
  corvane::output(line);
}
