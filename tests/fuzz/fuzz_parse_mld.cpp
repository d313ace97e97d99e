// Parser only: note-length databases decoded as the loader decodes them, with the transition
// groups checked against the records they stand for.  The input is the part of an .mld file that
// decides the groups, so that small inputs reach it: its first byte is the kind, the next 80
// bytes the last-record indices (at offset 6001) and the rest the transition records (at offset
// 378161).  Everything else is zero, and the file ends where the input ends.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "song/composition_db.h"

namespace {

void Fail(const char* what, int kind, int group) {
  std::fprintf(stderr, "%s (kind %d, group %d)\n", what, kind, group);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Made once (large), cleared for every input: the input alone decides what is decoded.
  static vema::CompositionDb db;
  static std::vector<uint8_t> file(vema::kMldFileBytes + 60000);
  constexpr size_t kIndices = 6001, kTransitions = 378161, kHead = 81;
  const size_t length = size <= kHead ? kIndices - 1 + size : std::min(file.size(), kTransitions + size - kHead);
  std::memset(file.data(), 0, length);
  if (size > 0) file[0] = data[0];
  if (size > 1) std::memcpy(&file[kIndices], data + 1, std::min(size, kHead) - 1);
  if (size > kHead) std::memcpy(&file[kTransitions], data + kHead, length - kTransitions);
  db.kind = 0;
  db.lastTransitionIndex.fill(0);
  std::memset(db.noteLengthPatterns.data(), 0, db.noteLengthPatterns.size() * sizeof(int32_t));
  std::memset(static_cast<void*>(db.transitions.data()), 0, db.transitions.size() * sizeof(vema::Transition));
  vema::DecodeCompositionDb({file.data(), length}, db);
  for (int k = 0; k < vema::kTransitionKinds; ++k) {
    const int last = db.LastIndex(k);
    if (db.lastTransitionIndex[static_cast<size_t>(k) + 1] != last) Fail("index not clamped", k, -1);
    // The groups cover records 0..last of the kind's block in order, one run of "from" each.
    int next = k * vema::kTransitionsPerKind;
    int counted = 0;
    for (int g = 0; g < vema::kPatternCount && counted <= last; ++g) {
      const vema::TransitionGroup& group = db.transitionGroups[static_cast<size_t>(k)][static_cast<size_t>(g)];
      if (group.count == 0) break;
      if (group.first != next) Fail("group does not start after the one before", k, g);
      uint32_t total = 0;
      for (int j = group.first; j < group.first + group.count; ++j) {
        const auto& record = db.transitions[static_cast<size_t>(j)];
        if (record.from != db.transitions[static_cast<size_t>(group.first)].from) {
          Fail("group mixes from values", k, g);
        }
        total += static_cast<uint32_t>(record.weight);
      }
      if (static_cast<int32_t>(total) != group.total) Fail("wrong total", k, g);
      next += group.count;
      counted += group.count;
    }
    if (counted != last + 1) Fail("groups do not cover the records", k, -1);
  }
  return 0;
}
