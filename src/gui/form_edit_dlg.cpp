// The form editor window: mirrors vema::FormEditor into its controls and forwards changes.
#include <array>

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/radiobut.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/xrc/xmlres.h>

#include "app/session.h"
#include "editors/form_editor.h"
#include "gui/custom_form_dlg.h"
#include "gui/editor_windows.h"
#include "gui/period_tabs.h"
#include "gui/view_sync.h"

using namespace vema::editors_gui;
namespace ids = vema::form_ids;

struct CFormEditDlg::View {
  static constexpr size_t kColumns = vema::FormEditor::kColumns;

  View(CFormEditDlg& d, vema::Session& s, int* flag)
      : dlg(d), session(s), model(s.Editors()), shownFlag(flag) {}

  void Find();
  // Makes each chord field wide enough for the longest name; true when one had to grow.
  bool WidenChordFields();
  void BindEvents();
  void Sync();
  void SyncTabs();
  void Close();
  void OpenCustomForms(vema::CustomFormMode mode);
  // Runs a change of the model and mirrors it, unless the view itself is writing.
  template <typename F>
  void Change(F&& change) {
    if (syncing) return;
    change();
    Sync();
  }

  CFormEditDlg& dlg;
  vema::Session& session;
  vema::FormEditor model;
  int* shownFlag;
  bool syncing = false;

  std::array<wxRadioButton*, 12> periodCount{};
  PeriodTabBar* tabs = nullptr;
  wxStaticText* periodLabel = nullptr;
  wxRadioButton* copyPeriod = nullptr;
  wxRadioButton* newPeriod = nullptr;
  wxStaticText* copySourceLabel = nullptr;
  wxChoice* copySource = nullptr;
  std::array<wxChoice*, kColumns> melody{};
  std::array<wxChoice*, kColumns> motif{};
  std::array<wxChoice*, kColumns> noteLength{};
  std::array<wxChoice*, kColumns> key{};
  std::array<wxTextCtrl*, kColumns> chord{};
};

void CFormEditDlg::View::Find() {
  for (size_t n = 0; n < periodCount.size(); ++n) {
    periodCount[n] = Control<wxRadioButton>(dlg, ids::kPeriodCountFirst + static_cast<int>(n));
  }
  tabs = Control<PeriodTabBar>(dlg, ids::kPeriodTabs);
  periodLabel = Control<wxStaticText>(dlg, ids::kPeriodLabel);
  copyPeriod = Control<wxRadioButton>(dlg, ids::kCopyPeriod);
  newPeriod = Control<wxRadioButton>(dlg, ids::kNewPeriod);
  copySourceLabel = Control<wxStaticText>(dlg, ids::kCopySourceLabel);
  copySource = Control<wxChoice>(dlg, ids::kCopySource);
  for (size_t c = 0; c < kColumns; ++c) {
    const int column = static_cast<int>(c);
    melody[c] = Control<wxChoice>(dlg, ids::kMelodyFirst + column);
    motif[c] = Control<wxChoice>(dlg, ids::kMotifFirst + column);
    noteLength[c] = Control<wxChoice>(dlg, ids::kNoteLengthFirst + column);
    key[c] = Control<wxChoice>(dlg, ids::kKeyFirst + column);
    chord[c] = Control<wxTextCtrl>(dlg, ids::kChordFirst + column);
  }
}

bool CFormEditDlg::View::WidenChordFields() {
  // Room for a chord name of the nine characters it may have, in whatever font and style the
  // desktop gives the field (known once it is on the screen).
  bool widened = false;
  for (wxTextCtrl* field : chord) {
    const int wide = field->GetSizeFromText(kWidestChord).x;
    if (field->GetMinSize().x < wide) {
      field->SetMinSize(wxSize(wide, -1));
      widened = true;
    }
  }
  return widened;
}

