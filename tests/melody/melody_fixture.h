// Small deterministic databases and styles for the melody tests.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "app/session.h"
#include "support/test_support.h"

namespace vema::testing {

// Sets pattern p to the given lengths (ended by -1).
inline void SetPattern(CompositionDb& db, int p, std::initializer_list<int32_t> lengths) {
  int32_t* out = &db.noteLengthPatterns[static_cast<size_t>(p) * kPatternLength];
  for (int32_t v : lengths) *out++ = v;
  *out = -1;
}

// Replaces the records of one transition kind and rebuilds the groups.
inline void SetTransitions(CompositionDb& db, int kind,
                           std::initializer_list<std::pair<int32_t, int32_t>> records) {
  int j = 0;
  for (const auto& [from, to] : records) {
    db.transitions[static_cast<size_t>(kind * kTransitionsPerKind + j++)] = {from, to, 1};
  }
  db.lastTransitionIndex[static_cast<size_t>(kind) + 1] = j - 1;
  db.loaded = 1;
  db.BuildTransitionGroups();
}

// Every bar 96, 48, 48: pattern 0 = {96}, pattern 1 = {48, 48}, each kind leads 0 <-> 1.
inline void UseSimpleDb(CompositionDb& db) {
  SetPattern(db, 0, {96});
  SetPattern(db, 1, {48, 48});
  for (int kind = 0; kind < 4; ++kind) SetTransitions(db, kind, {{kind % 2, 1 - kind % 2}});
}

// A style in which rule `row` is always followed by next[row] (in all eight tables); rows
// without an entry follow with nothing.
inline void UseChainStyle(MelodyStyleDb& style, std::initializer_list<std::pair<int, int>> next,
                          int repeat = 0, int rate = 0, int runLimit = 100) {
  style = MelodyStyleDb{};
  for (auto& table : style.table) {
    for (const auto& [row, to] : next) table.at(row).at(to) = 100;
  }
  style.settings = {repeat, rate, runLimit};
}

// Sets the lengths of a bar (the -1 end mark is added).
inline void SetLengths(Session& s, int bar, const std::vector<int32_t>& lengths) {
  auto& notes = s.barNotes[static_cast<size_t>(bar)];
  for (size_t n = 0; n < lengths.size(); ++n) notes[n].length = lengths[n];
  notes[lengths.size()].length = -1;
}

inline std::vector<int32_t> Lengths(const Session& s, int bar) {
  std::vector<int32_t> out;
  for (const BarNote& note : s.barNotes[static_cast<size_t>(bar)]) {
    if (note.length == -1) break;
    out.push_back(note.length);
  }
  return out;
}

inline int CountOf(std::string_view text, std::string_view what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace vema::testing
