#include "gui/instrument_dlg.h"

#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/xrc/xmlres.h>

#include "app/playback.h"
#include "app/session.h"
#include "gui/output_config.h"
#include "gui/best_of_config.h"

wxBEGIN_EVENT_TABLE(CInstrumentDlg, wxDialog)
  EVT_SHOW(CInstrumentDlg::OnShow)
  EVT_LIST_ITEM_SELECTED(CInstrumentDlg::kIdList, CInstrumentDlg::OnListSelected)
  EVT_NOTEBOOK_PAGE_CHANGED(CInstrumentDlg::kIdTabs, CInstrumentDlg::OnTabChanged)
  EVT_BUTTON(CInstrumentDlg::kIdApply, CInstrumentDlg::OnApply)
  EVT_CHOICE(CInstrumentDlg::kIdMelodyOctave, CInstrumentDlg::OnMelodyOctave)
  EVT_BUTTON(CInstrumentDlg::kIdClose, CInstrumentDlg::OnCloseButton)
  EVT_BUTTON(CInstrumentDlg::kIdCancel, CInstrumentDlg::OnCancelButton)
  EVT_CLOSE(CInstrumentDlg::OnCloseWindow)
  EVT_COMBOBOX(CInstrumentDlg::kIdOutput, CInstrumentDlg::OnOutputChosen)
wxEND_EVENT_TABLE()

CInstrumentDlg::CInstrumentDlg(wxWindow* parent, vema::Session& session, int* shownFlag)
    : settings_(session.instrumentPrograms, shownFlag), melodyOctave_(session.melodyOctave) {
  wxXmlResource::Get()->LoadDialog(this, parent, "CInstrumentDlg");
  SetEscapeId(kIdCancel);
  tabs_ = wxDynamicCast(FindWindow(kIdTabs), wxNotebook);
  if (tabs_) {
    for (size_t i = 0; i < pages_.size(); ++i) {
      auto* page = new wxPanel(tabs_);
      page->SetSizer(new wxBoxSizer(wxVERTICAL));
      pages_[i] = page;
      tabs_->AddPage(page, wxString::FromUTF8(vema::kInstrumentTabLabels[i]));
    }
    list_ = new wxListCtrl(pages_[0], kIdList, wxDefaultPosition, wxSize(460, 260),
                           wxLC_LIST | wxLC_SINGLE_SEL | wxBORDER_SUNKEN | wxHSCROLL);
    list_->SetFont(wxFont(wxFontInfo(10).FaceName("IPAGothic")));
    list_->SetColumnWidth(0, 148);
    pages_[0]->GetSizer()->Add(list_, 1, wxEXPAND | wxALL, 4);
    tabs_->SetSelection(0);
  }
  octave_ = wxDynamicCast(FindWindow(kIdMelodyOctave), wxChoice);
  if (octave_) {
    for (const char* label : vema::kMelodyOctaveLabels) octave_->Append(wxString::FromUTF8(label));
    octave_->SetSelection(vema::MelodyOctaveEntry(melodyOctave_));
  }
  // Where PLAY sounds, above the buttons; the list is asked afresh whenever it drops down.
  if (wxSizer* sizer = GetSizer()) {
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(new wxStaticText(this, wxID_ANY, wxString::FromUTF8("演奏の出力")), 0,
             wxALIGN_CENTER_VERTICAL | wxRIGHT, 8);
    outputs_ = new wxComboBox(this, kIdOutput, wxString(), wxDefaultPosition, wxDefaultSize, 0,
                              nullptr, wxCB_READONLY);
    outputs_->Bind(wxEVT_COMBOBOX_DROPDOWN, [this](wxCommandEvent&) { FillOutputs(); });
    row->Add(outputs_, 1, wxALIGN_CENTER_VERTICAL);
    sizer->Insert(sizer->GetItemCount() - 1, row, 0, wxLEFT | wxRIGHT | wxBOTTOM | wxEXPAND, 10);
  }
  Fit();
  ready_ = true;
}

int CInstrumentDlg::CurrentSelection() const {
  if (!list_) return -1;
  return static_cast<int>(list_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED));
}

