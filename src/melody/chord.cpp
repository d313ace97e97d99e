#include "melody/chord.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>

#include "song/text.h"

namespace vema {

namespace {

constexpr int8_t kToneEnd = -1;  // 255 as an unsigned byte

// A bounded view of a chord name: positions past its end (or past its 10 bytes, or past a NUL)
// read as NUL.
class ChordText {
 public:
  explicit ChordText(std::string_view text) {
    const size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    text_ = text.substr(0, std::min<size_t>(text.size(), kChordBytes));
  }
  char at(size_t i) const { return i < text_.size() ? text_[i] : '\0'; }
  std::string_view text() const { return text_; }
  void Cut(size_t at) { text_ = text_.substr(0, std::min(at, text_.size())); }

 private:
  std::string_view text_;
};

int LetterValue(char c) {
  switch (c) {
    case 'A': return 9;
    case 'B': return 11;
    case 'C': return 0;
    case 'D': return 2;
    case 'E': return 4;
    case 'F': return 5;
    case 'G': return 7;
    default: return -1;
  }
}

int Reduce(int tone) {
  tone %= 12;
  return tone < 0 ? tone + 12 : tone;
}

// The intervals of a quality; count 0 means refused.
struct Quality {
  std::array<int, 4> intervals{};
  int count = 0;
  bool addChord = false;
};

Quality MakeQuality(std::initializer_list<int> intervals) {
  Quality q;
  for (int v : intervals) q.intervals[static_cast<size_t>(q.count++)] = v;
  return q;
}

// Reads the quality starting at position p of the chord part.  Anything left after the quality
// refuses the name.
Quality ParseQuality(const ChordText& c, size_t p) {
  Quality q;
  size_t end = p;
  const char c0 = c.at(p);
  switch (c0) {
    case '\0':
      q = MakeQuality({4, 7});
      break;
    case '+':
    case 'a':
      if (c.at(p + 1) == 'd') {
        Quality add;
        add.addChord = true;
        return add;
      }
      q = MakeQuality({4, 8});
      end = c0 == '+' ? p + 1 : p + 3;  // "aug": two characters skipped unchecked
      break;
    case '-':
      if (c.at(p + 1) != '5') return {};
      q = MakeQuality({4, 6});
      end = p + 2;
      break;
    case '6':
      if (c.at(p + 1) == '9') {
        q = MakeQuality({4, 7, 9, 14});
        end = p + 2;
      } else {
        q = MakeQuality({4, 7, 9});
        end = p + 1;
      }
      break;
    case '7':
      switch (c.at(p + 1)) {
        case '\0':
          q = MakeQuality({4, 7, 10});
          end = p + 1;
          break;
        case 's':
          if (c.at(p + 4) != '4') return {};
          q = MakeQuality({5, 7, 10});
          end = p + 5;
          break;
        case '-':
          if (c.at(p + 2) == '9') {
            q = MakeQuality({4, 7, 10, 13});
          } else if (c.at(p + 2) == '5') {
            q = MakeQuality({4, 6, 10});
          } else {
            return {};
          }
          end = p + 3;
          break;
        case '+':
          if (c.at(p + 2) != '5') return {};
          q = MakeQuality({4, 8, 10});
          end = p + 3;
          break;
        default:
          return {};
      }
      break;
    case '9':
      q = MakeQuality({4, 7, 10, 14});
      end = p + 1;
      break;
    case 'M':
      if (c.at(p + 1) == '9') {
        q = MakeQuality({4, 7, 11, 14});
        end = p + 2;
      } else if (c.at(p + 1) == '7') {
        if (c.at(p + 2) == '9') {
          q = MakeQuality({4, 7, 11, 14});
          end = p + 3;
        } else {
          q = MakeQuality({4, 7, 11});
          end = p + 2;
        }
      } else {
        return {};
      }
      break;
    case 'd':  // "dim": two characters skipped unchecked, then nothing or "7"
      if (c.at(p + 3) == '7') {
        q = MakeQuality({3, 6, 9});
        end = p + 4;
      } else {
        q = MakeQuality({3, 6});
        end = p + 3;
      }
      break;
    case 'm':
      switch (c.at(p + 1)) {
        case '\0':
          q = MakeQuality({3, 7});
          end = p + 1;
          break;
        case '-':
          if (c.at(p + 2) != '5') return {};
          q = MakeQuality({3, 6});
          end = p + 3;
          break;
        case '7':
          switch (c.at(p + 2)) {
            case '\0':
              q = MakeQuality({3, 7, 10});
              end = p + 2;
              break;
            case '-':
              if (c.at(p + 3) != '5') return {};
              q = MakeQuality({3, 6, 10});
              end = p + 4;
              break;
            case 'M':  // "m7M7"
              if (c.at(p + 3) != '7') return {};
              q = MakeQuality({3, 7, 11});
              end = p + 4;
              break;
            case '9':
              q = MakeQuality({3, 7, 10, 14});
              end = p + 3;
              break;
            default:
              return {};
          }
          break;
        case 'M':
          if (c.at(p + 2) != '7') return {};
          q = MakeQuality({3, 7, 11});
          end = p + 3;
          break;
        case '6':
          if (c.at(p + 2) == '9') {
            q = MakeQuality({3, 7, 9, 14});
            end = p + 3;
          } else {
            q = MakeQuality({3, 7, 9});
            end = p + 2;
          }
          break;
        case '9':
          q = MakeQuality({3, 7, 10, 14});
          end = p + 2;
          break;
        default:
          return {};
      }
      break;
    case 's':  // "sus": two characters skipped unchecked, then "4"
      if (c.at(p + 3) != '4') return {};
      q = MakeQuality({5, 7});
      end = p + 4;
      break;
    default:
      return {};
  }
  if (c.at(end) != '\0') return {};
  return q;
}

}  // namespace

ChordParts DescribeChord(std::string_view name) {
  ChordParts parts;
  ChordText chord(name);
  parts.letter = chord.at(0);
  size_t p = 1;
  if (chord.at(p) == '#') {
    ++parts.alter;
    p = 2;
  }
  if (chord.at(p) == '-' && chord.at(p + 1) != '5') {
    --parts.alter;
    ++p;
  }
  parts.root = Reduce(LetterValue(parts.letter) + parts.alter);

  // The first "/" or "on" cuts the name; what follows is the bass.
  const std::string_view whole = chord.text();
  for (size_t i = 0; i < whole.size(); ++i) {
    const bool on = whole[i] == 'o' && i + 1 < whole.size() && whole[i + 1] == 'n';
    if (whole[i] != '/' && !on) continue;
    const ChordText bass(whole.substr(i + (on ? 2 : 1)));
    parts.slash = true;
    parts.bassLetter = bass.at(0);
    size_t b = 1;
    if (bass.at(b) == '#') {
      ++parts.bassAlter;
      ++b;
    }
    if (bass.at(b) == '-') --parts.bassAlter;
    parts.bass = Reduce(LetterValue(parts.bassLetter) + parts.bassAlter);
    chord.Cut(i);
    break;
  }
  parts.chordPart = std::string(chord.text());

  const Quality quality = whole.empty() ? Quality{} : ParseQuality(chord, p);
  parts.addChord = quality.addChord;
  parts.accepted = quality.count > 0;
  if (parts.accepted) {
    parts.quality = parts.chordPart.substr(std::min(p, parts.chordPart.size()));
    parts.intervals.assign(quality.intervals.begin(), quality.intervals.begin() + quality.count);
  }
  return parts;
}

int ParseChord(ChordToneTable& table, Platform& platform, std::string_view name) {
  table.fill(kToneEnd);
  const ChordParts parts = DescribeChord(name);
  table[0] = static_cast<int8_t>(parts.root);
  if (!parts.accepted) {
    // The name stays CP932 bytes for the parser; the message shows it as the person typed it.
    const std::string part = Cp932ToUtf8(parts.chordPart, Undecodable::kReplacement);
    if (parts.addChord) {
      platform.ShowMessage("アドコード[" + part + "]は未対応です", MessageIcon::kStop);
    }
    platform.ShowMessage("コード解析error\n[" + part + "]は誤りまたは未対応です",
                         MessageIcon::kStop);
    return -1;
  }

  std::array<int8_t, 5> tones{};
  int count = 0;
  tones[static_cast<size_t>(count++)] = static_cast<int8_t>(parts.root);
  for (const int interval : parts.intervals) {
    tones[static_cast<size_t>(count++)] = static_cast<int8_t>(Reduce(parts.root + interval));
  }

  if (!parts.slash) {
    for (int i = 0; i < count; ++i) table[static_cast<size_t>(i)] = tones[static_cast<size_t>(i)];
    return 0;
  }
  table[0] = static_cast<int8_t>(parts.bass);
  size_t filled = 1;
  for (int i = 0; i < count; ++i) {
    const int8_t tone = tones[static_cast<size_t>(i)];
    if (std::find(table.begin(), table.begin() + static_cast<std::ptrdiff_t>(filled), tone) ==
        table.begin() + static_cast<std::ptrdiff_t>(filled)) {
      table[filled++] = tone;
    }
  }
  return 0;
}

int FindChordTone(const ChordToneTable& tones, int pitchClass) {
  if (tones[0] == kToneEnd) return -1;
  for (size_t i = 0; i < tones.size() && tones[i] != kToneEnd; ++i) {
    if (tones[i] == pitchClass) return static_cast<int>(i);
  }
  return -1;
}

void RemoveSemitoneClash(std::vector<int32_t>& v) {
  for (size_t k = 0; k + 1 < v.size(); ++k) {
    if (std::abs(v[k + 1] - v[k]) != 1) continue;
    const size_t lower = v[k] < v[k + 1] ? k : k + 1;
    const size_t upper = lower == k ? k + 1 : k;
    const bool lowerIsFirst = Reduce(v[lower]) == Reduce(v.front());
    v.erase(v.begin() + static_cast<std::ptrdiff_t>(lowerIsFirst ? lower : upper));
    return;
  }
}

void BuildChordVoicing(const SongForm& form, ChordToneTable& chordTones, Platform& platform,
                       GenerationLog& log, std::vector<std::vector<int32_t>>& voicings,
                       std::vector<int32_t>& bassNotes) {
  const int bars = form.BarCount();
  voicings.assign(static_cast<size_t>(bars) + 1, {});
  bassNotes.assign(static_cast<size_t>(bars) + 1, kListEnd);
  for (int b = 0; b < bars; ++b) {
    ParseChord(chordTones, platform, form.Chord(b));
    const ChordToneTable& table = chordTones;
    std::vector<int32_t>& v = voicings[static_cast<size_t>(b)];
    const int offset = table[0] < 6 ? 0 : -12;
    for (size_t k = 0; k < table.size() && table[k] != kToneEnd; ++k) {
      int32_t note = table[k] + offset + 60;
      if (!v.empty() && v.back() > note) note += 12;
      v.push_back(note);
    }
    bassNotes[static_cast<size_t>(b)] = v.front() - 12;
    if (b > 0) {
      // The trace is UTF-8 until work.txt turns it back into CP932, with the stored bytes.
      const std::string before = Cp932ToUtf8(form.Chord(b - 1), Undecodable::kKeepByte);
      const std::string now = Cp932ToUtf8(form.Chord(b), Undecodable::kKeepByte);
      log.Appendf("mae=%s,ato=%s", before.c_str(), now.c_str());
      RemoveSemitoneClash(v);
    }
    v.push_back(kListEnd);
  }
  voicings[static_cast<size_t>(bars)].push_back(kListEnd);
}

}  // namespace vema
