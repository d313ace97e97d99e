#include "gui/feel_dlg.h"

#include <wx/xrc/xmlres.h>

wxBEGIN_EVENT_TABLE(CFeelDlg, wxDialog)
  EVT_SHOW(CFeelDlg::OnShow)
  EVT_COMMAND_RANGE(CFeelDlg::kIdMarch, CFeelDlg::kIdRock, wxEVT_RADIOBUTTON, CFeelDlg::OnRadio)
  EVT_BUTTON(CFeelDlg::kIdApply, CFeelDlg::OnApply)
  EVT_CHAR_HOOK(CFeelDlg::OnCharHook)
wxEND_EVENT_TABLE()

CFeelDlg::CFeelDlg(wxWindow* parent) {
  wxXmlResource::Get()->LoadDialog(this, parent, "CFeelDlg");
  for (int i = 0; i < 4; ++i) {
    radios_[static_cast<size_t>(i)] = wxDynamicCast(FindWindow(kIdMarch + i), wxRadioButton);
  }
  SetAffirmativeId(kIdApply);
  // The template's "ｷｬﾝｾﾙ" is hidden, and wx presses no hidden button: Escape is handled here.
  SetEscapeId(wxID_NONE);
  Fit();
  CentreOnScreen();
}

std::optional<int> CFeelDlg::Run() {
  if (ShowModal() != wxID_OK) return std::nullopt;
  return choice_.Confirm();
}

void CFeelDlg::OnShow(wxShowEvent& event) {
  event.Skip();
  if (!event.IsShown()) return;
  choice_.OnShown();  // "マーチ風" at every showing
  for (size_t i = 0; i < radios_.size(); ++i) {
    if (radios_[i]) radios_[i]->SetValue(i == 0);
  }
}

void CFeelDlg::OnRadio(wxCommandEvent& event) { choice_.Select(event.GetId() - kIdMarch); }

void CFeelDlg::OnApply(wxCommandEvent&) {
  for (size_t i = 0; i < radios_.size(); ++i) {
    if (radios_[i] && radios_[i]->GetValue()) choice_.Select(static_cast<int>(i));
  }
  EndModal(wxID_OK);
}

void CFeelDlg::OnCharHook(wxKeyEvent& event) {
  // Escape closes the dialog without a choice, like its close box.
  if (event.GetKeyCode() == WXK_ESCAPE && event.GetModifiers() == wxMOD_NONE) {
    EndModal(kIdCancel);
    return;
  }
  event.Skip();
}
