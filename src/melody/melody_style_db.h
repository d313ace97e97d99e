// The melody style (.ton): per note kind, the percentages with which one melodic rule follows
// another, and the settings that steer the chaining.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vema {

class FieldReader;

class Platform;

inline constexpr int kRuleCount = 11;       // rules 0..10
inline constexpr int kRuleSlots = 12;       // rows and columns stored (11 is unused)
inline constexpr int kLengthClasses = 4;
inline constexpr int kStyleTables = 8;      // 0..3 on the beat, 4..7 off the beat
inline constexpr size_t kTonFileBytes = 4640;

// Names of the rules 0..10 and of the four length classes.
extern const std::array<std::string_view, kRuleCount> kRuleMeanings;
extern const std::array<std::string_view, kLengthClasses> kLengthClassNames;

struct MelodyStyleDb {
  // table[k][source][next]: k = length class on the beat, 4 + class off the beat.
  std::array<std::array<std::array<int32_t, kRuleSlots>, kRuleSlots>, kStyleTables> table{};
  std::array<int32_t, 8> settings{};

  bool operator==(const MelodyStyleDb&) const = default;

  int32_t& onBeat(int length_class, int source, int next) {
    return table[static_cast<size_t>(length_class)][static_cast<size_t>(source)]
                [static_cast<size_t>(next)];
  }
  int32_t& offBeat(int length_class, int source, int next) {
    return table[static_cast<size_t>(length_class) + 4][static_cast<size_t>(source)]
                [static_cast<size_t>(next)];
  }

  // Reads the file; "ファイルを開けません[path]" and false when it cannot be opened or read
  // (TooLargeMessage for a file far larger than any style file).
  bool Load(const std::string& path, Platform& platform, const std::string& dir = ".");
  // Writes the 4640 bytes over the start of the file, keeping any bytes after them;
  // "File could not created! " and false when that fails.
  bool Save(const std::string& path, Platform& platform, const std::string& dir = ".") const;

  std::string Encode() const;
  // Reads a .ton image as far as it goes; from bytes in memory, or from a reader over the file,
  // which reads the tables straight into their storage.
  void Decode(std::string_view bytes);
  void Decode(FieldReader& in);
};

}  // namespace vema
