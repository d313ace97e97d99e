// CFeelDlg: the accompaniment feel dialog (template "CFeelDlg").
#pragma once

#include <array>
#include <optional>

#include <wx/dialog.h>
#include <wx/radiobut.h>

#include "accomp/feel_choice.h"

class CFeelDlg : public wxDialog {
 public:
  enum : int { kIdMarch = 1005, kIdRock = 1008, kIdApply = 1, kIdCancel = 2, kIdListen = 1015 };

  explicit CFeelDlg(wxWindow* parent);

  // Runs the dialog modally: the checked feel 0..3 after "適用", nullopt when closed.
  std::optional<int> Run();

 private:
  void OnShow(wxShowEvent& event);
  void OnRadio(wxCommandEvent& event);
  void OnApply(wxCommandEvent& event);
  void OnCharHook(wxKeyEvent& event);

  vema::FeelChoice choice_;
  std::array<wxRadioButton*, 4> radios_{};
  wxDECLARE_EVENT_TABLE();
};
