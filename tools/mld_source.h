// The note-length vocabulary of a .mld text source (the format is described at the top of
// data/source/default_mld.txt): reading it, checking it, building the database from it and
// writing it back as text.  Shared by make_mld and tune_style.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "song/composition_db.h"
#include "source_text.h"

namespace vema::tools {


inline constexpr int kHalfTicks = 96;
inline constexpr int kMaxBarLengths = 19;

struct Pattern {
  std::string name;
  std::vector<int32_t> lengths;  // with tie marks (0)
  int line = 0;
};

struct Group {
  int from = 0;
  std::vector<int> to;
  int line = 0;
};

struct Vocabulary {
  int kind = -1;
  std::vector<Pattern> patterns;
  std::map<std::string, int> byName;
  std::vector<Group> groups[vema::kTransitionKinds];
};

// Ticks of a length word: a number, or one of the note names below.
inline std::optional<int32_t> ParseLength(const std::string& word) {
  static const std::map<std::string, int32_t> kNames = {
      {"w", 192}, {"h.", 144}, {"h", 96},  {"q.", 72}, {"q", 48}, {"e.", 36},
      {"e", 24},  {"s", 12},   {"t4", 32}, {"t8", 16}, {"~", 0}};
  const auto named = kNames.find(word);
  if (named != kNames.end()) return named->second;
  const auto number = ParseInteger(word);
  if (number && *number >= 0 && *number <= 192) return number;
  return std::nullopt;
}

// The chance of each of n candidates under the generator's pick rule: candidate i is taken
// with (i+1)/n while the running sum stays below 1; the one at which it reaches 1 takes the
// rest; later ones are never taken.
inline std::vector<double> PickChances(size_t n) {
  std::vector<double> chances(n, 0.0);
  double sum = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const double step = static_cast<double>(i + 1) / static_cast<double>(n);
    chances[i] = std::min(step, 1.0 - sum);
    sum += step;
    if (sum >= 1.0) break;
  }
  return chances;
}

inline std::string Describe(const Pattern& p) {
  std::string text;
  for (int32_t l : p.lengths) {
    if (!text.empty()) text += ' ';
    text += l == 0 ? std::string("~") : std::to_string(l);
  }
  return text;
}

