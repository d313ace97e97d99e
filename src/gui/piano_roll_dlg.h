// CPianoRollDlg: the piano-roll window.  It shows the last song over the whole form (bars,
// chord names, keys, the melody in front of the bass and the chords, the drums as a strip) in
// the whole of the window, scrolls (the bar ruler and the keyboard stay in place) and zooms,
// follows the playback position with a cursor, sounds a clicked note or key and starts PLAY
// where the ruler is clicked.  Layout, hit-testing and view logic come from
// vema::PianoRollLayout; this class draws it and forwards the user's input.
#pragma once

#include <wx/frame.h>
#include <wx/timer.h>

#include <array>
#include <functional>
#include <optional>

#include "app/piano_roll.h"

class wxStaticText;
class wxButton;
class wxCheckBox;

class CPianoRollDlg : public wxFrame {
 public:
  static constexpr const char* kTitle = "ピアノロール";

  // What the roll asks of the program.
  struct Actions {
    // Where the playing song has got to, -1 while none plays.
    std::function<int()> playingTick;
    // A clicked note or key (RollClick::Kind::kSound).
    std::function<void(const vema::RollClick&)> sound;
    // A click on the ruler: play from this tick (or move there while playing).
    std::function<void(int64_t tick)> seek;
  };

  // shownFlag: the main window's flag for this window, cleared when the user closes it.
  CPianoRollDlg(wxWindow* parent, int* shownFlag, Actions actions);
  ~CPianoRollDlg() override;

  // Shows a song (nullopt: none yet) from its beginning.
  void ShowSong(std::optional<vema::SongScore> score);

  // For tests: the layout, the drawing area and the size of the picture drawn last.
  const vema::PianoRollLayout& layout() const { return layout_; }
  wxWindow* DrawingArea() const;
  wxSize DrawnSize() const;
  wxCheckBox* PartBox(vema::RollPart part) const {
    return partBoxes_[static_cast<size_t>(part)];
  }

 private:
  class Canvas;

  void OnCloseWindow(wxCloseEvent& event);
  void OnCharHook(wxKeyEvent& event);
  void OnShowWindow(wxShowEvent& event);
  void OnTimer(wxTimerEvent& event);

  // Zooms one step (or to the whole song), keeping the tick at the view's x in place.
  enum class ZoomStep { kIn, kOut, kFit };
  void Zoom(ZoomStep step, int viewX);
  void UpdateCaption();

  vema::PianoRollLayout layout_;
  int* shownFlag_;
  Actions actions_;
  Canvas* canvas_ = nullptr;
  wxStaticText* caption_ = nullptr;
  wxButton* zoomIn_ = nullptr;
  wxButton* zoomOut_ = nullptr;
  wxButton* zoomFit_ = nullptr;
  std::array<wxCheckBox*, 4> partBoxes_{};
  wxTimer timer_;
  wxDECLARE_EVENT_TABLE();
};
