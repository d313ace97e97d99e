// The rules of the custom form dialog: lists the stored forms by name, loads one into the
// current form, and adds or overwrites stored forms from the current form.
#pragma once

#include <optional>
#include <string>

#include "editors/control_state.h"
#include "editors/editor_context.h"

namespace vema {

enum class CustomFormMode { kSave = 0, kLoad = 1 };

namespace custom_form_ids {
inline constexpr int kList = 1340;
inline constexpr int kLoad = 3;       // "読み込み"
inline constexpr int kAdd = 4;        // "新規登録"
inline constexpr int kOverwrite = 5;  // "上書き"
inline constexpr int kClose = 2;      // "閉じる"
}  // namespace custom_form_ids

// Shown when the store already holds 200 forms.
inline constexpr const char* kCustomFormsFullMessage =
    "カスタムフォームは200個まで登録できます。これ以上は登録できません。";

// The default name of stored form i when none is given: "カスタムフォームＮｏ%3d".
std::string DefaultCustomFormName(int index);

// Asks for one line of text through the platform and keeps it as the shared input text
// (first line, at most 255 CP932 bytes).  Cancelling leaves the shared input text as it was
// and returns std::nullopt.
std::optional<std::string> AskName(const EditorContext& context);

class CustomFormDialog {
 public:
  CustomFormDialog(const EditorContext& context, CustomFormMode mode);

  // Each showing of the dialog: title, the buttons' enabled states, the list (nothing selected).
  void Show();
  void FillCustomFormList();

  // What the person does.
  void SelectEntry(int position);
  void PressLoad();       // "読み込み"
  void PressAdd();        // "新規登録"
  void PressOverwrite();  // "上書き"
  void DoubleClick(int position);

  // The actions; each returns whether the store (on disk) or the current form changed.
  bool LoadCustomForm(int index);
  bool AddCustomForm();
  bool OverwriteCustomForm(int index);

  CustomFormMode mode;
  std::string title;
  ListState list;
  ButtonState load;
  ButtonState add;
  ButtonState overwrite;

 private:
  // Stores the current form with a name asked from the person into entry index and writes the
  // store.  Returns false (nothing stored) when the person cancels the name or the write fails.
  bool StoreCurrentForm(int index, bool append);

  // What the mode and the count at the showing allow; a selected entry is needed as well.
  bool loadAllowed_ = false;
  bool overwriteAllowed_ = false;

  EditorContext context_;
};

}  // namespace vema
