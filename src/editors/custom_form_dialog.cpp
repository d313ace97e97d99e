#include "editors/custom_form_dialog.h"

#include <cstdio>

#include "editors/custom_form_store.h"
#include "song/text.h"

namespace vema {

std::string DefaultCustomFormName(int index) {
  char number[16];
  std::snprintf(number, sizeof number, "%3d", index);
  return std::string("カスタムフォームＮｏ") + number;
}

std::optional<std::string> AskName(const EditorContext& context) {
  const std::optional<std::string> answer = context.platform.PromptLine();
  if (!answer) return std::nullopt;
  context.inputText = CutUtf8ToCp932Bytes(FirstLine(*answer), kInputTextBytes);
  return context.inputText;
}

CustomFormDialog::CustomFormDialog(const EditorContext& context, CustomFormMode m)
    : mode(m), context_(context) {}

void CustomFormDialog::Show() {
  const bool loading = mode == CustomFormMode::kLoad;
  title = loading ? "カスタムフォームの読み込み" : "カスタムフォームの保存";
  add.enabled = !loading;
  loadAllowed_ = loading;
  overwriteAllowed_ = !loading && context_.customForms.Count() > 0;
  FillCustomFormList();
}

void CustomFormDialog::FillCustomFormList() {
  list.items.clear();
  const CustomFormTable& table = context_.customForms;
  for (int i = 0; i < table.Count(); ++i) list.items.push_back(table.names[static_cast<size_t>(i)]);
  SelectEntry(-1);
}

void CustomFormDialog::SelectEntry(int position) {
  list.selection = position >= 0 && position < static_cast<int>(list.items.size()) ? position : -1;
  // Both act on the selected entry: without one they are disabled.
  load.enabled = loadAllowed_ && list.selection >= 0;
  overwrite.enabled = overwriteAllowed_ && list.selection >= 0;
}

void CustomFormDialog::PressLoad() {
  if (load.enabled) LoadCustomForm(list.selection);
}

void CustomFormDialog::PressAdd() {
  if (add.enabled) AddCustomForm();
}

void CustomFormDialog::PressOverwrite() {
  if (overwrite.enabled) OverwriteCustomForm(list.selection);
}

void CustomFormDialog::DoubleClick(int position) {
  SelectEntry(position);
  if (list.selection < 0) return;
  if (mode == CustomFormMode::kLoad) {
    LoadCustomForm(list.selection);
  } else {
    OverwriteCustomForm(list.selection);
  }
}

bool CustomFormDialog::LoadCustomForm(int index) {
  // With no entry selected nothing happens.
  return vema::LoadCustomForm(context_, index);
}

bool CustomFormDialog::AddCustomForm() {
  if (context_.customForms.Count() >= kMaxCustomForms) {
    context_.platform.ShowMessage(kCustomFormsFullMessage, MessageIcon::kStop);
    return false;
  }
  return StoreCurrentForm(context_.customForms.Count(), true);
}

bool CustomFormDialog::OverwriteCustomForm(int index) {
  if (index < 0 || index >= context_.customForms.Count()) return false;
  return StoreCurrentForm(index, false);
}

bool CustomFormDialog::StoreCurrentForm(int index, bool append) {
  const std::optional<std::string> name = AskName(context_);
  if (!name) return false;
  CustomFormTable& table = context_.customForms;
  const size_t i = static_cast<size_t>(index);
  const int32_t countBefore = table.count;
  const std::string nameBefore = table.names[i];
  const SongForm formBefore = table.forms[i];
  if (append) table.count = table.Count() + 1;
  table.forms[i] = context_.form;
  table.names[i] = name->empty() ? DefaultCustomFormName(index) : *name;
  const bool written = WriteCustomFormFile(context_);
  if (!written) {
    // The store reported its failure; the table and the list keep what the file holds.
    table.count = countBefore;
    table.names[i] = nameBefore;
    table.forms[i] = formBefore;
  }
  FillCustomFormList();
  if (written) context_.platform.ShowMessage("カスタムフォーム保存完了", MessageIcon::kPlain);
  return written;
}

}  // namespace vema
