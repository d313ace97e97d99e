// The store of up to 200 named forms, kept in "default.db".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "editors/editor_context.h"
#include "song/form.h"

namespace vema {

class Platform;

inline constexpr int kMaxCustomForms = 200;
inline constexpr size_t kNameBytes = 256;  // 255 CP932 bytes and a NUL
inline constexpr size_t kCustomFormFileBytes = 4 + kNameBytes * kMaxCustomForms +
                                               kFormRecordBytes * kMaxCustomForms;  // 560804
inline constexpr const char* kCustomFormFile = "default.db";

struct CustomFormTable {
  CustomFormTable() : names(kMaxCustomForms), forms(kMaxCustomForms) {}

  int32_t count = 0;
  std::vector<std::string> names;  // UTF-8; stored as at most 255 CP932 bytes
  std::vector<SongForm> forms;

  // count clamped into 0..200.
  int Count() const;
};

// The whole file image.
std::vector<uint8_t> EncodeCustomForms(const CustomFormTable& table);
// Reads as far as the bytes go; entries past the end keep their previous contents.
void DecodeCustomForms(std::span<const uint8_t> bytes, CustomFormTable& table);

// Start-up: fills the table from "default.db" (creating an empty file when it is missing) and
// makes stored form 0 the current form; when form 0 cannot be read whole the current form is
// the blank form.
void ReadCustomFormFile(const EditorContext& context);

// Rewrites "default.db" whole.  Messages: "File could not created! " when it cannot be opened
// or written, "File not Created! " when it has vanished.  True when written.
bool WriteCustomFormFile(const EditorContext& context);

}  // namespace vema

namespace vema {

// Copies stored form i into the current form and shows "カスタムフォーム読み込み完了".
// Does nothing for an index outside 0..count-1.
bool LoadCustomForm(const EditorContext& context, int index);

}  // namespace vema
