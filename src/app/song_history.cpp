#include "app/song_history.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>

#include "critic/melody_choice.h"
#include "song/composition_db.h"
#include "song/file_io.h"
#include "song/sha256.h"

namespace vema {

namespace {

constexpr char kHex[] = "0123456789abcdef";
constexpr size_t kMaxEntries = 100000;
constexpr size_t kMaxText = 4096;
const std::vector<std::string_view> kMadeWords = {"compose", "rhythm", "melody", "feel", "bars"};

// ---- small text helpers ----

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (true) {
    const size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return parts;
}

template <typename T>
bool ParseNumber(std::string_view text, T& value, T low, T high) {
  if (text.empty() || text.size() > 24) return false;
  if (text[0] == '+' || (text.size() > 1 && (text[0] == '0' || (text[0] == '-' && text[1] == '0')))) {
    return false;  // one spelling per number
  }
  T v{};
  const auto result = std::from_chars(text.data(), text.data() + text.size(), v);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return false;
  if (v < low || v > high) return false;
  value = v;
  return true;
}

bool ParseInt(std::string_view text, int& value, int low, int high) {
  return ParseNumber<int>(text, value, low, high);
}

bool IsHash(std::string_view text) {
  return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

bool ValidUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    size_t n = 0;
    uint32_t code = 0;
    if (b < 0x80) {
      ++i;
      continue;
    } else if ((b & 0xE0) == 0xC0) {
      n = 1, code = b & 0x1Fu;
    } else if ((b & 0xF0) == 0xE0) {
      n = 2, code = b & 0x0Fu;
    } else if ((b & 0xF8) == 0xF0) {
      n = 3, code = b & 0x07u;
    } else {
      return false;
    }
    if (i + n >= text.size()) return false;
    for (size_t k = 1; k <= n; ++k) {
      const auto c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      code = (code << 6) | (c & 0x3Fu);
    }
    const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
    if (code < least[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += n + 1;
  }
  return true;
}

std::string EscapeText(std::string_view text) {
  std::string out;
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x21 || b == 0x7F || c == '%') {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    } else {
      out += c;
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> UnescapeText(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x21 || b == 0x7F) return std::nullopt;
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = HexDigit(text[i + 1]), low = HexDigit(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  // One spelling per text: only what must be escaped is, in lower-case hex.
  if (out.size() > kMaxText || !ValidUtf8(out) || EscapeText(out) != text) return std::nullopt;
  return out;
}

std::string FormatScore(const std::optional<double>& score) {
  if (!score) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", *score);
  return text;
}

// ---- settings ----

struct SettingField {
  const char* key;
  std::function<std::string(const SongSettings&)> get;
  std::function<bool(SongSettings&, std::string_view)> set;
};

bool SetHash(std::string& field, std::string_view text, bool mayBeNone) {
  if (text == "-" && mayBeNone) {
    field.clear();
    return true;
  }
  if (!IsHash(text)) return false;
  field = std::string(text);
  return true;
}

// Every setting of SongSettings, with its key in the file.
const std::vector<SettingField>& SettingFields() {
  static const std::vector<SettingField> kSettingFields = {
      {"best-of", [](const SongSettings& s) { return std::to_string(s.bestOf); },
       [](SongSettings& s, std::string_view v) { return ParseNumber<int32_t>(v, s.bestOf, 1, 1000); }},
      {"melody-octave", [](const SongSettings& s) { return std::to_string(s.melodyOctave); },
       [](SongSettings& s, std::string_view v) {
         return ParseNumber<int32_t>(v, s.melodyOctave, kMinMelodyOctave, kAutoMelodyOctave) &&
                (s.melodyOctave <= kMaxMelodyOctave || s.melodyOctave == kAutoMelodyOctave);
       }},
      {"mld", [](const SongSettings& s) { return s.mld.empty() ? std::string("-") : s.mld; },
       [](SongSettings& s, std::string_view v) { return SetHash(s.mld, v, true); }},
      {"ton", [](const SongSettings& s) { return s.ton; },
       [](SongSettings& s, std::string_view v) { return SetHash(s.ton, v, false); }},
  };
  return kSettingFields;
}

const SettingField* FindSetting(std::string_view key) {
  for (const SettingField& f : SettingFields()) {
    if (key == f.key) return &f;
  }
  return nullptr;
}

std::string FormatSettingTokens(const SongSettings& settings) {
  std::string out;
  for (const SettingField& f : SettingFields()) {
    out += ' ';
    out += f.key;
    out += '=';
    out += f.get(settings);
  }
  return out;
}

// ---- melody state ----

std::string FormatMelodyState(const MelodyState& m) {
  std::string out;
  const auto add = [&out](int v) {
    if (!out.empty()) out += ' ';
    out += std::to_string(v);
  };
  const ChainState& c = m.chain;
  for (int v : {int{c.sameRun}, int{c.reverseRun}, int{c.otherRun}, int{c.expectedPitch},
                int{c.hightmode}}) {
    add(v);
  }
  add(c.reverseDesire);
  add(c.repeatedLast);
  for (int8_t v : m.keyScale) add(v);
  for (int8_t v : m.chordTones) add(v);
  return out;
}

bool ParseMelodyState(std::string_view text, MelodyState& m) {
  const std::vector<std::string_view> parts = Split(text, ' ');
  if (parts.size() != 7 + m.keyScale.size() + m.chordTones.size()) return false;
  std::vector<int> v(parts.size());
  for (size_t i = 0; i < parts.size(); ++i) {
    const bool wide = i == 5 || i == 6;
    if (!ParseInt(parts[i], v[i], wide ? INT32_MIN : -128, wide ? INT32_MAX : 127)) return false;
  }
  ChainState& c = m.chain;
  c.sameRun = static_cast<int8_t>(v[0]);
  c.reverseRun = static_cast<int8_t>(v[1]);
  c.otherRun = static_cast<int8_t>(v[2]);
  c.expectedPitch = static_cast<int8_t>(v[3]);
  c.hightmode = static_cast<int8_t>(v[4]);
  c.reverseDesire = v[5];
  c.repeatedLast = v[6];
  size_t i = 7;
  for (int8_t& s : m.keyScale) s = static_cast<int8_t>(v[i++]);
  for (int8_t& t : m.chordTones) t = static_cast<int8_t>(v[i++]);
  return true;
}

// ---- ops ----

std::string FormatOp(const SongOp& op) {
  switch (op.kind) {
    case SongOpKind::kMelody:
      return "melody" + FormatSettingTokens(op.settings) + " random=" + FormatRandomState(op.random);
    case SongOpKind::kBars:
      return "bars " + std::to_string(op.firstBar) + " " + std::to_string(op.lastBar) +
             FormatSettingTokens(op.settings) + " random=" + FormatRandomState(op.random);
    case SongOpKind::kFeel:
      return "feel " + std::to_string(op.feel);
    case SongOpKind::kEdit:
      return "edit " + std::string(EditKindName(op.edit.kind)) + " " +
             std::to_string(op.edit.bar) + " " + std::to_string(op.edit.note) + " " +
             std::to_string(op.edit.amount);
  }
  return "";
}

// Reads "key=value" tokens: the settings and the random state.
bool ParseDrawTokens(const std::vector<std::string_view>& tokens, size_t from, SongOp& op) {
  bool random = false;
  std::vector<std::string> seen;
  for (size_t i = from; i < tokens.size(); ++i) {
    const size_t eq = tokens[i].find('=');
    if (eq == std::string_view::npos) return false;
    const std::string_view key = tokens[i].substr(0, eq), value = tokens[i].substr(eq + 1);
    if (std::find(seen.begin(), seen.end(), key) != seen.end()) return false;
    seen.emplace_back(key);
    if (key == "random") {
      const std::optional<RandomSource::State> state = ParseRandomState(value);
      if (!state) return false;
      op.random = *state;
      random = true;
    } else if (const SettingField* f = FindSetting(key)) {
      if (!f->set(op.settings, value)) return false;
    } else {
      return false;
    }
  }
  return random && !op.settings.ton.empty();
}

std::optional<SongOp> ParseOp(std::string_view text) {
  const std::vector<std::string_view> t = Split(text, ' ');
  SongOp op;
  if (t[0] == "melody") {
    op.kind = SongOpKind::kMelody;
    if (!ParseDrawTokens(t, 1, op)) return std::nullopt;
  } else if (t[0] == "bars") {
    op.kind = SongOpKind::kBars;
    if (t.size() < 3 || !ParseInt(t[1], op.firstBar, 0, kMaxBars - 1) ||
        !ParseInt(t[2], op.lastBar, op.firstBar, kMaxBars - 1) || !ParseDrawTokens(t, 3, op)) {
      return std::nullopt;
    }
  } else if (t[0] == "feel") {
    op.kind = SongOpKind::kFeel;
    if (t.size() != 2 || !ParseInt(t[1], op.feel, 0, 3)) return std::nullopt;
  } else if (t[0] == "edit") {
    op.kind = SongOpKind::kEdit;
    if (t.size() != 5) return std::nullopt;
    const std::optional<MelodyEditKind> kind = EditKindNamed(t[1]);
    if (!kind || !ParseInt(t[2], op.edit.bar, 0, kMaxBars - 1) ||
        !ParseInt(t[3], op.edit.note, 0, kBarEntries - 2) ||
        !ParseInt(t[4], op.edit.amount, -1000, 1000)) {
      return std::nullopt;
    }
    op.edit.kind = *kind;
  } else {
    return std::nullopt;
  }
  return op;
}

// ---- entries ----

void FormatEntry(const HistoryEntry& e, std::string& out) {
  const SongRecipe& r = e.recipe;
  const auto line = [&out](std::string_view key, const std::string& value) {
    out += key;
    out += '=';
    out += value;
    out += '\n';
  };
  line("entry", std::to_string(e.number));
  line("time", std::to_string(e.time));
  line("made", e.made);
  line("from", std::to_string(e.from));
  line("title", EscapeText(e.title));
  line("form-name", EscapeText(e.formName));
  line("bars", std::to_string(e.bars));
  line("score", FormatScore(e.score));
  line("form", r.form);
  for (const SettingField& f : SettingFields()) line(f.key, f.get(r.settings));
  line("programs", std::to_string(r.programs[0]) + " " + std::to_string(r.programs[1]) + " " +
                       std::to_string(r.programs[2]));
  line("feel", std::to_string(r.feel));
  line("random", FormatRandomState(r.random));
  line("melody-state", FormatMelodyState(r.melody));
  for (const SongOp& op : r.ops) line("op", FormatOp(op));
  out += "end\n";
}

// Reads one entry from its "entry=" line to its "end" line; sets `problem` when it fails.
bool ParseEntry(const std::vector<std::string_view>& lines, size_t& i, HistoryEntry& e,
                std::string& problem) {
  const auto fail = [&](const std::string& what) {
    problem = "line " + std::to_string(i + 1) + ": " + what;
    return false;
  };
  std::vector<std::string> seen;
  const size_t first = i;
  for (; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (line == "end") break;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) return fail("not a key=value line");
    const std::string_view key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key != "op") {
      if (std::find(seen.begin(), seen.end(), key) != seen.end()) return fail("a second " + std::string(key));
      seen.emplace_back(key);
    }
    SongRecipe& r = e.recipe;
    bool ok = true;
    if (key == "time") {
      ok = ParseNumber<int64_t>(value, e.time, 0, INT64_MAX);
    } else if (key == "made") {
      ok = std::find(kMadeWords.begin(), kMadeWords.end(), value) != kMadeWords.end();
      e.made = std::string(value);
    } else if (key == "from") {
      ok = ParseInt(value, e.from, 0, INT32_MAX);
    } else if (key == "title" || key == "form-name") {
      const std::optional<std::string> text = UnescapeText(value);
      ok = text.has_value();
      if (ok) (key == "title" ? e.title : e.formName) = *text;
    } else if (key == "bars") {
      ok = ParseInt(value, e.bars, 8, kMaxBars);
    } else if (key == "score") {
      if (value != "-") {
        double score = 0;
        const auto result = std::from_chars(value.data(), value.data() + value.size(), score);
        ok = result.ec == std::errc() && result.ptr == value.data() + value.size() &&
             score >= -1000 && score <= 1000;
        e.score = score;
        ok = ok && FormatScore(e.score) == value;  // one spelling per score
      }
    } else if (key == "form") {
      ok = IsHash(value);
      r.form = std::string(value);
    } else if (key == "programs") {
      const std::vector<std::string_view> p = Split(value, ' ');
      ok = p.size() == 3;
      for (size_t k = 0; ok && k < 3; ++k) ok = ParseNumber<int32_t>(p[k], r.programs[k], 0, 127);
    } else if (key == "feel") {
      ok = ParseInt(value, r.feel, 0, 3);
    } else if (key == "random") {
      const std::optional<RandomSource::State> state = ParseRandomState(value);
      ok = state.has_value();
      if (ok) r.random = *state;
    } else if (key == "melody-state") {
      ok = ParseMelodyState(value, r.melody);
    } else if (key == "op") {
      const std::optional<SongOp> op = ParseOp(value);
      ok = op.has_value() && r.ops.size() < kMaxSongChanges;
      if (ok) r.ops.push_back(*op);
    } else if (const SettingField* f = FindSetting(key)) {
      ok = f->set(r.settings, value);
    } else {
      return fail("unknown key " + std::string(key));
    }
    if (!ok) return fail("bad " + std::string(key));
  }
  if (i == lines.size()) return fail("the entry has no end");
  for (const char* required : {"time", "made", "form", "ton", "random", "melody-state"}) {
    if (std::find(seen.begin(), seen.end(), required) == seen.end()) {
      return fail(std::string("the entry has no ") + required);
    }
  }
  // One spelling for an entry too: every key, in the order this version writes them.
  std::string written;
  FormatEntry(e, written);
  std::string read;
  for (size_t k = first; k <= i; ++k) {
    read += lines[k];
    read += '\n';
  }
  if (std::string_view(written).substr(written.find('\n') + 1) != read) {
    return fail("the entry is not written as this version writes it");
  }
  ++i;
  return true;
}

std::filesystem::path HistoryPath(const std::string& dir) {
  return std::filesystem::path(ResolvePath(dir, kHistoryFileName));
}

std::filesystem::path StorePath(const std::string& dir) {
  return std::filesystem::path(ResolvePath(dir, kHistoryStoreDir));
}

// Renames the file (whatever it is) to the first free "vema-history.txt.set-aside-N".
std::optional<std::string> SetAside(const std::string& dir) {
  const std::filesystem::path from = HistoryPath(dir);
  for (int n = 1; n < 1000; ++n) {
    const std::string name = std::string(kHistoryFileName) + ".set-aside-" + std::to_string(n);
    const std::filesystem::path to = std::filesystem::path(ResolvePath(dir, name));
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
      return name;
    }
    if (errno != EEXIST) return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::string> RecipeSteps(const SongRecipe& r) {
  std::vector<std::string> steps;
  std::string base = r.form + FormatSettingTokens(r.settings) + " " +
                     std::to_string(r.programs[0]) + " " + std::to_string(r.programs[1]) + " " +
                     std::to_string(r.programs[2]) + " " + std::to_string(r.feel) + " " +
                     FormatRandomState(r.random) + " " + FormatMelodyState(r.melody);
  steps.push_back(std::move(base));
  for (const SongOp& op : r.ops) steps.push_back(FormatOp(op));
  return steps;
}

HistoryEntry* SongHistory::Find(int number) {
  for (HistoryEntry& e : entries) {
    if (e.number == number) return &e;
  }
  return nullptr;
}

const HistoryEntry* SongHistory::Find(int number) const {
  return const_cast<SongHistory*>(this)->Find(number);
}

int SongHistory::Add(HistoryEntry entry) {
  entry.number = next++;
  entries.push_back(std::move(entry));
  current = entries.back().number;
  while (entries.size() > kKeptEntries) {
    auto oldest = entries.begin();
    if (oldest->number == current) ++oldest;
    entries.erase(oldest);
  }
  return current;
}

void SongHistory::Restore(const HistoryEntry& entry) {
  if (HistoryEntry* e = Find(entry.number)) {
    *e = entry;
  } else {
    const auto at = std::find_if(entries.begin(), entries.end(),
                                 [&](const HistoryEntry& e) { return e.number > entry.number; });
    entries.insert(at, entry);
  }
  next = std::max(next, entry.number + 1);
  current = entry.number;
}

std::string FormatRandomState(const RandomSource::State& s) {
  char head[64];
  std::snprintf(head, sizeof head, "%d:%08x:%d:", s.filled ? 1 : 0, s.integer, s.lastSlot);
  std::string out = head;
  out += s.seed ? std::to_string(*s.seed) : "-";
  out += ':';
  out += s.filledWith ? std::to_string(*s.filledWith) : "-";
  out += ':';
  for (uint16_t k : s.table) {
    for (int shift : {12, 8, 4, 0}) out += kHex[(k >> shift) & 15];
  }
  return out;
}

std::optional<RandomSource::State> ParseRandomState(std::string_view text) {
  const std::vector<std::string_view> parts = Split(text, ':');
  RandomSource::State s;
  if (parts.size() != 6 || (parts[0] != "0" && parts[0] != "1")) return std::nullopt;
  s.filled = parts[0] == "1";
  if (parts[1].size() != 8) return std::nullopt;
  for (char c : parts[1]) {
    const int d = HexDigit(c);
    if (d < 0 || (c >= 'A' && c <= 'F')) return std::nullopt;
    s.integer = s.integer * 16 + static_cast<uint32_t>(d);
  }
  if (!ParseNumber<int32_t>(parts[2], s.lastSlot, 0, 199)) return std::nullopt;
  for (size_t k : {size_t{3}, size_t{4}}) {
    std::optional<uint32_t>& seed = k == 3 ? s.seed : s.filledWith;
    if (parts[k] == "-") continue;
    uint32_t v = 0;
    if (!ParseNumber<uint32_t>(parts[k], v, 0, UINT32_MAX)) return std::nullopt;
    seed = v;
  }
  if (parts[5].size() != 4 * s.table.size()) return std::nullopt;
  for (size_t i = 0; i < s.table.size(); ++i) {
    uint32_t k = 0;
    for (size_t j = 0; j < 4; ++j) {
      const char c = parts[5][4 * i + j];
      const int d = HexDigit(c);
      if (d < 0 || (c >= 'A' && c <= 'F')) return std::nullopt;
      k = k * 16 + static_cast<uint32_t>(d);
    }
    if (k > 32767) return std::nullopt;
    s.table[i] = static_cast<uint16_t>(k);
  }
  if (!s.filled && s.filledWith) return std::nullopt;
  return s;
}

std::string FormatHistory(const SongHistory& history) {
  std::string out(kHistoryHeader);
  out += "\ncurrent=" + std::to_string(history.current) + "\nnext=" + std::to_string(history.next) +
         "\n";
  for (const HistoryEntry& e : history.entries) {
    out += '\n';
    FormatEntry(e, out);
  }
  return out;
}

std::optional<SongHistory> ParseHistory(std::string_view text, std::string* problem) {
  std::string why;
  const auto fail = [&](const std::string& what) -> std::optional<SongHistory> {
    if (problem) *problem = what;
    return std::nullopt;
  };
  if (text.empty() || text.back() != '\n') return fail("the file is cut short");
  std::vector<std::string_view> lines = Split(text.substr(0, text.size() - 1), '\n');
  if (lines[0] != kHistoryHeader) {
    if (lines[0].starts_with("vema song history ")) return fail("the file is of another version");
    return fail("the file is not a song history");
  }
  SongHistory h;
  if (lines.size() < 3 || !lines[1].starts_with("current=") || !lines[2].starts_with("next=") ||
      !ParseInt(lines[1].substr(8), h.current, 0, INT32_MAX) ||
      !ParseInt(lines[2].substr(5), h.next, 1, INT32_MAX)) {
    return fail("the file has no current and next entry numbers");
  }
  size_t i = 3;
  while (i < lines.size()) {
    // Each entry after one empty line.
    if (!lines[i].empty() || i + 1 == lines.size()) {
      return fail("line " + std::to_string(i + 1) + ": not an empty line before an entry");
    }
    ++i;
    HistoryEntry e;
    if (!lines[i].starts_with("entry=") || !ParseInt(lines[i].substr(6), e.number, 1, h.next - 1)) {
      return fail("line " + std::to_string(i + 1) + ": not the start of an entry");
    }
    if (!h.entries.empty() && e.number <= h.entries.back().number) {
      return fail("line " + std::to_string(i + 1) + ": entries out of order");
    }
    if (h.entries.size() >= kMaxEntries) return fail("too many entries");
    ++i;
    if (!ParseEntry(lines, i, e, why)) return fail(why);
    h.entries.push_back(std::move(e));
  }
  if (h.current != 0 && h.Find(h.current) == nullptr) return fail("the current entry is missing");
  return h;
}

HistoryFile LoadHistory(const std::string& dir) {
  HistoryFile file;
  const std::filesystem::path path = HistoryPath(dir);
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return file;
    file.state = HistoryFileState::kUnusable;
    file.problem = "it cannot be looked at";
    return file;
  }
  if (S_ISLNK(st.st_mode)) {
    file.problem = "it is a symbolic link";
  } else if (!S_ISREG(st.st_mode)) {
    file.problem = "it is not a regular file";
  } else if (static_cast<uint64_t>(st.st_size) > kMaxHistoryBytes) {
    file.problem = "it is too large";
  } else {
    const std::optional<std::vector<uint8_t>> bytes = ReadFileBytes(path, kMaxHistoryBytes);
    if (!bytes) {
      file.problem = "it cannot be read";
    } else {
      const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
      if (std::optional<SongHistory> history = ParseHistory(text, &file.problem)) {
        file.history = std::move(*history);
        file.state = HistoryFileState::kRead;
        return file;
      }
    }
  }
  if (std::optional<std::string> name = SetAside(dir)) {
    file.state = HistoryFileState::kSetAside;
    file.setAsideAs = *name;
  } else {
    file.state = HistoryFileState::kUnusable;
  }
  return file;
}

bool SaveHistory(const std::string& dir, const SongHistory& history) {
  return WriteFileAtomically(HistoryPath(dir), FormatHistory(history));
}

bool PutData(const std::string& dir, std::string_view kind, const std::string& hash,
             const std::vector<uint8_t>& bytes) {
  if (!IsHash(hash)) return false;
  const std::filesystem::path store = StorePath(dir);
  std::error_code error;
  if (!std::filesystem::is_directory(store, error)) {
    if (::mkdir(store.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  const std::filesystem::path path = store / (hash + "." + std::string(kind));
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
      static_cast<uint64_t>(st.st_size) == bytes.size()) {
    return true;
  }
  return WriteFileAtomically(path, std::span<const uint8_t>(bytes));
}

std::optional<std::vector<uint8_t>> GetData(const std::string& dir, std::string_view kind,
                                            const std::string& hash) {
  if (!IsHash(hash)) return std::nullopt;
  std::optional<std::vector<uint8_t>> bytes =
      ReadFileBytes(StorePath(dir) / (hash + "." + std::string(kind)), kMaxHistoryBytes);
  if (!bytes || Sha256Hex(*bytes) != hash) return std::nullopt;
  return bytes;
}

void DropUnusedData(const std::string& dir, const SongHistory& history) {
  std::vector<std::string> used;
  for (const HistoryEntry& e : history.entries) {
    used.push_back(e.recipe.form + ".form");
    if (!e.recipe.settings.mld.empty()) used.push_back(e.recipe.settings.mld + ".mld");
    used.push_back(e.recipe.settings.ton + ".ton");
    for (const SongOp& op : e.recipe.ops) {
      if (op.kind != SongOpKind::kMelody && op.kind != SongOpKind::kBars) continue;
      if (!op.settings.mld.empty()) used.push_back(op.settings.mld + ".mld");
      used.push_back(op.settings.ton + ".ton");
    }
  }
  std::error_code error;
  for (const auto& item : std::filesystem::directory_iterator(StorePath(dir), error)) {
    const std::string name = item.path().filename().string();
    // A copy whose writing was cut short (the folder is locked now: no run is writing one).
    if (name.starts_with(".") && name.ends_with(".tmp")) {
      std::filesystem::remove(item.path(), error);
      continue;
    }
    const size_t dot = name.find('.');
    if (dot != 64 || !IsHash(name.substr(0, 64))) continue;
    const std::string kind = name.substr(65);
    if (kind != "form" && kind != "mld" && kind != "ton") continue;
    if (std::find(used.begin(), used.end(), name) != used.end()) continue;
    std::filesystem::remove(item.path(), error);
  }
}

std::string HistoryListLine(const HistoryEntry& e, bool current) {
  char when[32] = "-";
  const time_t t = static_cast<time_t>(e.time);
  struct tm local {};
  if (localtime_r(&t, &local) != nullptr) std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
  // What made it, and the seed of its last draw.
  std::string made = e.made;
  std::optional<uint32_t> seed = e.recipe.random.filledWith;
  int edits = 0;
  for (const SongOp& op : e.recipe.ops) {
    if (op.kind == SongOpKind::kEdit) ++edits;
    if (op.kind == SongOpKind::kMelody || op.kind == SongOpKind::kBars) {
      seed = op.random.filledWith;
    }
  }
  for (auto it = e.recipe.ops.rbegin(); it != e.recipe.ops.rend(); ++it) {
    if (it->kind == SongOpKind::kEdit) continue;
    if (e.made == "bars" && it->kind == SongOpKind::kBars) {
      made += " " + std::to_string(it->firstBar + 1) + "-" + std::to_string(it->lastBar + 1);
    }
    if (e.made == "feel" && it->kind == SongOpKind::kFeel) {
      static const char* const kFeels[] = {"march", "standard", "blues", "rock"};
      made += std::string(" ") + kFeels[it->feel & 3];
    }
    break;
  }
  if (edits > 0) made += " +" + std::to_string(edits) + (edits == 1 ? " edit" : " edits");
  char score[32] = "-";
  if (e.score) std::snprintf(score, sizeof score, "%.1f", *e.score);
  char line[512];
  std::snprintf(line, sizeof line, "%s%4d  %s  %-18s  %2d bars  seed %-10s  score %s",
                current ? "*" : " ", e.number, when, made.c_str(), e.bars,
                seed ? std::to_string(*seed).c_str() : "-", score);
  std::string out = line;
  if (!e.formName.empty()) out += "  \"" + e.formName + "\"";
  return out;
}

}  // namespace vema
