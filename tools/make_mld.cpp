// make_mld: builds a note-length database (.mld) from its text source.
//
//   make_mld SOURCE OUTPUT [--report]
//
// The source format is described at the top of data/source/default_mld.txt.  The tool checks
// the vocabulary (every half fills 96 ticks, a bar's two halves hold at most 19 lengths, tie
// marks only after a length and never at the end of a second half, every pattern that can be
// reached has transitions to go on with) and stops with "file:line: text" on the first
// mistake.  With --report it prints the patterns with their numbers and, for every group, the
// chance with which each record is picked.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "song/composition_db.h"
#include "mld_source.h"

namespace {

using namespace vema::tools;

void Report(const Vocabulary& v) {
  std::printf("kind %d, %zu patterns\n", v.kind, v.patterns.size());
  for (size_t p = 0; p < v.patterns.size(); ++p) {
    std::printf("%4zu %-12s %s\n", p, v.patterns[p].name.c_str(), Describe(v.patterns[p]).c_str());
  }
  // The first pattern of bar 0 is the `from` of a record of kind 0 drawn evenly among all but
  // the last record.
  std::map<int, int> starts;
  int records = 0;
  for (const Group& g : v.groups[0]) records += static_cast<int>(g.to.size());
  int index = 0;
  for (const Group& g : v.groups[0]) {
    for (size_t i = 0; i < g.to.size(); ++i, ++index) {
      if (index < records - 1) ++starts[g.from];
    }
  }
  std::printf("\nfirst pattern of the song:");
  for (const auto& [p, n] : starts) {
    std::printf(" %s %.0f%%", v.patterns[static_cast<size_t>(p)].name.c_str(),
                100.0 * n / (records - 1));
  }
  std::printf("\n");
  for (int k = 0; k < vema::kTransitionKinds; ++k) {
    std::printf("\ntransitions %d\n", k);
    for (const Group& g : v.groups[k]) {
      std::printf("  %-12s ->", v.patterns[static_cast<size_t>(g.from)].name.c_str());
      const auto chances = PickChances(g.to.size());
      for (size_t i = 0; i < g.to.size(); ++i) {
        std::printf(" %s %.0f%%", v.patterns[static_cast<size_t>(g.to[i])].name.c_str(),
                    100.0 * chances[i]);
      }
      std::printf("\n");
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4 || (argc == 4 && std::string(argv[3]) != "--report")) {
    std::fprintf(stderr, "usage: make_mld SOURCE OUTPUT [--report]\n");
    return 2;
  }
  const std::string source = argv[1];
  const auto lines = vema::tools::ReadSourceLines(source);
  if (!lines) {
    std::fprintf(stderr, "cannot read %s\n", source.c_str());
    return 1;
  }
  Vocabulary v;
  try {
    Parse(*lines, v);
    Check(v);
  } catch (const SourceError& error) {
    return vema::tools::ReportError(source, error);
  }
  const auto bytes = vema::EncodeCompositionDb(Build(v));
  if (!vema::tools::WriteBytes(argv[2], bytes.data(), bytes.size())) {
    std::fprintf(stderr, "cannot write %s\n", argv[2]);
    return 1;
  }
  if (argc == 4) Report(v);
  return 0;
}
