// make_forms: builds the custom form store ("default.db") from its text source.
//
//   make_forms SOURCE OUTPUT
//
// The source format is described at the top of data/source/default_forms.txt.  The tool checks
// every form against the rules the generators rely on (sources point to earlier bars, the three
// sources are nested, a repeated melody keeps the key and chord of its source, chord names are
// ones the chord parser accepts), fills in period copies and the unused periods, and stops with
// "file:line: text" on the first mistake.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "editors/custom_form_store.h"
#include "song/form.h"
#include "song/text.h"
#include "source_text.h"

namespace {

using vema::tools::ParseInteger;
using vema::tools::SourceError;
using vema::tools::SourceLine;

// A key by its KeyList text without blanks ("C", "a", "G(M#1)") or by its tonic ("G", "fis").
int ParseKey(const std::string& word) {
  for (int k = 0; k < vema::kKeyCount; ++k) {
    std::string text(vema::KeyList[static_cast<size_t>(k)]);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    const std::string tonic = text.substr(0, text.find('('));
    if (word == text || word == tonic) return k;
  }
  return -1;
}

// A root or bass note: a letter A..G, then "#" and/or "-" (the "-" not followed by "5").
size_t NoteLength(std::string_view s) {
  if (s.empty() || s[0] < 'A' || s[0] > 'G') return 0;
  size_t p = 1;
  if (p < s.size() && s[p] == '#') ++p;
  if (p < s.size() && s[p] == '-' && !(p + 1 < s.size() && s[p + 1] == '5')) ++p;
  return p;
}

// True for chord names the chord parser accepts: root, quality, optional "/bass" or "onbass".
// Only the plain spellings of the qualities are allowed here.
bool IsChordName(std::string_view name) {
  static const std::string_view kQualities[] = {"",      "+",   "aug",  "-5",  "6",   "69",  "7",
                                                "7sus4", "7-9", "7+5",  "7-5", "9",   "M7",  "M9",
                                                "M79",   "dim", "dim7", "m",   "m-5", "m7",  "m7-5",
                                                "mM7",   "m6",  "m69",  "m9",  "m79", "sus4"};
  if (name.empty() || name.size() >= static_cast<size_t>(vema::kChordBytes)) return false;
  std::string_view chord = name;
  std::string_view bass;
  const size_t slash = name.find('/');
  const size_t on = name.find("on");
  if (slash != std::string_view::npos) {
    chord = name.substr(0, slash);
    bass = name.substr(slash + 1);
  } else if (on != std::string_view::npos) {
    chord = name.substr(0, on);
    bass = name.substr(on + 2);
  }
  if (chord.size() != name.size() && (bass.empty() || NoteLength(bass) != bass.size()))
    return false;
  const size_t root = NoteLength(chord);
  if (root == 0) return false;
  const std::string_view quality = chord.substr(root);
  for (std::string_view q : kQualities) {
    if (quality == q) return true;
  }
  return false;
}

struct NamedForm {
  std::string name;
  vema::SongForm form = vema::BlankForm();
  int periods = 0;
  int line = 0;
  int pendingBars = 0;  // bar lines still expected for the current new period
};

void Finish(NamedForm& f) {
  if (f.pendingBars != 0)
    throw SourceError{f.line, "form \"" + f.name + "\": a period has fewer than 8 bars"};
  if (f.periods == 0) throw SourceError{f.line, "form \"" + f.name + "\" has no periods"};
  vema::SongForm& form = f.form;
  form.lastPeriod = f.periods - 1;
  // Unused periods stay as the form editor resets them: new, every bar new, the keys of the
  // same bar of the first period, the first chord.
  const std::string firstChord(form.Chord(0));
  for (int p = f.periods; p < vema::kMaxPeriods; ++p) {
    form.periodSource[static_cast<size_t>(p)] = -1;
    for (int i = 0; i < vema::kBarsPerPeriod; ++i) {
      const size_t bar = static_cast<size_t>(p * vema::kBarsPerPeriod + i);
      form.melodySource[bar] = -1;
      form.motifSource[bar] = -1;
      form.noteLengthSource[bar] = -1;
      form.keyIndex[bar] = form.keyIndex[static_cast<size_t>(i)];
      form.SetChord(static_cast<int>(bar), firstChord);
    }
  }
}

// A source column: "-" for new, else an earlier bar.
int32_t ParseSource(const std::string& word, int bar, int line, const char* what) {
  if (word == "-") return -1;
  const auto value = ParseInteger(word);
  if (!value || *value < 0 || *value >= bar) {
    throw SourceError{line, std::string(what) + " of bar " + std::to_string(bar) +
                                " must be \"-\" or an earlier bar"};
  }
  return *value;
}

void ParseBar(NamedForm& f, const SourceLine& line) {
  const auto& w = line.words;
  if (w.size() != 6)
    throw SourceError{line.number, "a bar line reads: BAR KEY CHORD MELODY MOTIF LENGTH"};
  const int bar = (f.periods - 1) * vema::kBarsPerPeriod + (vema::kBarsPerPeriod - f.pendingBars);
  const auto given = ParseInteger(w[0]);
  if (!given || *given != bar)
    throw SourceError{line.number, "expected bar " + std::to_string(bar)};
  const int key = ParseKey(w[1]);
  if (key < 0) throw SourceError{line.number, "unknown key " + w[1]};
  if (!IsChordName(w[2]))
    throw SourceError{line.number, "chord " + w[2] + " is not one the chord parser accepts"};
  const int32_t melody = ParseSource(w[3], bar, line.number, "the melody source");
  const int32_t motif = ParseSource(w[4], bar, line.number, "the motif source");
  const int32_t length = ParseSource(w[5], bar, line.number, "the note-length source");
  vema::SongForm& form = f.form;
  const size_t b = static_cast<size_t>(bar);
  form.keyIndex[b] = key;
  form.SetChord(bar, w[2]);
  if (melody >= 0) {
    if (motif != melody || length != melody) {
      throw SourceError{
          line.number,
          "a bar that repeats the melody of bar j repeats its motif and note lengths too"};
    }
    if (form.keyIndex[static_cast<size_t>(melody)] != key || form.Chord(melody) != w[2]) {
      throw SourceError{line.number,
                        "a bar that repeats a melody keeps the key and chord of its source"};
    }
  }
  if (motif >= 0 && length != motif) {
    throw SourceError{line.number,
                      "a bar that repeats the motif of bar j repeats its note lengths too"};
  }
  form.melodySource[b] = melody;
  form.motifSource[b] = motif;
  form.noteLengthSource[b] = length;
  --f.pendingBars;
}

std::vector<NamedForm> Parse(const std::vector<SourceLine>& lines) {
  std::vector<NamedForm> forms;
  for (const SourceLine& line : lines) {
    const auto& w = line.words;
    if (w[0] == "form") {
      if (!forms.empty()) Finish(forms.back());
      if (w.size() != 2)
        throw SourceError{line.number, "a form line reads: form NAME (without blanks)"};
      if (vema::Utf8ToCp932(w[1]).size() > vema::kNameBytes - 1)
        throw SourceError{line.number, "the name is longer than 255 bytes"};
      if (vema::Cp932ToUtf8(vema::Utf8ToCp932(w[1])) != w[1])
        throw SourceError{line.number, "the name has characters that CP932 cannot hold"};
      if (forms.size() >= static_cast<size_t>(vema::kMaxCustomForms))
        throw SourceError{line.number, "more than 200 forms"};
      NamedForm f;
      f.name = w[1];
      f.line = line.number;
      forms.push_back(std::move(f));
      continue;
    }
    if (forms.empty()) throw SourceError{line.number, "a form line must come first"};
    NamedForm& f = forms.back();
    if (w[0] == "period") {
      if (f.pendingBars != 0)
        throw SourceError{line.number, "the period before has fewer than 8 bars"};
      const auto p = w.size() >= 3 ? ParseInteger(w[1]) : std::nullopt;
      if (!p || *p != f.periods)
        throw SourceError{line.number, "expected period " + std::to_string(f.periods)};
      if (*p >= vema::kMaxPeriods) throw SourceError{line.number, "a form has at most 12 periods"};
      ++f.periods;
      vema::SongForm& form = f.form;
      if (w.size() == 3 && w[2] == "new") {
        form.periodSource[static_cast<size_t>(*p)] = -1;
        f.pendingBars = vema::kBarsPerPeriod;
      } else if (w.size() == 4 && w[2] == "copy") {
        const auto q = ParseInteger(w[3]);
        if (!q || *q < 0 || *q >= *p)
          throw SourceError{line.number, "a period copies an earlier period"};
        form.periodSource[static_cast<size_t>(*p)] = *q;
        for (int i = 0; i < vema::kBarsPerPeriod; ++i) {
          const int bar = *p * vema::kBarsPerPeriod + i;
          const int source = *q * vema::kBarsPerPeriod + i;
          const size_t b = static_cast<size_t>(bar);
          form.melodySource[b] = source;
          form.motifSource[b] = source;
          form.noteLengthSource[b] = source;
          form.keyIndex[b] = form.keyIndex[static_cast<size_t>(source)];
          form.SetChord(bar, form.Chord(source));
        }
      } else {
        throw SourceError{line.number, "a period line reads: period P new | period P copy Q"};
      }
      continue;
    }
    if (f.pendingBars == 0)
      throw SourceError{line.number, "a bar line must follow \"period P new\""};
    ParseBar(f, line);
  }
  if (forms.empty()) throw SourceError{0, "no forms"};
  Finish(forms.back());
  return forms;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_forms SOURCE OUTPUT\n");
    return 2;
  }
  const std::string source = argv[1];
  const auto lines = vema::tools::ReadSourceLines(source);
  if (!lines) {
    std::fprintf(stderr, "cannot read %s\n", source.c_str());
    return 1;
  }
  std::vector<NamedForm> forms;
  try {
    forms = Parse(*lines);
  } catch (const SourceError& error) {
    return vema::tools::ReportError(source, error);
  }
  vema::CustomFormTable table;
  table.count = static_cast<int32_t>(forms.size());
  for (size_t i = 0; i < forms.size(); ++i) {
    table.names[i] = forms[i].name;
    table.forms[i] = forms[i].form;
  }
  const auto bytes = vema::EncodeCustomForms(table);
  if (!vema::tools::WriteBytes(argv[2], bytes.data(), bytes.size())) {
    std::fprintf(stderr, "cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
