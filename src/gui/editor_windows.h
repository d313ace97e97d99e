// The two modeless tool windows of the editors that the main window shows and hides:
// the form editor (FORM) and the composition style window (STYLE).
//
// Each is constructed hidden; the main window calls Show() and sets its flag.  Closing the
// window ("閉じる", "ｷｬﾝｾﾙ" or Escape) sets *shownFlag = 0 and hides it; it is never destroyed
// by its own buttons and keeps its state for the next showing.
#pragma once

#include <memory>

#include <wx/dialog.h>

namespace vema {
struct Session;
}

class CFormEditDlg : public wxDialog {
 public:
  // A chord name of nine characters (the most a bar holds) among the widest: each chord field
  // has room for it.
  static constexpr const char* kWidestChord = "G#mM7onD#";

  CFormEditDlg(wxWindow* parent, vema::Session& session, int* shownFlag);
  ~CFormEditDlg() override;

  // Refreshes every control from the current form (after the form changed elsewhere).
  void RefreshFromForm();

  struct View;

 private:
  std::unique_ptr<View> view_;
};

class CStyleSelectDlg : public wxDialog {
 public:
  CStyleSelectDlg(wxWindow* parent, vema::Session& session, int* shownFlag);
  ~CStyleSelectDlg() override;

  struct View;

 private:
  std::unique_ptr<View> view_;
};
