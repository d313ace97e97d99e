#include "melody/melody_style_db.h"

#include <cstdint>
#include <cstring>

#include "song/platform.h"
#include "song/binary_io.h"
#include "song/file_io.h"
#include "song/composition_db.h"

namespace vema {

const std::array<std::string_view, kRuleCount> kRuleMeanings = {
    "同方向へ跳躍和声進行", "同方向へ近接和声進行", "同方向へ順次進行",
    "同方向へ跳躍非和声進行", "逆方向へ跳躍和声進行", "逆方向へ近接和声進行",
    "逆方向へ順次進行", "逆方向へ跳躍非和声進行", "同じ音へ進行",
    "前音と前々音の間の音へ進行", "全ての構成音から自由に選択"};

const std::array<std::string_view, kLengthClasses> kLengthClassNames = {
    "４分音符以上", "(付点)８分音符", "３連符", "その他（短い音長）"};

std::string MelodyStyleDb::Encode() const {
  FieldWriter out;
  for (const auto& k : table) {
    for (const auto& row : k) out.Int32s(row);
  }
  out.Int32s(settings);
  return std::string(out.bytes().begin(), out.bytes().end());
}

void MelodyStyleDb::Decode(std::string_view bytes) {
  FieldReader in({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
  Decode(in);
}

void MelodyStyleDb::Decode(FieldReader& in) {
  // The tables are integers in the file's order of class, source and next rule.
  in.Int32Records(std::span(&table, 1));
  in.Int32s(settings);
}

bool MelodyStyleDb::Load(const std::string& path, Platform& platform, const std::string& dir) {
  const std::optional<ReadableFile> file = ReadableFile::Open(ResolvePath(dir, path));
  if (file && file->size() > FarLargerThan(kTonFileBytes)) {
    platform.ShowMessage(TooLargeMessage(path, file->size(), kTonFileBytes), MessageIcon::kStop);
    return false;
  }
  if (!file) {
    platform.ShowMessage("ファイルを開けません[" + path + "]", MessageIcon::kStop);
    return false;
  }
  FieldReader in(*file);
  Decode(in);
  if (in.failed()) {
    platform.ShowMessage("ファイルを開けません[" + path + "]", MessageIcon::kStop);
    return false;
  }
  return true;
}

namespace {

// The style written over the start of the file; an existing longer file keeps its bytes after
// the style.
bool WriteStyleFile(const std::string& target, const std::string& style) {
  std::vector<uint8_t> image;
  switch (KindOf(target)) {
    case FileKind::kOther:
      return false;
    case FileKind::kMissing:
      break;
    case FileKind::kRegular: {
      auto existing = ReadFileBytes(target, SIZE_MAX);
      if (!existing) return false;
      image = std::move(*existing);
      break;
    }
  }
  if (image.size() < style.size()) image.resize(style.size());
  std::memcpy(image.data(), style.data(), style.size());
  return WriteFileAtomically(target, image);
}

}  // namespace

bool MelodyStyleDb::Save(const std::string& path, Platform& platform,
                         const std::string& dir) const {
  bool written = false;
  {
    // Runs on one folder write one after another; the message waits until the folder is free.
    const FolderLock lock(dir, platform);
    if (lock.refused()) return false;  // the platform has said why
    written = WriteStyleFile(ResolvePath(dir, path), Encode());
  }
  if (!written) platform.ShowMessage("File could not created! ", MessageIcon::kStop);
  return written;
}

}  // namespace vema
