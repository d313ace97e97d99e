// The note-length database (.mld): patterns of note lengths and weighted transitions between
// them, in four kinds.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vema {

class FieldReader;
class Platform;

inline constexpr int kPatternCount = 1500;
inline constexpr int kPatternLength = 30;
inline constexpr int kTransitionKinds = 4;
inline constexpr int kTransitionsPerKind = 1000;
inline constexpr int kTransitionRecords = 5000;
inline constexpr size_t kMldFileBytes = 522161;

struct Transition {
  int32_t from = 0;
  int32_t to = 0;
  int32_t weight = 0;
};

struct TransitionGroup {
  int32_t first = 0;  // index into CompositionDb::transitions
  int32_t total = 0;  // sum of the weights
  int32_t count = 0;  // number of records
};

struct CompositionDb {
  CompositionDb()
      : noteLengthPatterns(static_cast<size_t>(kPatternCount) * kPatternLength),
        transitions(kTransitionRecords) {}

  uint8_t kind = 0;
  std::array<int32_t, 20> lastTransitionIndex{};  // entry k+1: last record of kind k, or -1
  std::vector<int32_t> noteLengthPatterns;         // 1500 x 30, each ended by -1
  std::vector<Transition> transitions;             // 4 blocks of 1000 (and an unused fifth)
  std::array<std::array<TransitionGroup, kPatternCount>, kTransitionKinds> transitionGroups{};
  int32_t loaded = 0;

  // L(k), clamped into -1..999.
  int LastIndex(int kind_index) const;
  // Pattern p (0..1499) from its start; an empty list for a number outside 0..1499.
  const int32_t* Pattern(int32_t p) const;

  void BuildTransitionGroups();
};

// Builds the byte image of an .mld file (reserved blocks zero).
std::vector<uint8_t> EncodeCompositionDb(const CompositionDb& db);
// Reads an .mld image as far as it goes (the tables past its end keep their contents), clamps
// the last-record indices and builds the transition groups.  From bytes in memory, or from a
// reader over the file, which reads the tables straight into their storage.
void DecodeCompositionDb(std::span<const uint8_t> bytes, CompositionDb& db);
void DecodeCompositionDb(FieldReader& in, CompositionDb& db);

class CompositionDbLoader {
 public:
  explicit CompositionDbLoader(std::string fileName) : fileName_(std::move(fileName)) {}
  // Loads into db; on failure shows "ファイルを開けません[name]" and leaves db unchanged (a file
  // far larger than any .mld file gets TooLargeMessage instead).  The path is resolved against
  // dir; the message shows the name as given.
  bool Load(CompositionDb& db, Platform& platform, const std::string& dir = ".") const;

 private:
  std::string fileName_;
};

// The path of a file named relative to a working directory (an absolute name stays as it is).
std::string ResolvePath(const std::string& dir, const std::string& name);

}  // namespace vema
