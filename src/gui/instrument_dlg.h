// CInstrumentDlg: the modeless instrument window (template "CInstrumentDlg").
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include <wx/combobox.h>
#include <wx/choice.h>
#include <wx/dialog.h>
#include <wx/listctrl.h>
#include <wx/notebook.h>

#include "accomp/instrument_settings.h"

namespace vema {
struct Session;
class SongPlayer;
}

class CInstrumentDlg : public wxDialog {
 public:
  enum : int {
    kIdList = 1153,
    kIdTabs = 1154,
    kIdClose = 1,
    kIdCancel = 2,
    kIdApply = 1015,
    kIdOutput = 1161,
    kIdMelodyOctave = 1160
  };

  // Created hidden; shownFlag is the main window's flag for this window.
  CInstrumentDlg(wxWindow* parent, vema::Session& session, int* shownFlag);
  // The player (made at its first use) whose output the window chooses: the built-in
  // synthesizer or a MIDI output port.
  void SetPlayer(std::function<vema::SongPlayer*()> player) { player_ = std::move(player); }

 private:
  void OnShow(wxShowEvent& event);
  void OnListSelected(wxListEvent& event);
  void OnTabChanged(wxBookCtrlEvent& event);
  void OnApply(wxCommandEvent& event);
  void OnMelodyOctave(wxCommandEvent& event);
  void OnCloseButton(wxCommandEvent& event);
  void OnCancelButton(wxCommandEvent& event);
  void OnCloseWindow(wxCloseEvent& event);

  void FillList();
  int CurrentSelection() const;
  void SelectInList(int position);
  void MoveListToPage(int page);
  // The output list, asked of the system afresh.
  void FillOutputs();
  void OnOutputChosen(wxCommandEvent& event);

  vema::InstrumentSettings settings_;
  int32_t& melodyOctave_;  // the session's melody octave setting
  wxChoice* octave_ = nullptr;
  wxNotebook* tabs_ = nullptr;
  std::array<wxWindow*, 3> pages_{};
  wxListCtrl* list_ = nullptr;
  wxComboBox* outputs_ = nullptr;
  std::vector<std::string> outputPorts_;  // what each entry of outputs_ chooses
  std::function<vema::SongPlayer*()> player_;
  bool ready_ = false;
  bool filling_ = false;
  wxDECLARE_EVENT_TABLE();
};
