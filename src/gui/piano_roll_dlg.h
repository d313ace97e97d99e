// CPianoRollDlg: the piano-roll window.  It shows the last song over the whole form (bars,
// chord names, key changes, the melody in front of the bass and the chords, the drums as a
// strip), scrolls and zooms, and follows the playback position with a cursor.  The layout comes
// from vema::PianoRollLayout; this class only draws it and forwards the user's input.
#pragma once

#include <wx/frame.h>
#include <wx/scrolwin.h>
#include <wx/timer.h>

#include <functional>
#include <optional>

#include "app/piano_roll.h"

class wxStaticText;
class wxButton;

class CPianoRollDlg : public wxFrame {
 public:
  static constexpr const char* kTitle = "ピアノロール";

  // shownFlag: the main window's flag for this window, cleared when the user closes it.
  // playingTick: where the playing song has got to, -1 while none plays.
  CPianoRollDlg(wxWindow* parent, int* shownFlag, std::function<int()> playingTick);
  ~CPianoRollDlg() override;

  // Shows a song (nullopt: none yet) from its beginning.
  void ShowSong(std::optional<vema::SongScore> score);

 private:
  class Canvas;

  void OnCloseWindow(wxCloseEvent& event);
  void OnCharHook(wxKeyEvent& event);
  void OnShowWindow(wxShowEvent& event);
  void OnZoomIn(wxCommandEvent& event);
  void OnZoomOut(wxCommandEvent& event);
  void OnTimer(wxTimerEvent& event);

  // Zooms one step, keeping the tick at the view's x in place.
  void Zoom(bool in, int viewX);
  void UpdateCaption();

  vema::PianoRollLayout layout_;
  int* shownFlag_;
  std::function<int()> playingTick_;
  Canvas* canvas_ = nullptr;
  wxStaticText* caption_ = nullptr;
  wxButton* zoomIn_ = nullptr;
  wxButton* zoomOut_ = nullptr;
  wxTimer timer_;
  int cursorTick_ = -1;
  wxDECLARE_EVENT_TABLE();
};
