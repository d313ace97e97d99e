#include "song/composition_db.h"

#include <algorithm>
#include <filesystem>

#include "song/platform.h"
#include "song/binary_io.h"

namespace vema {

namespace {
const int32_t kEmptyPattern[1] = {-1};
}

int CompositionDb::LastIndex(int kind_index) const {
  return std::clamp(lastTransitionIndex[static_cast<size_t>(kind_index) + 1], -1,
                    kTransitionsPerKind - 1);
}

const int32_t* CompositionDb::Pattern(int32_t p) const {
  if (p < 0 || p >= kPatternCount) return kEmptyPattern;
  return &noteLengthPatterns[static_cast<size_t>(p) * kPatternLength];
}

void CompositionDb::BuildTransitionGroups() {
  for (int k = 0; k < kTransitionKinds; ++k) {
    auto& groups = transitionGroups[static_cast<size_t>(k)];
    const int base = k * kTransitionsPerKind;
    groups.fill(TransitionGroup{base, 0, 0});
    const int last = LastIndex(k);
    if (last < 0) continue;
    size_t current = 0;
    int32_t previous_from = transitions[static_cast<size_t>(base)].from;
    for (int j = 0; j <= last; ++j) {
      const Transition& record = transitions[static_cast<size_t>(base + j)];
      if (record.from != previous_from) {
        ++current;
        groups[current].first = base + j;
      }
      // Weights of a damaged file may overflow; the total wraps (it is informational only).
      groups[current].total = static_cast<int32_t>(static_cast<uint32_t>(groups[current].total) +
                                                   static_cast<uint32_t>(record.weight));
      groups[current].count += 1;
      previous_from = record.from;
    }
  }
}

std::vector<uint8_t> EncodeCompositionDb(const CompositionDb& db) {
  FieldWriter out;
  out.Byte(db.kind);
  out.Zeros(6000);
  out.Int32s(db.lastTransitionIndex);
  out.Zeros(80);
  out.Int32s(db.noteLengthPatterns);
  out.Zeros(180000 + 6000 + 6000);
  for (const Transition& t : db.transitions) {
    out.Int32(t.from);
    out.Int32(t.to);
    out.Int32(t.weight);
  }
  out.Zeros(60000 + 24000);
  return out.bytes();
}

std::string ResolvePath(const std::string& dir, const std::string& name) {
  const std::filesystem::path path(name);
  if (path.is_absolute() || dir.empty() || dir == ".") return name;
  return (std::filesystem::path(dir) / path).string();
}

void DecodeCompositionDb(std::span<const uint8_t> bytes, CompositionDb& db) {
  FieldReader in(bytes);
  DecodeCompositionDb(in, db);
}

void DecodeCompositionDb(FieldReader& in, CompositionDb& db) {
  in.Byte(db.kind);
  in.Skip(6000);
  in.Int32s(db.lastTransitionIndex);
  in.Skip(80);
  in.Int32s(db.noteLengthPatterns);
  in.Skip(180000 + 6000 + 6000);
  // The records as the file has them, {from, to, weight}; a record past the end of a short file
  // keeps its previous values.
  in.Int32Records(std::span(db.transitions));
  for (size_t k = 1; k <= kTransitionKinds; ++k) {
    db.lastTransitionIndex[k] =
        std::clamp(db.lastTransitionIndex[k], -1, kTransitionsPerKind - 1);
  }
  db.BuildTransitionGroups();
}

bool CompositionDbLoader::Load(CompositionDb& db, Platform& platform,
                               const std::string& dir) const {
  const std::optional<ReadableFile> file = ReadableFile::Open(ResolvePath(dir, fileName_));
  if (file && file->size() > FarLargerThan(kMldFileBytes)) {
    platform.ShowMessage(TooLargeMessage(fileName_, file->size(), kMldFileBytes), MessageIcon::kStop);
    return false;
  }
  if (!file) {
    platform.ShowMessage("ファイルを開けません[" + fileName_ + "]", MessageIcon::kStop);
    return false;
  }
  db.loaded = 1;
  FieldReader in(*file);
  DecodeCompositionDb(in, db);
  if (in.failed()) {
    // A read error part-way: the tables read so far stay, as after a short file.
    platform.ShowMessage("ファイルを開けません[" + fileName_ + "]", MessageIcon::kStop);
    return false;
  }
  return true;
}

}  // namespace vema
