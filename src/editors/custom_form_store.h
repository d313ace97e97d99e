// The store of up to 200 named forms, kept in "default.db".
#pragma once

#include <cstdint>
#include <span>
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

// What start-up found in "default.db".
enum class CustomFormFileState {
  kEmpty,       // missing (then created empty) or empty: no stored forms, no message
  kRead,        // read whole
  kUnreadable,  // there, but no regular file that can be read: nothing read, one message
  kDamaged,     // cut short or with an impossible count: the forms read whole are kept, one message
};

// The message for a store that could not be read whole.
inline constexpr const char* kDamagedCustomFormFileMessage =
    "ファイルが壊れています[default.db]\n読み込めたカスタムフォームだけを使います。";

struct CustomFormTable {
  CustomFormTable() : names(kMaxCustomForms), forms(kMaxCustomForms) {}

  int32_t count = 0;
  std::vector<std::string> names;  // UTF-8; stored as at most 255 CP932 bytes
  std::vector<SongForm> forms;
  CustomFormFileState fileState = CustomFormFileState::kEmpty;

  // count clamped into 0..200.
  int Count() const;
};

// The whole file image.
std::vector<uint8_t> EncodeCustomForms(const CustomFormTable& table);
// Reads as far as the bytes go; entries past the end keep their previous contents.
void DecodeCustomForms(std::span<const uint8_t> bytes, CustomFormTable& table);

// Fills the table from a file image.  An image shorter than the whole layout, or whose count is
// outside 0..200, is damaged: its count is cut to the forms it holds whole.
CustomFormFileState DecodeCustomFormFile(std::span<const uint8_t> bytes, CustomFormTable& table);

// Start-up: fills the table from "default.db" (creating an empty file when it is missing, with
// a message when it is there but cannot be read or is damaged), records what it found in
// fileState and makes stored form 0 the current form; when form 0 cannot be read whole the
// current form is the blank form.
void ReadCustomFormFile(const EditorContext& context);

// Rewrites "default.db" whole (through its links), locking the working folder while it writes.
// Messages: "File could not created! " when it cannot be written, "File not Created! " when it
// has vanished (an empty store is then left for the next write).  True when written.
bool WriteCustomFormFile(const EditorContext& context);

}  // namespace vema

namespace vema {

// Copies stored form i into the current form and shows "カスタムフォーム読み込み完了".
// Does nothing for an index outside 0..count-1.
bool LoadCustomForm(const EditorContext& context, int index);

}  // namespace vema
