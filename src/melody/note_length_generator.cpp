#include "melody/note_length_generator.h"

#include <array>

#include "melody/melody_state.h"

namespace vema {

namespace {

constexpr int kMaxNotes = kBarEntries - 1;  // 19 notes before the end mark

// The group of pattern `from` among the groups 0..L(kind), or group L(kind) + 1 (empty).
const TransitionGroup& FindGroup(const CompositionDb& db, int kind, int32_t from) {
  const auto& groups = db.transitionGroups[static_cast<size_t>(kind)];
  const int last = db.LastIndex(kind);
  for (int g = 0; g <= last; ++g) {
    const TransitionGroup& group = groups[static_cast<size_t>(g)];
    if (group.first >= 0 && group.first < kTransitionRecords &&
        db.transitions[static_cast<size_t>(group.first)].from == from) {
      return group;
    }
  }
  return groups[static_cast<size_t>(last + 1)];
}

// The record `i` of a group, clamped into the transition table.
const Transition& Record(const CompositionDb& db, const TransitionGroup& group, int i) {
  int64_t index = static_cast<int64_t>(group.first) + i;
  if (index < 0 || index >= kTransitionRecords) index = 0;
  return db.transitions[static_cast<size_t>(index)];
}

int GroupCount(const TransitionGroup& group) {
  if (group.count < 0) return 0;
  return group.count > kTransitionsPerKind ? kTransitionsPerKind : group.count;
}

}  // namespace

int PickCandidate(double r, int n) {
  if (n <= 0) return 0;
  double sum = 0.0;
  for (int i = 0; i < n; ++i) {
    sum += static_cast<double>(i + 1) / static_cast<double>(n);
    if (sum >= r) return i;
  }
  return n - 1;
}

void NoteLengthGenerator::Run() {
  MelodyContext& s = context_;
  s.log.Reset("------------------音長進行生成フェーズ------------------\n");
  if (s.compositionDb.loaded == 0) {
    s.platform.ShowMessage("旋律スタイルを設定してください。", MessageIcon::kStop);
    return;
  }
  const int bars = s.form.BarCount();
  for (bar_ = 0; bar_ < bars;) {
    if (barDraws != nullptr) barDraws->BeforeLengths(bar_);
    const int source = EarlierBar(s.form.noteLengthSource[static_cast<size_t>(bar_)], bar_);
    const int done = source != -1 ? GenerateCopyBar(bar_) : GenerateNewBar(bar_);
    if (done == 1) ++bar_;
  }
  LogPatterns();
}

int NoteLengthGenerator::GenerateCopyBar(int bar) {
  MelodyContext& s = context_;
  const int source = EarlierBar(s.form.noteLengthSource[static_cast<size_t>(bar)], bar);
  if (source == -1) return GenerateNewBar(bar);
  s.log.Appendf("%2d小節：Copy mode\n", bar);
  const BarNotes& from = s.barNotes[static_cast<size_t>(source)];
  BarNotes& to = s.barNotes[static_cast<size_t>(bar)];
  int n = 0;
  while (n < kMaxNotes && from[static_cast<size_t>(n)].length != -1) {
    to[static_cast<size_t>(n)].length = from[static_cast<size_t>(n)].length;
    ++n;
  }
  to[static_cast<size_t>(n)].length = -1;
  s.patternPairs[static_cast<size_t>(bar)] = s.patternPairs[static_cast<size_t>(source)];
  return 1;
}

int NoteLengthGenerator::GenerateNewBar(int bar) {
  MelodyContext& s = context_;
  s.log.Appendf("%2d小節：New mode\n", bar);
  if (bar % 2 == 1) {
    ChoosePattern(bar, 1);
    ChoosePattern(bar, 2);
  } else {
    ChoosePattern(bar, 3);
    ChoosePattern(bar, 0);
  }
  const PatternPair& pair = s.patternPairs[static_cast<size_t>(bar)];
  BarNotes& notes = s.barNotes[static_cast<size_t>(bar)];
  int n = 0;
  for (int32_t p : {pair.first, pair.second}) {
    const int32_t* pattern = s.compositionDb.Pattern(p);
    for (int j = 0; j < kPatternLength && pattern[j] != -1 && n < kMaxNotes; ++j) {
      notes[static_cast<size_t>(n++)].length = pattern[j];
    }
  }
  notes[static_cast<size_t>(n)].length = -1;
  return 1;
}

void NoteLengthGenerator::ChoosePattern(int bar, int kind) {
  MelodyContext& s = context_;
  const CompositionDb& db = s.compositionDb;
  PatternPair& pair = s.patternPairs[static_cast<size_t>(bar)];

  if (bar == 0 && kind == 3) {
    const double r = s.random.NextUniform();
    int i = static_cast<int>(r * db.LastIndex(0));
    if (i < 0) i = 0;
    pair.first = db.transitions[static_cast<size_t>(i)].from;
    return;
  }

  const int32_t previous = (kind == 1 || kind == 3)
                               ? s.patternPairs[static_cast<size_t>(bar - 1)].second
                               : pair.first;
  const TransitionGroup& group = FindGroup(db, kind, previous);
  const int n = GroupCount(group);
  const double r = s.random.NextUniform();

  if (kind == 1 || kind == 3) {
    pair.first = Record(db, group, PickCandidate(r, n)).to;
    return;
  }

  // Kinds 0 and 2 look one bar ahead: prefer the records that can lead into the first
  // pattern of the bar that the next bar repeats.
  const int bars = s.form.BarCount();
  int target_bar = -1;
  if (bar + 1 < bars) {
    target_bar = EarlierBar(s.form.noteLengthSource[static_cast<size_t>(bar + 1)], bar + 1);
  }
  if (target_bar != -1) {
    const int32_t target = s.patternPairs[static_cast<size_t>(target_bar)].first;
    const int next_kind = kind == 0 ? 1 : 3;
    std::array<int16_t, kTransitionsPerKind> qualifying;
    int m = 0;
    for (int i = 0; i < n; ++i) {
      const TransitionGroup& next = FindGroup(db, next_kind, Record(db, group, i).to);
      const int count = GroupCount(next);
      for (int j = 0; j < count; ++j) {
        if (Record(db, next, j).to == target) {
          qualifying[static_cast<size_t>(m++)] = static_cast<int16_t>(i);
          break;
        }
      }
    }
    if (m > 0) {
      pair.second = Record(db, group, qualifying[static_cast<size_t>(PickCandidate(r, m))]).to;
      return;
    }
  }
  pair.second = Record(db, group, PickCandidate(r, n)).to;
}

void NoteLengthGenerator::LogPatterns() {
  MelodyContext& s = context_;
  const int bars = s.form.BarCount();
  for (int b = 0; b < bars; ++b) {
    const PatternPair& pair = s.patternPairs[static_cast<size_t>(b)];
    s.log.Appendf("%d小節***********************\n", b + 1);
    s.log.Appendf("使用音長パタン番号：%3d, %3d\n", pair.first, pair.second);
    const BarNotes& notes = s.barNotes[static_cast<size_t>(b)];
    for (int n = 0; n < kBarEntries && notes[static_cast<size_t>(n)].length != -1; ++n) {
      s.log.Appendf("%3d→", notes[static_cast<size_t>(n)].length);
    }
    s.log.Append("\n");
  }
}

}  // namespace vema
