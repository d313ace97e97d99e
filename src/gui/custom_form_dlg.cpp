#include "gui/custom_form_dlg.h"

#include <wx/button.h>
#include <wx/listbox.h>
#include <wx/xrc/xmlres.h>

#include "app/session.h"
#include "gui/view_sync.h"

using namespace vema::editors_gui;
namespace ids = vema::custom_form_ids;

CCustomFormDlg::CCustomFormDlg(wxWindow* parent, vema::Session& session,
                               vema::CustomFormMode mode)
    : model_(session.Editors(), mode) {
  wxXmlResource::Get()->LoadDialog(this, parent, "CCustomFormDlg");
  list_ = Control<wxListBox>(*this, ids::kList);
  load_ = Control<wxButton>(*this, ids::kLoad);
  add_ = Control<wxButton>(*this, ids::kAdd);
  overwrite_ = Control<wxButton>(*this, ids::kOverwrite);
  SetEscapeId(ids::kClose);
  SetAffirmativeId(ids::kClose);

  list_->Bind(wxEVT_LISTBOX, [this](wxCommandEvent& event) {
    model_.SelectEntry(event.GetSelection());
    Sync();
  });
  list_->Bind(wxEVT_LISTBOX_DCLICK, [this](wxCommandEvent& event) {
    model_.DoubleClick(event.GetSelection());
    Sync();
  });
  load_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
    model_.SelectEntry(list_->GetSelection());
    model_.PressLoad();
    Sync();
  });
  add_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
    model_.PressAdd();
    Sync();
  });
  overwrite_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
    model_.SelectEntry(list_->GetSelection());
    model_.PressOverwrite();
    Sync();
  });
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { EndModal(ids::kClose); }, ids::kClose);

  model_.Show();
  Sync();
}

int CCustomFormDlg::ShowModal() {
  model_.Show();
  Sync();
  return wxDialog::ShowModal();
}

void CCustomFormDlg::Sync() {
  SetTitle(U8(model_.title));
  SyncItems(list_, model_.list);
  load_->Enable(model_.load.enabled);
  add_->Enable(model_.add.enabled);
  overwrite_->Enable(model_.overwrite.enabled);
}
