#include "editors/custom_form_dialog.h"

#include <cstdio>

#include "app/session.h"
#include "editors/custom_form_store.h"
#include "song/text.h"

namespace vema {

std::string DefaultCustomFormName(int index) {
  char number[16];
  std::snprintf(number, sizeof number, "%3d", index);
  return std::string("カスタムフォームＮｏ") + number;
}

std::optional<std::string> AskName(Session& session) {
  const std::optional<std::string> answer = session.platform().PromptLine();
  if (!answer) return std::nullopt;
  session.inputText = CutUtf8ToCp932Bytes(FirstLine(*answer), kInputTextBytes);
  return session.inputText;
}

CustomFormDialog::CustomFormDialog(Session& session, CustomFormMode m)
    : mode(m), session_(session) {}

void CustomFormDialog::Show() {
  if (mode == CustomFormMode::kLoad) {
    title = "カスタムフォームの読み込み";
    load.enabled = true;
    add.enabled = false;
    overwrite.enabled = false;
  } else {
    title = "カスタムフォームの保存";
    load.enabled = false;
    add.enabled = true;
    overwrite.enabled = session_.customForms.Count() > 0;
  }
  FillCustomFormList();
}

void CustomFormDialog::FillCustomFormList() {
  list.items.clear();
  list.selection = -1;
  const CustomFormTable& table = session_.customForms;
  for (int i = 0; i < table.Count(); ++i) list.items.push_back(table.names[static_cast<size_t>(i)]);
}

void CustomFormDialog::SelectEntry(int position) {
  list.selection = position >= 0 && position < static_cast<int>(list.items.size()) ? position : -1;
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
  return vema::LoadCustomForm(session_, index);
}

bool CustomFormDialog::AddCustomForm() {
  if (session_.customForms.Count() >= kMaxCustomForms) {
    session_.platform().ShowMessage(kCustomFormsFullMessage, MessageIcon::kStop);
    return false;
  }
  return StoreCurrentForm(session_.customForms.Count(), true);
}

bool CustomFormDialog::OverwriteCustomForm(int index) {
  if (index < 0 || index >= session_.customForms.Count()) return false;
  return StoreCurrentForm(index, false);
}

bool CustomFormDialog::StoreCurrentForm(int index, bool append) {
  const std::optional<std::string> name = AskName(session_);
  if (!name) return false;
  CustomFormTable& table = session_.customForms;
  if (append) table.count = table.Count() + 1;
  table.forms[static_cast<size_t>(index)] = session_.form;
  table.names[static_cast<size_t>(index)] = name->empty() ? DefaultCustomFormName(index) : *name;
  const bool written = WriteCustomFormFile(session_);
  FillCustomFormList();
  // The store reports its own failure; success is reported only when the form is on disk.
  if (written) session_.platform().ShowMessage("カスタムフォーム保存完了", MessageIcon::kPlain);
  return true;
}

}  // namespace vema
