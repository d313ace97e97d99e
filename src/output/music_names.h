// Keys and chords as a musician writes them, shared by the MusicXML writer and the piano roll:
// "B-" is B♭, "F#m7-5" is F♯m7(♭5), "AmonC" is Am/C; key d(mb1) of the form is ニ短調 (D minor).
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace vema {

// What the chord tones of a quality are called: MusicXML's kind of chord, the degrees it needs
// on top of that kind (value, alteration, 0 added / 1 altered) and the quality as written after
// the root ("m7(♭5)").  Intervals are the semitones above the root that ParseChord gives.
struct ChordKind {
  const char* kind = "other";
  std::vector<std::array<int, 3>> degrees;
  const char* written = nullptr;  // nullptr: a set of intervals no chord name gives
};
ChordKind ChordKindOf(const std::vector<int>& intervals);

// A chord name of the form (UTF-8) as a musician writes it: root with ♯ or ♭, the quality in
// its usual spelling, a slash and the bass for a slash or "on" chord.  A name the program does
// not read is given back as it stands.
std::string ChordSymbolText(std::string_view chord);

// The name of a key of KeyList as a Japanese score names it ("ハ長調", "ニ短調", "変ロ長調",
// "嬰ヘ短調"); an index outside the list gives "?".
std::string KeyNameText(int keyIndex);

// A note letter and its alteration in semitones as written: "B♭", "F♯", "C".
std::string NoteText(char letter, int alter);

}  // namespace vema
