// Parser only: a song history file of arbitrary bytes.  Either it is refused with a reason, or
// what was read is a consistent history that is written back as exactly the same text, and every
// random state in it is one a random source can be in.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "harness.h"
#include "app/song_history.h"

using vema::fuzz::Fail;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vema;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string problem;
  const std::optional<SongHistory> history = ParseHistory(text, &problem);
  if (!history) {
    if (problem.empty()) Fail("refused without a reason", size);
    return 0;
  }
  if (FormatHistory(*history) != text) Fail("not written back as read", size);
  int last = 0;
  for (const HistoryEntry& e : history->entries) {
    if (e.number <= last || e.number >= history->next) Fail("entry numbers out of order", size);
    last = e.number;
    RandomSource random;
    if (!random.Load(e.recipe.random)) Fail("a random state no source can be in", size);
    for (const SongOp& op : e.recipe.ops) {
      if ((op.kind == SongOpKind::kMelody || op.kind == SongOpKind::kBars) &&
          !random.Load(op.random)) {
        Fail("a change's random state no source can be in", size);
      }
      if (op.kind == SongOpKind::kBars && (op.firstBar > op.lastBar || op.lastBar >= kMaxBars)) {
        Fail("bars out of order", size);
      }
    }
    for (size_t i = 0; i < 3; ++i) {
      if (e.recipe.programs[i] < 0 || e.recipe.programs[i] > 127) Fail("a program", size);
    }
    (void)HistoryListLine(e, e.number == history->current);
  }
  if (history->current != 0 && history->Find(history->current) == nullptr) {
    Fail("the current entry is missing", size);
  }
  return 0;
}
