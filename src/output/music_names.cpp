#include "output/music_names.h"

#include <map>

#include "melody/chord.h"
#include "output/song_score.h"

namespace vema {

ChordKind ChordKindOf(const std::vector<int>& intervals) {
  static const std::map<std::vector<int>, ChordKind> kKinds = {
      {{4, 7}, {"major", {}, ""}},
      {{4, 8}, {"augmented", {}, "aug"}},
      {{4, 6}, {"major", {{5, -1, 1}}, "(♭5)"}},
      {{4, 7, 9}, {"major-sixth", {}, "6"}},
      {{4, 7, 9, 14}, {"major-sixth", {{9, 0, 0}}, "6(9)"}},
      {{4, 7, 10}, {"dominant", {}, "7"}},
      {{5, 7, 10}, {"suspended-fourth", {{7, 0, 0}}, "7sus4"}},
      {{4, 7, 10, 13}, {"dominant", {{9, -1, 0}}, "7(♭9)"}},
      {{4, 8, 10}, {"augmented-seventh", {}, "7(♯5)"}},
      {{4, 6, 10}, {"dominant", {{5, -1, 1}}, "7(♭5)"}},
      {{4, 7, 10, 14}, {"dominant-ninth", {}, "9"}},
      {{4, 7, 11}, {"major-seventh", {}, "M7"}},
      {{4, 7, 11, 14}, {"major-ninth", {}, "M9"}},
      {{3, 6}, {"diminished", {}, "dim"}},
      {{3, 6, 9}, {"diminished-seventh", {}, "dim7"}},
      {{3, 7}, {"minor", {}, "m"}},
      {{3, 7, 10}, {"minor-seventh", {}, "m7"}},
      {{3, 6, 10}, {"half-diminished", {}, "m7(♭5)"}},
      {{3, 7, 11}, {"major-minor", {}, "mM7"}},
      {{3, 7, 9}, {"minor-sixth", {}, "m6"}},
      {{3, 7, 9, 14}, {"minor-sixth", {{9, 0, 0}}, "m6(9)"}},
      {{3, 7, 10, 14}, {"minor-ninth", {}, "m9"}},
      {{5, 7}, {"suspended-fourth", {}, "sus4"}}};
  const auto it = kKinds.find(intervals);
  return it != kKinds.end() ? it->second : ChordKind{};
}

std::string NoteText(char letter, int alter) {
  std::string text(1, letter);
  for (int i = 0; i < alter; ++i) text += "♯";
  for (int i = 0; i > alter; --i) text += "♭";
  return text;
}

std::string ChordSymbolText(std::string_view chord) {
  const auto isLetter = [](char c) { return c >= 'A' && c <= 'G'; };
  const ChordParts parts = DescribeChord(chord);
  const ChordKind kind = parts.accepted ? ChordKindOf(parts.intervals) : ChordKind{};
  if (kind.written == nullptr || !isLetter(parts.letter) ||
      (parts.slash && !isLetter(parts.bassLetter))) {
    return std::string(chord);
  }
  std::string text = NoteText(parts.letter, parts.alter);
  // "m-5" sounds as a diminished triad but is written as the minor chord it was named.
  const bool minorFlatFive = parts.intervals == std::vector<int>{3, 6} &&
                             !parts.quality.empty() && parts.quality[0] == 'm';
  text += minorFlatFive ? "m(♭5)" : kind.written;
  if (parts.slash) text += "/" + NoteText(parts.bassLetter, parts.bassAlter);
  return text;
}

std::string KeyNameText(int keyIndex) {
  if (keyIndex < 0 || keyIndex >= kKeyCount) return "?";
  const KeySignature sig = KeySignatureOf(keyIndex);
  // The tonic, from the circle of fifths, spelled as the key writes it.
  const int tonic = ((sig.fifths * 7 + (sig.minor ? 9 : 0)) % 12 + 12) % 12;
  const Spelling spelling = SpellKey(60 + tonic, keyIndex);
  static constexpr const char* kLetters[7] = {"イ", "ロ", "ハ", "ニ", "ホ", "ヘ", "ト"};  // A..G
  std::string text = spelling.alter > 0 ? "嬰" : spelling.alter < 0 ? "変" : "";
  text += kLetters[spelling.step - 'A'];
  text += sig.minor ? "短調" : "長調";
  return text;
}

}  // namespace vema
