// The composition style window: mirrors vema::StyleSelect and opens the style editor.
#include <array>

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/statbox.h>
#include <wx/textctrl.h>
#include <wx/xrc/xmlres.h>

#include "gui/best_of_config.h"
#include "app/session.h"
#include "gui/editor_windows.h"
#include "gui/style_edit_dlg.h"
#include "gui/view_sync.h"
#include "editors/style_select.h"

using namespace vema::editors_gui;
namespace ids = vema::style_select_ids;

struct CStyleSelectDlg::View {
  View(CStyleSelectDlg& d, vema::Session& s, int* flag)
      : dlg(d), session(s), model(s.Editors()), shownFlag(flag) {}

  void Sync() {
    for (size_t k = 0; k < names.size(); ++k) {
      if (ToUtf8(names[k]->GetValue()) != model.nameField[k].text) {
        names[k]->ChangeValue(U8(model.nameField[k].text));
      }
    }
  }
  void Close() {
    if (shownFlag != nullptr) *shownFlag = 0;
    dlg.Hide();
  }
  void OpenStyleEditor() {
    CStyleEditDlg editor(&dlg, session);
    editor.ShowModal();
  }

  CStyleSelectDlg& dlg;
  vema::Session& session;
  vema::StyleSelect model;
  int* shownFlag;
  std::array<wxTextCtrl*, vema::kDbKinds> names{};
};

CStyleSelectDlg::CStyleSelectDlg(wxWindow* parent, vema::Session& session, int* shownFlag)
    : view_(std::make_unique<View>(*this, session, shownFlag)) {
  wxXmlResource::Get()->LoadDialog(this, parent, "CStyleSelectDlg");
  for (int k = 0; k < vema::kDbKinds; ++k) {
    const size_t i = static_cast<size_t>(k);
    view_->names[i] = Control<wxTextCtrl>(*this, ids::kNameFirst + k);
    wxButton* choose = Control<wxButton>(*this, ids::kChooseFirst + k);
    choose->Bind(wxEVT_BUTTON, [this, k](wxCommandEvent&) {
      view_->model.ChooseDbFile(k);
      view_->Sync();
    });
    if (!vema::kDbKindInfo[i].shown) {
      // The frame of a hidden row goes with it.
      choose->Hide();
      view_->names[i]->Hide();
      if (auto* box = dynamic_cast<wxStaticBoxSizer*>(choose->GetContainingSizer())) {
        box->GetStaticBox()->Hide();
        if (wxSizer* outer = GetSizer()) outer->Hide(box);
      }
    }
  }
  wxSpinCtrl* bestOf = Control<wxSpinCtrl>(*this, ids::kBestOf);
  bestOf->SetRange(vema::kMinBestOf, vema::kMaxBestOf);
  bestOf->SetValue(view_->model.BestOf());
  bestOf->Bind(wxEVT_SPINCTRL, [this, bestOf](wxSpinEvent&) {
    bestOf->SetValue(view_->model.SetBestOf(bestOf->GetValue()));
    vema::gui::StoreBestOf(view_->model.BestOf());
  });
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { view_->OpenStyleEditor(); }, ids::kEditStyle);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { view_->Close(); }, ids::kClose);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { view_->Close(); }, ids::kCancel);
  Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& event) {
    if (event.CanVeto()) {
      event.Veto();
      view_->Close();
    } else {
      event.Skip();
    }
  });
  SetEscapeId(ids::kCancel);
  SetAffirmativeId(ids::kClose);
  view_->Sync();
  Layout();
  Fit();
}

CStyleSelectDlg::~CStyleSelectDlg() = default;
