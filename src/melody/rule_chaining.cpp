// Rule chaining: the melodic rule of each note of a new motif, drawn from the melody style with
// its four steering devices (pattern repetition, expected pitch, reverse desire, run limit).
#include <cstdint>
#include <cstdlib>

#include "melody/pitch_generator.h"

namespace vema {

namespace {

int8_t Wrap(int value) { return static_cast<int8_t>(value); }

// The first next rule j (0..11) with r < running sum x 0.01, or -1 when none qualifies.
int Draw(const MelodyStyleDb& style, int table, int row, double r) {
  if (table < 0 || table >= kStyleTables || row < 0 || row >= kRuleSlots) return -1;
  const auto& values = style.table[static_cast<size_t>(table)][static_cast<size_t>(row)];
  int64_t sum = 0;
  for (int j = 0; j < kRuleSlots; ++j) {
    sum += values[static_cast<size_t>(j)];
    if (r < static_cast<double>(sum) * 0.01) return j;
  }
  return -1;
}

// The desire plus the rate, kept in full (held at the int32 range only in absurd sessions).
int32_t AddDesire(int32_t desire, int rate) {
  const int64_t sum = static_cast<int64_t>(desire) + rate;
  if (sum < INT32_MIN) return INT32_MIN;
  if (sum > INT32_MAX) return INT32_MAX;
  return static_cast<int32_t>(sum);
}

int Flip(int x) {
  if (x < 4) return x + 4;
  if (x < 8) return x - 4;
  return x;
}

void Account(ChainState& c, int x, int rate) {
  if (x < 4) {
    c.sameRun = Wrap(c.sameRun + 1);
    c.reverseRun = 0;
    c.otherRun = 0;
    c.reverseDesire = AddDesire(c.reverseDesire, rate);
    c.expectedPitch = Wrap(c.expectedPitch + (c.hightmode == 0 ? 1 : -1));
  } else if (x < 8) {
    c.hightmode = Wrap(1 - c.hightmode);
    c.sameRun = 0;
    c.reverseRun = Wrap(c.reverseRun + 1);
    c.otherRun = 0;
    c.reverseDesire = 0;
    c.expectedPitch = Wrap(c.expectedPitch + (c.hightmode == 0 ? 1 : -1));
  } else {
    c.otherRun = Wrap(c.otherRun + 1);
    c.sameRun = 0;
    c.reverseRun = 0;
  }
}

struct Prospect {
  int8_t s0 = 0, s1 = 0, s2 = 0;
  int32_t d = 0;
  int8_t e = 0;

  bool RunTooLong(int limit) const { return s0 > limit || s1 > limit || s2 > limit; }
};

Prospect ProspectOf(const ChainState& c, int x, int rate) {
  Prospect p;
  if (x < 4) {
    p.s0 = Wrap(c.sameRun + 1);
    p.d = AddDesire(c.reverseDesire, rate);
    p.e = Wrap(c.expectedPitch + (c.hightmode == 0 ? 1 : -1));
  } else if (x < 8) {
    p.s1 = Wrap(c.reverseRun + 1);
    p.d = 0;
    p.e = Wrap(c.expectedPitch + (c.hightmode == 1 ? 1 : -1));
  } else {
    p.s2 = Wrap(c.otherRun + 1);
    p.d = c.reverseDesire;
    p.e = c.expectedPitch;
  }
  return p;
}

}  // namespace

void PitchGenerator::ChainRule(int table, int bar, int note) {
  MelodyContext& s = context_;
  ChainState& c = s.chain;
  GenerationLog& log = s.log;
  const auto& settings = s.style.settings;
  const int rate = static_cast<int8_t>(settings[1] & 0xff);
  const int limit = settings[2];
  BarNotes& notes = s.barNotes[static_cast<size_t>(bar)];
  BarNote& current = notes[static_cast<size_t>(note)];

  const double r1 = s.random.NextUniform();
  log.Appendf("gaku=%d  bar=%d  pcnt=%d\n", bar / 8 + 1, bar % 8 + 1, note);

  if (bar == 0 && note == 0) {
    current.rule = 10;
    const int drawn = Draw(s.style, table, 10, r1);
    if (drawn != -1) nextprogressmode = drawn;
    Account(c, nextprogressmode, rate);
  } else if (r1 * 100 >= settings[0] || note < 2 || c.repeatedLast == 1) {
    current.rule = nextprogressmode;
    const int drawn = Draw(s.style, table, current.rule, r1);
    if (drawn != -1) nextprogressmode = drawn;
    const Prospect p = ProspectOf(c, nextprogressmode, rate);
    const double r2 = s.random.NextUniform();
    if (std::abs(static_cast<int>(p.e)) >= 4) {
      log.Append("予想音高値：パタンを反転する\n");
      nextprogressmode = Flip(nextprogressmode);
      c.reverseDesire = 0;
    } else if (p.d > r2 * 100) {
      log.Append("逆行欲求：パタンを反転する\n");
      if (nextprogressmode < 4) nextprogressmode += 4;
      c.reverseDesire = 0;
    } else if (p.RunTooLong(limit)) {
      log.Append("連続使用：パタンを変更\n");
      nextprogressmode = 10;
    }
    Account(c, nextprogressmode, rate);
    c.repeatedLast = 0;
  } else {
    log.Append("同一パタンの再現\n");
    current.rule = notes[static_cast<size_t>(note - 2)].rule;
    nextprogressmode = notes[static_cast<size_t>(note - 1)].rule;
    if (current.length >= 48) {
      if (current.rule == 2) current.rule = 1;
      else if (current.rule == 6) current.rule = 5;
    }
    Account(c, current.rule, rate);
    const Prospect p = ProspectOf(c, nextprogressmode, rate);
    if (std::abs(static_cast<int>(p.e)) >= 4) {
      log.Append("予想音高値：パタンを反転する\n");
      current.rule = Flip(current.rule);
      c.reverseDesire = 0;
    }
    if (p.d > r1 * 100) {
      log.Append("逆行欲求：パタンを反転する\n");
      current.rule = Flip(current.rule);
      c.reverseDesire = 0;
    } else if (p.RunTooLong(limit)) {
      log.Append("連続使用：パタンを変更\n");
      nextprogressmode = 10;
    }
    Account(c, nextprogressmode, rate);
    c.repeatedLast = 1;
  }

  if (c.reverseDesire > 100) c.reverseDesire = 100;
  log.Appendf(
      "\tｺﾏﾝﾄﾞ0-3=%d  ｺﾏﾝﾄﾞ4-7=%d  ｺﾏﾝﾄﾞ8-10=%d  予想音高値=%d  hightmode=%d  逆行欲求度=%d\n",
      c.sameRun, c.reverseRun, c.otherRun, c.expectedPitch, c.hightmode, c.reverseDesire);
  log.Appendf("\t\tprogress=%d  nextprogressmode=%d\n", current.rule, nextprogressmode);
}

}  // namespace vema
