// The musical form (periods of eight 4/4 bars) and the fixed name tables.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vema {

inline constexpr int kMaxPeriods = 12;
inline constexpr int kBarsPerPeriod = 8;
inline constexpr int kMaxBars = kMaxPeriods * kBarsPerPeriod;  // 96
inline constexpr int kTicksPerQuarter = 48;
inline constexpr int kTicksPerBar = 192;
inline constexpr int kKeyCount = 30;
inline constexpr int kChordBytes = 10;  // 9 characters and a NUL
inline constexpr size_t kFormRecordBytes = 2548;

// The current form, with the same field order as its 2548-byte record on disk.
struct SongForm {
  int32_t lastPeriod = 0;
  std::array<int32_t, kMaxPeriods> periodSource{};
  std::array<int32_t, kMaxBars> melodySource{};
  std::array<int32_t, kMaxBars> motifSource{};
  std::array<int32_t, kMaxBars> noteLengthSource{};
  std::array<int32_t, kMaxBars> keyIndex{};
  std::array<std::array<char, kChordBytes>, kMaxBars> chordSymbol{};

  bool operator==(const SongForm&) const = default;

  // lastPeriod clamped into 0..11.
  int PeriodCount() const;
  // 8 x PeriodCount().
  int BarCount() const { return PeriodCount() * kBarsPerPeriod; }
  // The chord text of a bar up to its NUL, never past its 10 bytes.
  std::string_view Chord(int bar) const;
  // Stores at most 9 bytes of text and a NUL; the bytes after the NUL are zeroed.
  void SetChord(int bar, std::string_view text);
};

// The blank form: one period, every source -1, every key 0 and every chord "C".
SongForm BlankForm();

// Record encoding.  Decoding a short record leaves the fields past its end as they were.
void EncodeForm(const SongForm& form, class FieldWriter& out);
void DecodeForm(class FieldReader& in, SongForm& form);

// The 30 keys in stored order (index = SongForm::keyIndex).
extern const std::array<std::string_view, kKeyCount> KeyList;

// Names of pitch numbers 0..12: "r", "c", "c+", ... "b".
extern const std::array<std::string_view, 13> PitchNameTable;

// The name of a pitch number, "?" for a value outside 0..12.
std::string_view PitchName(int pitch);

}  // namespace vema
