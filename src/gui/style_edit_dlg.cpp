#include "gui/style_edit_dlg.h"

#include <wx/button.h>
#include <wx/notebook.h>
#include <wx/panel.h>
#include <wx/settings.h>
#include <wx/spinbutt.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/xrc/xmlres.h>

#include "app/session.h"
#include "gui/view_sync.h"

using namespace vema::editors_gui;
namespace ids = vema::style_edit_ids;

CStyleEditDlg::CStyleEditDlg(wxWindow* parent, vema::Session& session) : model_(session.Editors()) {
  wxXmlResource::Get()->LoadDialog(this, parent, "CStyleEditDlg");
  tabs_ = Control<wxNotebook>(*this, ids::kTabs);
  sourceRule_ = Control<wxTextCtrl>(*this, ids::kSourceRule);
  scroll_ = Control<wxSpinButton>(*this, ids::kScroll);
  for (int n = 0; n < vema::kRuleCount; ++n) {
    const size_t i = static_cast<size_t>(n);
    onBeat_[i] = Control<wxTextCtrl>(*this, ids::kOnBeatFirst + n);
    offBeat_[i] = Control<wxTextCtrl>(*this, ids::kOffBeat[i]);
    onCaption_[i] = Control<wxTextCtrl>(*this, ids::kOnCaptionFirst + n);
    offCaption_[i] = Control<wxTextCtrl>(*this, ids::kOffCaptionFirst + n);
    onBeat_[i]->Bind(wxEVT_TEXT, [this, n](wxCommandEvent& event) {
      model_.EditOnBeat(n, ToUtf8(event.GetString()));
      SyncSums();
    });
    offBeat_[i]->Bind(wxEVT_TEXT, [this, n](wxCommandEvent& event) {
      model_.EditOffBeat(n, ToUtf8(event.GetString()));
      SyncSums();
    });
  }
  for (int k = 0; k < vema::StyleEditor::kSettingsShown; ++k) {
    setting_[static_cast<size_t>(k)] = Control<wxTextCtrl>(*this, ids::kSettingFirst + k);
    setting_[static_cast<size_t>(k)]->Bind(wxEVT_TEXT, [this, k](wxCommandEvent& event) {
      model_.EditSetting(k, ToUtf8(event.GetString()));
    });
  }
  onSum_ = XRCCTRL(*this, "sum_on", wxStaticText);
  offSum_ = XRCCTRL(*this, "sum_off", wxStaticText);

  for (const std::string& tab : model_.tabs) {
    tabs_->AddPage(new wxPanel(tabs_, wxID_ANY, wxDefaultPosition, wxSize(1, 1)), U8(tab));
  }
  tabs_->ChangeSelection(0);
  tabs_->Bind(wxEVT_NOTEBOOK_PAGE_CHANGED, [this](wxBookCtrlEvent& event) {
    if (event.GetEventObject() != tabs_) return;
    model_.SelectTab(event.GetSelection());
    Sync();
  });

  // The arrows step the source rule.  The control takes the step itself (its range is that of
  // the rule); vetoing it would set the value back, which GTK reports as another step.
  scroll_->SetRange(0, vema::kRuleCount - 1);
  scroll_->Bind(wxEVT_SPIN_DOWN, [this](wxSpinEvent&) {
    model_.Scroll(vema::ScrollStep::kLineLeft);
    Sync();
  });
  scroll_->Bind(wxEVT_SPIN_UP, [this](wxSpinEvent&) {
    model_.Scroll(vema::ScrollStep::kLineRight);
    Sync();
  });

  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
    if (const auto failing = model_.PressApply()) {
      if (wxTextCtrl* field = FieldOf(*failing)) {
        field->SetFocus();
        field->SelectAll();
      }
      return;
    }
    EndModal(ids::kApply);
  }, ids::kApply);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { EndModal(ids::kCancel); }, ids::kCancel);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
    model_.PressSave();
    Sync();
  }, ids::kSave);
  SetEscapeId(ids::kCancel);
  SetAffirmativeId(ids::kApply);

  Sync();
  Fit();
}

wxTextCtrl* CStyleEditDlg::FieldOf(const vema::StyleField& field) {
  const size_t i = static_cast<size_t>(field.index);
  switch (field.column) {
    case vema::StyleField::Column::kOnBeat: return i < onBeat_.size() ? onBeat_[i] : nullptr;
    case vema::StyleField::Column::kOffBeat: return i < offBeat_.size() ? offBeat_[i] : nullptr;
    case vema::StyleField::Column::kSetting: return i < setting_.size() ? setting_[i] : nullptr;
  }
  return nullptr;
}

void CStyleEditDlg::Sync() {
  if (tabs_->GetSelection() != model_.currentClass) tabs_->ChangeSelection(
      static_cast<size_t>(model_.currentClass));
  SyncText(sourceRule_, model_.sourceRuleField);
  if (scroll_->GetValue() != model_.sourceRule) scroll_->SetValue(model_.sourceRule);
  for (size_t i = 0; i < onBeat_.size(); ++i) {
    SyncText(onBeat_[i], model_.onBeat[i]);
    SyncText(offBeat_[i], model_.offBeat[i]);
    SyncText(onCaption_[i], model_.onCaption[i]);
    SyncText(offCaption_[i], model_.offCaption[i]);
  }
  for (size_t k = 0; k < setting_.size(); ++k) SyncText(setting_[k], model_.setting[k]);
  SyncSums();
}

void CStyleEditDlg::SyncSums() {
  const std::pair<wxStaticText*, int64_t> sums[] = {{onSum_, model_.OnBeatSum()},
                                                    {offSum_, model_.OffBeatSum()}};
  for (const auto& [label, sum] : sums) {
    if (label == nullptr) continue;
    label->SetLabel(U8(vema::StyleEditor::SumText(sum)));
    label->SetForegroundColour(vema::StyleEditor::SumMarked(sum)
                                   ? *wxRED
                                   : wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOWTEXT));
  }
  Layout();
}