void CFormEditDlg::View::BindEvents() {
  for (size_t n = 0; n < periodCount.size(); ++n) {
    periodCount[n]->Bind(wxEVT_RADIOBUTTON, [this, n](wxCommandEvent&) {
      Change([&] { model.SelectPeriodCount(static_cast<int>(n) + 1); });
    });
  }
  tabs->OnSelect([this](int tab) { Change([&] { model.SelectTab(tab); }); });
  copyPeriod->Bind(wxEVT_RADIOBUTTON,
                   [this](wxCommandEvent&) { Change([&] { model.PressCopyPeriod(); }); });
  newPeriod->Bind(wxEVT_RADIOBUTTON,
                  [this](wxCommandEvent&) { Change([&] { model.PressNewPeriod(); }); });
  copySource->Bind(wxEVT_CHOICE, [this](wxCommandEvent& event) {
    Change([&] { model.SelectCopySource(event.GetSelection()); });
  });
  // The 40 bar controls share one handler per row, with the column as index.
  for (size_t c = 0; c < kColumns; ++c) {
    const int column = static_cast<int>(c);
    melody[c]->Bind(wxEVT_CHOICE, [this, column](wxCommandEvent& event) {
      Change([&] { model.OnMelodyChanged(column, event.GetSelection()); });
    });
    motif[c]->Bind(wxEVT_CHOICE, [this, column](wxCommandEvent& event) {
      Change([&] { model.OnMotifChanged(column, event.GetSelection()); });
    });
    noteLength[c]->Bind(wxEVT_CHOICE, [this, column](wxCommandEvent& event) {
      Change([&] { model.OnNoteLengthChanged(column, event.GetSelection()); });
    });
    key[c]->Bind(wxEVT_CHOICE, [this, column](wxCommandEvent& event) {
      Change([&] { model.OnKeyChanged(column, event.GetSelection()); });
    });
    chord[c]->Bind(wxEVT_TEXT, [this, column](wxCommandEvent& event) {
      Change([&] { model.OnChordChanged(column, ToUtf8(event.GetString())); });
    });
  }
  dlg.Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OpenCustomForms(vema::CustomFormMode::kSave); },
           ids::kSaveData);
  dlg.Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OpenCustomForms(vema::CustomFormMode::kLoad); },
           ids::kLoadData);
  dlg.Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Close(); }, ids::kClose);
  dlg.Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& event) {
    if (event.CanVeto()) {
      event.Veto();
      Close();
    } else {
      event.Skip();
    }
  });
  dlg.SetEscapeId(ids::kClose);
  dlg.SetAffirmativeId(ids::kClose);
}

void CFormEditDlg::View::Close() {
  if (shownFlag != nullptr) *shownFlag = 0;
  dlg.Hide();
}

void CFormEditDlg::View::OpenCustomForms(vema::CustomFormMode mode) {
  {
    CCustomFormDlg custom(&dlg, session, mode);
    custom.ShowModal();
  }
  if (mode == vema::CustomFormMode::kSave) {
    model.AfterCustomFormSave();
  } else {
    model.AfterCustomFormLoad();
  }
  Sync();
}

void CFormEditDlg::View::SyncTabs() { tabs->SetTabs(model.tabs, model.currentTab); }

void CFormEditDlg::View::Sync() {
  syncing = true;
  model.refreshing = 1;  // any event raised by the writes below is not user input
  for (size_t n = 0; n < periodCount.size(); ++n) {
    if (model.periodCount[n].checked && !periodCount[n]->GetValue()) periodCount[n]->SetValue(true);
  }
  SyncTabs();
  SyncLabel(periodLabel, model.periodLabel);
  copyPeriod->Enable(model.copyPeriod.enabled);
  if (model.copyPeriod.checked) copyPeriod->SetValue(true);
  if (model.newPeriod.checked) newPeriod->SetValue(true);
  SyncLabel(copySourceLabel, model.copySourceLabel);
  SyncItems(copySource, model.copySource);
  for (size_t c = 0; c < kColumns; ++c) {
    SyncItems(melody[c], model.melody[c]);
    SyncItems(motif[c], model.motif[c]);
    SyncItems(noteLength[c], model.noteLength[c]);
    SyncItems(key[c], model.key[c]);
    SyncText(chord[c], model.chord[c]);
  }
  model.refreshing = 0;
  syncing = false;
}

CFormEditDlg::CFormEditDlg(wxWindow* parent, vema::Session& session, int* shownFlag)
    : view_(std::make_unique<View>(*this, session, shownFlag)) {
  static const bool registered = [] {
    wxXmlResource::Get()->AddHandler(new PeriodTabBarXmlHandler);
    return true;
  }();
  (void)registered;
  wxXmlResource::Get()->LoadDialog(this, parent, "CFormEditDlg");
  view_->Find();
  view_->model.Initialise();
  view_->Sync();
  view_->BindEvents();
  view_->WidenChordFields();
  Fit();
  Bind(wxEVT_SHOW, [this](wxShowEvent& event) {
    event.Skip();
    if (event.IsShown() && view_->WidenChordFields()) CallAfter([this] { Fit(); });
  });
}

CFormEditDlg::~CFormEditDlg() = default;

void CFormEditDlg::RefreshFromForm() {
  view_->model.AfterCustomFormLoad();
  view_->Sync();
}
