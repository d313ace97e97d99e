#include "song/form.h"

#include <algorithm>
#include <cstring>

#include "song/binary_io.h"

namespace vema {

const std::array<std::string_view, kKeyCount> KeyList = {
    "C  ",      "G(M#1)",   "D(M#2)",   "A(M#3)",   "E(M#4)",   "H(M#5)",   "Fis(M#6)",
    "Cis(M#7)", "F(Mb1)",   "B(Mb2)",   "Es(Mb3)",  "As(Mb4)",  "Des(Mb5)", "Ges(Mb6)",
    "Ces(Mb7)", "a  ",      "e(m#1)",   "h(m#2)",   "fis(m#3)", "cis(m#4)", "gis(m#5)",
    "dis(m#6)", "ais(m#7)", "d(mb1)",   "g(mb2)",   "c(mb3)",   "f(mb4)",   "b(mb5)",
    "es(mb6)",  "as(mb7)"};

const std::array<std::string_view, 13> PitchNameTable = {"r", "c",  "c+", "d",  "d+", "e", "f",
                                                         "f+", "g", "g+", "a", "a+", "b"};

std::string_view PitchName(int pitch) {
  if (pitch < 0 || pitch > 12) return "?";
  return PitchNameTable[static_cast<size_t>(pitch)];
}

int SongForm::PeriodCount() const { return std::clamp(lastPeriod, 0, kMaxPeriods - 1) + 1; }

std::string_view SongForm::Chord(int bar) const {
  const auto& field = chordSymbol[static_cast<size_t>(bar)];
  const void* nul = std::memchr(field.data(), 0, field.size());
  const size_t length =
      nul == nullptr ? field.size() : static_cast<size_t>(static_cast<const char*>(nul) - field.data());
  return {field.data(), length};
}

void SongForm::SetChord(int bar, std::string_view text) {
  auto& field = chordSymbol[static_cast<size_t>(bar)];
  field.fill(0);
  const size_t n = std::min(text.size(), field.size() - 1);
  std::copy_n(text.begin(), n, field.begin());
}

SongForm BlankForm() {
  SongForm form;
  form.lastPeriod = 0;
  form.periodSource.fill(-1);
  form.melodySource.fill(-1);
  form.motifSource.fill(-1);
  form.noteLengthSource.fill(-1);
  form.keyIndex.fill(0);
  for (int bar = 0; bar < kMaxBars; ++bar) form.SetChord(bar, "C");
  return form;
}

void EncodeForm(const SongForm& form, FieldWriter& out) {
  out.Int32(form.lastPeriod);
  out.Int32s(form.periodSource);
  out.Int32s(form.melodySource);
  out.Int32s(form.motifSource);
  out.Int32s(form.noteLengthSource);
  out.Int32s(form.keyIndex);
  for (const auto& chord : form.chordSymbol) out.Chars(chord);
}

void DecodeForm(FieldReader& in, SongForm& form) {
  in.Int32(form.lastPeriod);
  in.Int32s(form.periodSource);
  in.Int32s(form.melodySource);
  in.Int32s(form.motifSource);
  in.Int32s(form.noteLengthSource);
  in.Int32s(form.keyIndex);
  // The chord names lie one after another, in the table as in the file: one block.
  static_assert(sizeof(form.chordSymbol) == kMaxBars * kChordBytes);
  in.Chars({reinterpret_cast<char*>(form.chordSymbol.data()), sizeof(form.chordSymbol)});
}

}  // namespace vema