inline void Parse(const std::vector<SourceLine>& lines, Vocabulary& v) {
  int section = -1;  // transition kind of the current section, -1 before any
  std::set<int> seenKinds;
  for (const SourceLine& line : lines) {
    const auto& w = line.words;
    if (w[0] == "kind") {
      const auto value = w.size() == 2 ? ParseInteger(w[1]) : std::nullopt;
      if (!value || *value < 0 || *value > 255)
        throw SourceError{line.number, "kind needs a number 0..255"};
      v.kind = *value;
    } else if (w[0] == "pattern") {
      if (section != -1)
        throw SourceError{line.number, "patterns must come before the transitions"};
      if (w.size() < 3) throw SourceError{line.number, "pattern needs a name and lengths"};
      if (v.byName.count(w[1]) != 0)
        throw SourceError{line.number, "pattern " + w[1] + " is defined twice"};
      Pattern p{w[1], {}, line.number};
      int ticks = 0;
      for (size_t i = 2; i < w.size(); ++i) {
        const auto length = ParseLength(w[i]);
        if (!length) throw SourceError{line.number, "unknown length \"" + w[i] + "\""};
        if (*length == 0 && (p.lengths.empty() || p.lengths.back() == 0)) {
          throw SourceError{line.number, "a tie mark must follow a length"};
        }
        p.lengths.push_back(*length);
        ticks += *length;
      }
      if (ticks != kHalfTicks) {
        throw SourceError{line.number, "pattern " + p.name + " fills " + std::to_string(ticks) +
                                           " ticks instead of 96"};
      }
      if (p.lengths.size() > static_cast<size_t>(vema::kPatternLength - 1)) {
        throw SourceError{line.number, "pattern " + p.name + " is too long"};
      }
      if (v.patterns.size() >= static_cast<size_t>(vema::kPatternCount)) {
        throw SourceError{line.number, "more than 1500 patterns"};
      }
      v.byName[p.name] = static_cast<int>(v.patterns.size());
      v.patterns.push_back(std::move(p));
    } else if (w[0] == "transitions") {
      const auto value = w.size() == 2 ? ParseInteger(w[1]) : std::nullopt;
      if (!value || *value < 0 || *value > 3)
        throw SourceError{line.number, "transitions needs a kind 0..3"};
      if (!seenKinds.insert(*value).second)
        throw SourceError{line.number, "transitions of this kind were already given"};
      section = *value;
    } else {
      if (section < 0) throw SourceError{line.number, "unknown line \"" + w[0] + "\""};
      if (w.size() < 3 || w[1] != "->")
        throw SourceError{line.number, "a transition line reads FROM -> TO TO ..."};
      auto find = [&](const std::string& name) {
        const auto it = v.byName.find(name);
        if (it == v.byName.end()) throw SourceError{line.number, "unknown pattern " + name};
        return it->second;
      };
      Group g{find(w[0]), {}, line.number};
      for (const Group& other : v.groups[section]) {
        if (other.from == g.from)
          throw SourceError{line.number,
                            "pattern " + w[0] + " already has transitions of this kind"};
      }
      for (size_t i = 2; i < w.size(); ++i) g.to.push_back(find(w[i]));
      v.groups[section].push_back(std::move(g));
    }
  }
  if (v.kind < 0) throw SourceError{0, "the kind line is missing"};
  for (int k = 0; k < vema::kTransitionKinds; ++k) {
    if (v.groups[k].empty()) throw SourceError{0, "no transitions of kind " + std::to_string(k)};
    size_t records = 0;
    for (const Group& g : v.groups[k]) records += g.to.size();
    if (records > static_cast<size_t>(vema::kTransitionsPerKind)) {
      throw SourceError{0, "more than 1000 transitions of kind " + std::to_string(k)};
    }
  }
}

inline const Group* FindGroup(const Vocabulary& v, int kind, int from) {
  for (const Group& g : v.groups[kind]) {
    if (g.from == from) return &g;
  }
  return nullptr;
}

// Every bar that can be generated stays within the rules of the bar table.
inline void Check(const Vocabulary& v) {
  auto name = [&](int p) { return v.patterns[static_cast<size_t>(p)].name; };
  for (int k : {0, 2}) {
    for (const Group& g : v.groups[k]) {
      const Pattern& first = v.patterns[static_cast<size_t>(g.from)];
      if (first.lengths.front() == 0)
        throw SourceError{g.line, "a bar cannot start with a tie mark"};
      for (int to : g.to) {
        const Pattern& second = v.patterns[static_cast<size_t>(to)];
        if (first.lengths.size() + second.lengths.size() > static_cast<size_t>(kMaxBarLengths)) {
          throw SourceError{g.line,
                            name(g.from) + " and " + name(to) + " hold more than 19 lengths"};
        }
        if (second.lengths.back() == 0) {
          throw SourceError{g.line, name(to) + " ends with a tie mark and cannot end a bar"};
        }
        // A second half goes on into the next bar, even or odd (the next bar may be a copy).
        for (int next : {1, 3}) {
          if (FindGroup(v, next, to) == nullptr) {
            throw SourceError{g.line, name(to) + " ends a bar but has no transitions of kind " +
                                          std::to_string(next)};
          }
        }
      }
    }
  }
  for (int k : {1, 3}) {
    const int next = k == 1 ? 2 : 0;
    for (const Group& g : v.groups[k]) {
      for (int to : g.to) {
        if (v.patterns[static_cast<size_t>(to)].lengths.front() == 0) {
          throw SourceError{g.line, name(to) + " starts with a tie mark and cannot start a bar"};
        }
        if (FindGroup(v, next, to) == nullptr) {
          throw SourceError{g.line, name(to) + " starts a bar but has no transitions of kind " +
                                        std::to_string(next)};
        }
      }
    }
    for (const Group& g : v.groups[k]) {
      bool reached = false;
      for (int k2 : {0, 2}) {
        for (const Group& h : v.groups[k2]) {
          reached = reached || std::find(h.to.begin(), h.to.end(), g.from) != h.to.end();
        }
      }
      if (!reached) throw SourceError{g.line, name(g.from) + " never ends a bar"};
    }
  }
}

