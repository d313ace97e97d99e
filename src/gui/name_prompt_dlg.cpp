#include "gui/name_prompt_dlg.h"

#include <wx/xrc/xmlres.h>

wxBEGIN_EVENT_TABLE(NamePrompt, wxDialog)
  EVT_BUTTON(NamePrompt::kIdOk, NamePrompt::OnOk)
  EVT_BUTTON(NamePrompt::kIdCancel, NamePrompt::OnCancel)
  EVT_INIT_DIALOG(NamePrompt::OnInitDialog)
wxEND_EVENT_TABLE()

NamePrompt::NamePrompt(wxWindow* parent) {
  wxXmlResource::Get()->LoadDialog(this, parent, "NamePrompt");
  field_ = wxDynamicCast(FindWindow(kIdField), wxTextCtrl);
  SetAffirmativeId(kIdOk);
  SetEscapeId(kIdCancel);
  Fit();
  CentreOnParent();
}

void NamePrompt::OnInitDialog(wxInitDialogEvent& event) {
  event.Skip();
  if (field_) {
    field_->Clear();
    field_->SetFocus();  // typing starts in the field at once
  }
}

std::optional<std::string> NamePrompt::Run() {
  if (ShowModal() != wxID_OK) return std::nullopt;
  return text_;
}

void NamePrompt::OnOk(wxCommandEvent&) {
  if (field_) text_ = std::string(field_->GetValue().utf8_str());
  EndModal(wxID_OK);
}

void NamePrompt::OnCancel(wxCommandEvent&) { EndModal(wxID_CANCEL); }
