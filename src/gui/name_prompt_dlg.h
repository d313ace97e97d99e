// NamePrompt: the one-line input dialog (template "NamePrompt").
#pragma once

#include <optional>
#include <string>

#include <wx/dialog.h>
#include <wx/textctrl.h>

class NamePrompt : public wxDialog {
 public:
  enum : int { kIdField = 1001, kIdOk = 1, kIdCancel = 2 };

  explicit NamePrompt(wxWindow* parent);

  // Runs the dialog modally: the whole field text on "OK", nullopt on "ｷｬﾝｾﾙ" or Escape.
  std::optional<std::string> Run();

 private:
  void OnOk(wxCommandEvent& event);
  void OnCancel(wxCommandEvent& event);
  void OnInitDialog(wxInitDialogEvent& event);

  wxTextCtrl* field_ = nullptr;
  std::string text_;
  wxDECLARE_EVENT_TABLE();
};