void CInstrumentDlg::SelectInList(int position) {
  if (!list_ || position < 0 || position >= list_->GetItemCount()) return;
  filling_ = true;
  const long old = CurrentSelection();
  if (old >= 0 && old != position) list_->SetItemState(old, 0, wxLIST_STATE_SELECTED);
  list_->SetItemState(position, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                      wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
  list_->EnsureVisible(position);
  filling_ = false;
}

void CInstrumentDlg::FillList() {
  if (!list_) return;
  filling_ = true;
  list_->DeleteAllItems();
  const auto& names = vema::GmProgramNames();
  for (int i = 0; i < vema::kGmProgramCount; ++i) {
    list_->InsertItem(i, wxString::FromUTF8(names[static_cast<size_t>(i)].c_str()));
  }
  filling_ = false;
}

void CInstrumentDlg::MoveListToPage(int page) {
  if (!list_ || page < 0 || page >= static_cast<int>(pages_.size())) return;
  wxWindow* target = pages_[static_cast<size_t>(page)];
  if (list_->GetParent() == target) return;
  list_->GetParent()->GetSizer()->Detach(list_);
  list_->Reparent(target);
  target->GetSizer()->Add(list_, 1, wxEXPAND | wxALL, 4);
  target->Layout();
}

void CInstrumentDlg::OnShow(wxShowEvent& event) {
  event.Skip();
  if (!event.IsShown()) return;
  FillList();
  SelectInList(settings_.OnShown());
  if (octave_) octave_->SetSelection(vema::MelodyOctaveEntry(melodyOctave_));
  FillOutputs();
}

void CInstrumentDlg::FillOutputs() {
  if (!outputs_) return;
  std::vector<std::string> ports;
  if (vema::SongPlayer* player = player_ ? player_() : nullptr) {
    std::string ignored;
    ports = player->ListOutputs(ignored);
  }
  const vema::OutputList list = vema::MakeOutputList(ports, vema::gui::LoadOutputChoice());
  outputs_->Clear();
  for (const std::string& entry : list.entries) outputs_->Append(wxString::FromUTF8(entry.c_str()));
  outputs_->SetSelection(list.selected);
  outputPorts_ = list.ports;
}

void CInstrumentDlg::OnOutputChosen(wxCommandEvent&) {
  const int chosen = outputs_->GetSelection();
  if (chosen < 0 || chosen >= static_cast<int>(outputPorts_.size())) return;
  const std::string& port = outputPorts_[static_cast<size_t>(chosen)];
  vema::gui::StoreOutputChoice(port);
  if (vema::SongPlayer* player = player_ ? player_() : nullptr) player->SetOutput(port);
}

void CInstrumentDlg::OnListSelected(wxListEvent& event) {
  if (filling_) return;
  settings_.OnSelectionChanged(static_cast<int>(event.GetIndex()));
}

void CInstrumentDlg::OnTabChanged(wxBookCtrlEvent& event) {
  event.Skip();
  if (!ready_) return;
  const int selection = CurrentSelection();
  const int position = settings_.OnTabChanged(event.GetSelection(), selection);
  MoveListToPage(settings_.currentTab());
  SelectInList(position);
}

void CInstrumentDlg::OnApply(wxCommandEvent&) { settings_.OnSelectionChanged(CurrentSelection()); }

// The melody octave takes effect at once, like the instrument, and is kept for the next run.
void CInstrumentDlg::OnMelodyOctave(wxCommandEvent&) {
  if (!octave_) return;
  melodyOctave_ = vema::MelodyOctaveOfEntry(octave_->GetSelection());
  vema::gui::StoreMelodyOctave(melodyOctave_);
}

void CInstrumentDlg::OnCloseButton(wxCommandEvent&) {
  settings_.OnClose(CurrentSelection());
  Hide();
}

void CInstrumentDlg::OnCancelButton(wxCommandEvent&) {
  settings_.OnCancel();
  Hide();
}

void CInstrumentDlg::OnCloseWindow(wxCloseEvent& event) {
  if (!event.CanVeto()) {
    event.Skip();  // the main window is destroying us
    return;
  }
  event.Veto();
  settings_.OnCancel();
  Hide();
}
