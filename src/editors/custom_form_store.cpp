#include "editors/custom_form_store.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "song/platform.h"
#include "song/binary_io.h"
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
    if (nul != std::string_view::npos || available == kNameBytes) {
      name = Cp932ToUtf8(raw.substr(0, nul == std::string_view::npos ? kNameBytes - 1 : nul));
    }
    in.Skip(kNameBytes);
  }
  for (SongForm& form : table.forms) DecodeForm(in, form);
}

namespace {

// Opens the store for reading and writing, creating it when missing, never truncating.
// Returns false when it cannot be opened.
bool OpenStore(const std::string& path, bool& existed) {
  std::error_code error;
  existed = std::filesystem::exists(path, error);
  if (!existed) {
    std::ofstream create(path, std::ios::binary | std::ios::app);
    if (!create) return false;
  }
  std::fstream probe(path, std::ios::binary | std::ios::in | std::ios::out);
  return static_cast<bool>(probe);
}

}  // namespace

void ReadCustomFormFile(const EditorContext& context) {
  const std::string path = context.PathOf(kCustomFormFile);
  bool existed = false;
  const bool opened = OpenStore(path, existed);
  std::optional<std::vector<uint8_t>> bytes;
  if (opened && existed) bytes = ReadFileBytes(path, kCustomFormFileBytes);
  if (!bytes) {
    context.form = BlankForm();
    return;
  }
  DecodeCustomForms(*bytes, context.customForms);
  constexpr size_t kFirstFormEnd = 4 + kNameBytes * kMaxCustomForms + kFormRecordBytes;
  context.form = bytes->size() >= kFirstFormEnd ? context.customForms.forms[0] : BlankForm();
}

bool WriteCustomFormFile(const EditorContext& context) {
  const std::string path = context.PathOf(kCustomFormFile);
  std::error_code error;
  if (!std::filesystem::exists(path, error)) {
    // Like the start-up, the open leaves an empty store behind, so the next write succeeds.
    std::ofstream create(path, std::ios::binary | std::ios::app);
    context.platform.ShowMessage(create ? "File not Created! " : "File could not created! ",
                                 MessageIcon::kStop);
    return false;
  }
  {
    std::fstream probe(path, std::ios::binary | std::ios::in | std::ios::out);
    if (!probe) {
      context.platform.ShowMessage("File could not created! ", MessageIcon::kStop);
      return false;
    }
  }
  if (!WriteFileAtomically(path, EncodeCustomForms(context.customForms))) {
    context.platform.ShowMessage("File could not created! ", MessageIcon::kStop);
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
