// The melody style editor window: percentages of one length class and source rule at a time.
#pragma once

#include <array>

#include <wx/dialog.h>

#include "editors/style_editor.h"

namespace vema {
struct Session;
}

class wxNotebook;
class wxSpinButton;
class wxStaticText;
class wxTextCtrl;

class CStyleEditDlg : public wxDialog {
 public:
  CStyleEditDlg(wxWindow* parent, vema::Session& session);

  const vema::StyleEditor& model() const { return model_; }

 private:
  void Sync();
  void SyncSums();
  wxTextCtrl* FieldOf(const vema::StyleField& field);

  vema::StyleEditor model_;
  wxNotebook* tabs_ = nullptr;
  wxTextCtrl* sourceRule_ = nullptr;
  wxSpinButton* scroll_ = nullptr;
  std::array<wxTextCtrl*, vema::kRuleCount> onBeat_{};
  std::array<wxTextCtrl*, vema::kRuleCount> offBeat_{};
  std::array<wxTextCtrl*, vema::kRuleCount> onCaption_{};
  std::array<wxTextCtrl*, vema::kRuleCount> offCaption_{};
  std::array<wxTextCtrl*, vema::StyleEditor::kSettingsShown> setting_{};
  wxStaticText* onSum_ = nullptr;
  wxStaticText* offSum_ = nullptr;
};
