// CVemaDlg: the main window (template "CVemaDlg") with its picture buttons, the song title and
// the status line, and the three tool windows it shows and hides.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <wx/bitmap.h>
#include <wx/dialog.h>
#include <wx/font.h>
#include <wx/timer.h>

class wxHtmlHelpController;
class CInstrumentDlg;
class CFormEditDlg;
class CStyleSelectDlg;
class CPianoRollDlg;

namespace vema {
struct Session;
struct TextArea;
class SongPlayer;
}

class CVemaDlg : public wxDialog {
 public:
  explicit CVemaDlg(vema::Session& session);
  ~CVemaDlg() override;

  // Draws a new status line at once (the compose command runs between two paints).
  void DrawStatusNow(const std::string& status);
  // The MIDI file player (made at its first use), for the playback position and WAV files.
  void SetPlayer(std::function<vema::SongPlayer*()> player) { player_ = std::move(player); }

 private:
  void OnPaint(wxPaintEvent& event);
  void OnShow(wxShowEvent& event);
  void OnClose(wxCloseEvent& event);
  void OnCharHook(wxKeyEvent& event);
  void OnPower(wxCommandEvent& event);
  void OnSave(wxCommandEvent& event);
  void OnForm(wxCommandEvent& event);
  void OnStyle(wxCommandEvent& event);
  void OnTone(wxCommandEvent& event);
  void OnPlay(wxCommandEvent& event);
  void OnStop(wxCommandEvent& event);
  void OnHelp(wxCommandEvent& event);
  void OnIcon(wxCommandEvent& event);
  void OnComp(wxCommandEvent& event);
  void OnTitle(wxCommandEvent& event);
  void OnRoll(wxCommandEvent& event);
  // keepView: the same song changed (an edit from the roll): its view and choice stay.
  void ShowSongInRoll(bool keepView = false);
  // The song history: ◀ ▶, the three re-rolls, undo and redo.
  void OnHistoryBack(wxCommandEvent& event);
  void OnHistoryForward(wxCommandEvent& event);
  void OnNewMelody(wxCommandEvent& event);
  void OnNewRhythm(wxCommandEvent& event);
  void OnNewFeel(wxCommandEvent& event);
  // Runs a command that changes the song, then shows the new song (title, history place, roll).
  bool ChangeSong(const std::function<bool()>& command, bool keepView = false);
  // Looks at playback now and then: the playing mark, and what the player has to tell.
  void OnPlaybackTimer(wxTimerEvent& event);
  void LookAtPlayback();

  void DrawText(wxDC& dc, const vema::TextArea& area, const std::string& text,
                const wxColour& background, const wxColour& foreground);
  void DestroyToolWindows();

  vema::Session& session_;
  wxBitmap background_;
  wxFont textFont_;
  std::unique_ptr<wxHtmlHelpController> help_;
  CFormEditDlg* formEditor_ = nullptr;
  CStyleSelectDlg* styleWindow_ = nullptr;
  CInstrumentDlg* instrumentWindow_ = nullptr;
  CPianoRollDlg* pianoRoll_ = nullptr;
  int pianoRollShown_ = 0;
  std::function<vema::SongPlayer*()> player_;
  wxTimer playbackTimer_;
  bool soundingShown_ = false;  // the playing mark is drawn
  int formEditorShown_ = 0;
  int styleWindowShown_ = 0;
  int instrumentWindowShown_ = 0;
  bool placed_ = false;
  bool toolWindowsDestroyed_ = false;
  bool busy_ = false;
  wxDECLARE_EVENT_TABLE();
};
