#include "editors/custom_form_store.h"

#include <algorithm>

#include "song/platform.h"
#include "song/binary_io.h"
#include "song/file_io.h"
#include "song/text.h"

namespace vema {

int CustomFormTable::Count() const { return std::clamp(count, 0, kMaxCustomForms); }

std::vector<uint8_t> EncodeCustomForms(const CustomFormTable& table) {
  FieldWriter out;
  out.Int32(table.count);
  for (const std::string& name : table.names) {
    std::string bytes = Utf8ToCp932(name, kNameBytes - 1);
    bytes.resize(kNameBytes, '\0');
    out.Chars(bytes);
  }
  for (const SongForm& form : table.forms) EncodeForm(form, out);
  return out.bytes();
}

void DecodeCustomForms(std::span<const uint8_t> bytes, CustomFormTable& table) {
  FieldReader in(bytes);
  in.Int32(table.count);
  for (std::string& name : table.names) {
    const size_t start = in.offset();
    if (start >= bytes.size()) break;
    const size_t available = std::min(kNameBytes, bytes.size() - start);
    const auto* field = reinterpret_cast<const char*>(bytes.data() + start);
    const std::string_view raw(field, available);
    const size_t nul = raw.find('\0');
    if (nul == 0) {
      name.clear();  // most fields of a store are empty
    } else if (nul != std::string_view::npos || available == kNameBytes) {
      name = Cp932ToUtf8(raw.substr(0, nul == std::string_view::npos ? kNameBytes - 1 : nul));
    }
    in.Skip(kNameBytes);
  }
  for (SongForm& form : table.forms) DecodeForm(in, form);
}

CustomFormFileState DecodeCustomFormFile(std::span<const uint8_t> bytes, CustomFormTable& table) {
  if (bytes.empty()) return CustomFormFileState::kEmpty;
  DecodeCustomForms(bytes, table);
  constexpr size_t kRecordsStart = 4 + kNameBytes * kMaxCustomForms;
  const size_t whole = bytes.size() < kRecordsStart
                           ? 0
                           : std::min<size_t>(kMaxCustomForms,
                                              (bytes.size() - kRecordsStart) / kFormRecordBytes);
  const int wholeForms = static_cast<int>(whole);
  if (bytes.size() >= kCustomFormFileBytes && table.count >= 0 && table.count <= kMaxCustomForms) {
    return CustomFormFileState::kRead;
  }
  table.count = std::clamp(table.count, 0, wholeForms);
  return CustomFormFileState::kDamaged;
}

void ReadCustomFormFile(const EditorContext& context) {
  const std::string path = context.PathOf(kCustomFormFile);
  CustomFormTable& table = context.customForms;
  context.form = BlankForm();
  std::optional<std::vector<uint8_t>> bytes;
  switch (KindOf(path)) {
    case FileKind::kMissing:
      // The first start leaves an empty store behind, so that later saves find it.
      CreateEmptyFile(path);
      table.fileState = CustomFormFileState::kEmpty;
      return;
    case FileKind::kRegular:
      if (const auto file = ReadableFile::Open(path);
          file && file->size() > FarLargerThan(kCustomFormFileBytes)) {
        table.fileState = CustomFormFileState::kUnreadable;
        context.platform.ShowMessage(
            TooLargeMessage(kCustomFormFile, file->size(), kCustomFormFileBytes), MessageIcon::kStop);
        return;
      }
      bytes = ReadFileBytes(path, kCustomFormFileBytes);
      break;
    case FileKind::kOther:
      break;
  }
  if (!bytes) {
    table.fileState = CustomFormFileState::kUnreadable;
    context.platform.ShowMessage(std::string("ファイルを開けません[") + kCustomFormFile + "]",
                                 MessageIcon::kStop);
    return;
  }
  table.fileState = DecodeCustomFormFile(*bytes, table);
  if (table.fileState == CustomFormFileState::kDamaged) {
    context.platform.ShowMessage(kDamagedCustomFormFileMessage, MessageIcon::kStop);
  }
  constexpr size_t kFirstFormEnd = 4 + kNameBytes * kMaxCustomForms + kFormRecordBytes;
  if (bytes->size() >= kFirstFormEnd) context.form = table.forms[0];
}

bool WriteCustomFormFile(const EditorContext& context) {
  const std::string path = context.PathOf(kCustomFormFile);
  const char* problem = nullptr;
  {
    // Runs on one folder write one after another; the message waits until the folder is free.
    const FolderLock lock(context.dir, context.platform);
    if (lock.refused()) return false;  // the platform has said why
    if (KindOf(path) == FileKind::kMissing) {
      // Like the start-up, an empty store is left behind, so the next write succeeds.
      problem = CreateEmptyFile(path) ? "File not Created! " : "File could not created! ";
    } else if (!WriteFileAtomically(path, EncodeCustomForms(context.customForms))) {
      problem = "File could not created! ";
    }
  }
  if (problem != nullptr) {
    context.platform.ShowMessage(problem, MessageIcon::kStop);
    return false;
  }
  return true;
}

}  // namespace vema

namespace vema {

bool LoadCustomForm(const EditorContext& context, int index) {
  if (index < 0 || index >= context.customForms.Count()) return false;
  context.form = context.customForms.forms[static_cast<size_t>(index)];
  context.platform.ShowMessage("カスタムフォーム読み込み完了", MessageIcon::kPlain);
  return true;
}

}  // namespace vema
