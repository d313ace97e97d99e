// The custom form dialog window: stored forms listed by name, loaded, added and overwritten.
#pragma once

#include <wx/dialog.h>

#include "editors/custom_form_dialog.h"

namespace vema {
struct Session;
}

class wxListBox;
class wxButton;

class CCustomFormDlg : public wxDialog {
 public:
  CCustomFormDlg(wxWindow* parent, vema::Session& session, vema::CustomFormMode mode);

  // Shows it modally; the dialog's state is set up anew for each showing.
  int ShowModal() override;

  const vema::CustomFormDialog& model() const { return model_; }

 private:
  void Sync();

  vema::CustomFormDialog model_;
  wxListBox* list_ = nullptr;
  wxButton* load_ = nullptr;
  wxButton* add_ = nullptr;
  wxButton* overwrite_ = nullptr;
};