inline vema::CompositionDb Build(const Vocabulary& v) {
  vema::CompositionDb db;
  db.kind = static_cast<uint8_t>(v.kind);
  std::fill(db.noteLengthPatterns.begin(), db.noteLengthPatterns.end(), 0);
  for (int p = 0; p < vema::kPatternCount; ++p) {
    int32_t* out = db.noteLengthPatterns.data() + static_cast<size_t>(p) * vema::kPatternLength;
    if (static_cast<size_t>(p) < v.patterns.size()) {
      const auto& lengths = v.patterns[static_cast<size_t>(p)].lengths;
      std::copy(lengths.begin(), lengths.end(), out);
      out[lengths.size()] = -1;
    } else {
      out[0] = -1;  // unused patterns are empty
    }
  }
  db.lastTransitionIndex.fill(0);
  for (int k = 0; k < vema::kTransitionKinds; ++k) {
    int index = 0;
    for (const Group& g : v.groups[k]) {
      const auto chances = PickChances(g.to.size());
      for (size_t i = 0; i < g.to.size(); ++i) {
        vema::Transition& t =
            db.transitions[static_cast<size_t>(k * vema::kTransitionsPerKind + index)];
        t.from = g.from;
        t.to = g.to[i];
        t.weight = static_cast<int32_t>(std::lround(chances[i] * 100.0));  // the pick chance in %
        ++index;
      }
    }
    db.lastTransitionIndex[static_cast<size_t>(k + 1)] = index - 1;
  }
  return db;
}

// The name of a length in the source (a tie mark is "~").
inline std::string LengthName(int32_t length) {
  static const std::map<int32_t, std::string> kNames = {
      {192, "w"}, {144, "h."}, {96, "h"}, {72, "q."}, {48, "q"}, {36, "e."},
      {24, "e"},  {12, "s"},   {32, "t4"}, {16, "t8"}, {0, "~"}};
  const auto named = kNames.find(length);
  return named != kNames.end() ? named->second : std::to_string(length);
}

// The vocabulary as a source text: `header` (comment lines), the kind, the patterns and the
// transitions of every kind.
inline std::string SourceText(const Vocabulary& v, const std::string& header) {
  std::string out = header + "\nkind " + std::to_string(v.kind) + "\n\n";
  size_t width = 0;
  for (const Pattern& p : v.patterns) width = std::max(width, p.name.size());
  for (const Pattern& p : v.patterns) {
    std::string line = "pattern " + p.name + std::string(width + 1 - p.name.size(), ' ');
    for (size_t i = 0; i < p.lengths.size(); ++i) {
      line += (i > 0 ? " " : "") + LengthName(p.lengths[i]);
    }
    out += line + "\n";
  }
  for (int k = 0; k < vema::kTransitionKinds; ++k) {
    out += "\ntransitions " + std::to_string(k) + "\n";
    for (const Group& g : v.groups[k]) {
      const std::string& from = v.patterns[static_cast<size_t>(g.from)].name;
      std::string line = from + std::string(width + 1 - from.size(), ' ') + "->";
      for (int to : g.to) line += " " + v.patterns[static_cast<size_t>(to)].name;
      out += line + "\n";
    }
  }
  return out;
}

}  // namespace vema::tools
