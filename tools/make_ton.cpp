// make_ton: builds a melody style file (.ton) from its text source.
//
//   make_ton SOURCE OUTPUT
//
// The source format is described at the top of data/source/default_ton.txt.  The tool checks
// that every one of the 88 rows (8 tables x source rules 0..10) is given once and adds up to
// 100, and that the settings lie in their ranges; row and column 11 and settings [3]..[7] are
// written as 0.  It stops with "file:line: text" on the first mistake.
#include <cstdio>
#include <string>

#include "melody/melody_style_db.h"
#include "source_text.h"

namespace {

using vema::tools::ParseInteger;
using vema::tools::SourceError;
using vema::tools::SourceLine;

struct Setting {
  const char* name;
  int index;
  int low;
  int high;
};

constexpr Setting kSettings[] = {
    {"repeat_pattern", 0, 0, 100},  // "同 じ連鎖パタンを繰り返す確率" in %
    {"reverse_rate", 1, 0, 100},    // "逆行欲求蓄積率" in %
    {"run_limit", 2, 0, 11},        // "同方向へ進行する最大回数"
};

// "onbeat N" / "offbeat N" (N = length class 0..3) -> table index 0..7, or -1.
int TableIndex(const std::string& side, const std::string& cls) {
  const auto value = ParseInteger(cls);
  if (!value || *value < 0 || *value >= vema::kLengthClasses) return -1;
  if (side == "onbeat") return *value;
  if (side == "offbeat") return *value + vema::kLengthClasses;
  return -1;
}

std::string TableName(int table) {
  return std::string(table < 4 ? "onbeat " : "offbeat ") + std::to_string(table % 4);
}

vema::MelodyStyleDb Parse(const std::vector<SourceLine>& lines) {
  vema::MelodyStyleDb style;
  bool rowGiven[vema::kStyleTables][vema::kRuleCount] = {};
  bool settingGiven[3] = {};
  int table = -1;
  for (const SourceLine& line : lines) {
    const auto& w = line.words;
    bool isSetting = false;
    for (const Setting& s : kSettings) {
      if (w[0] != s.name) continue;
      isSetting = true;
      const auto value = w.size() == 2 ? ParseInteger(w[1]) : std::nullopt;
      if (!value || *value < s.low || *value > s.high) {
        throw SourceError{line.number, std::string(s.name) + " needs a number " +
                                           std::to_string(s.low) + ".." + std::to_string(s.high)};
      }
      if (settingGiven[s.index])
        throw SourceError{line.number, std::string(s.name) + " is given twice"};
      settingGiven[s.index] = true;
      style.settings[static_cast<size_t>(s.index)] = *value;
    }
    if (isSetting) continue;
    if (w[0] == "table") {
      if (w.size() != 3 && !(w.size() == 6 && w[3] == "like")) {
        throw SourceError{
            line.number,
            "a table line reads: table onbeat|offbeat CLASS [like onbeat|offbeat CLASS]"};
      }
      table = TableIndex(w[1], w[2]);
      if (table < 0) throw SourceError{line.number, "unknown table " + w[1] + " " + w[2]};
      if (w.size() == 6) {
        const int from = TableIndex(w[4], w[5]);
        if (from < 0) throw SourceError{line.number, "unknown table " + w[4] + " " + w[5]};
        for (int r = 0; r < vema::kRuleCount; ++r) {
          if (!rowGiven[from][r]) {
            throw SourceError{line.number, "row r" + std::to_string(r) + " of " + TableName(from) +
                                               " is missing, so the table cannot be copied"};
          }
          if (rowGiven[table][r])
            throw SourceError{line.number, TableName(table) + " is given twice"};
          style.table[static_cast<size_t>(table)][static_cast<size_t>(r)] =
              style.table[static_cast<size_t>(from)][static_cast<size_t>(r)];
          rowGiven[table][r] = true;
        }
        table = -1;  // a copied table takes no rows of its own
      }
      continue;
    }
    // A row: "rN" and 11 percentages for the next rules 0..10.
    if (w[0].size() < 2 || w[0][0] != 'r')
      throw SourceError{line.number, "unknown line \"" + w[0] + "\""};
    if (table < 0) throw SourceError{line.number, "a row must follow a table line"};
    const auto rule = ParseInteger(w[0].substr(1));
    if (!rule || *rule < 0 || *rule >= vema::kRuleCount)
      throw SourceError{line.number, "rows are r0 .. r10"};
    if (w.size() != 1 + vema::kRuleCount)
      throw SourceError{line.number, "a row holds 11 percentages"};
    if (rowGiven[table][*rule])
      throw SourceError{line.number, "row " + w[0] + " of " + TableName(table) + " is given twice"};
    int sum = 0;
    auto& row = style.table[static_cast<size_t>(table)][static_cast<size_t>(*rule)];
    for (int n = 0; n < vema::kRuleCount; ++n) {
      const auto value = ParseInteger(w[static_cast<size_t>(n) + 1]);
      if (!value || *value < 0 || *value > 100)
        throw SourceError{line.number, "a percentage is a number 0..100"};
      row[static_cast<size_t>(n)] = *value;
      sum += *value;
    }
    if (sum != 100) {
      throw SourceError{line.number, "row " + w[0] + " of " + TableName(table) + " adds up to " +
                                         std::to_string(sum) + ", not 100"};
    }
    rowGiven[table][*rule] = true;
  }
  for (const Setting& s : kSettings) {
    if (!settingGiven[s.index]) throw SourceError{0, std::string(s.name) + " is missing"};
  }
  for (int t = 0; t < vema::kStyleTables; ++t) {
    for (int r = 0; r < vema::kRuleCount; ++r) {
      if (!rowGiven[t][r])
        throw SourceError{0, "row r" + std::to_string(r) + " of " + TableName(t) + " is missing"};
    }
  }
  return style;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_ton SOURCE OUTPUT\n");
    return 2;
  }
  const std::string source = argv[1];
  const auto lines = vema::tools::ReadSourceLines(source);
  if (!lines) {
    std::fprintf(stderr, "cannot read %s\n", source.c_str());
    return 1;
  }
  vema::MelodyStyleDb style;
  try {
    style = Parse(*lines);
  } catch (const SourceError& error) {
    return vema::tools::ReportError(source, error);
  }
  const std::string bytes = style.Encode();
  if (!vema::tools::WriteBytes(argv[2], bytes.data(), bytes.size())) {
    std::fprintf(stderr, "cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
