// CPianoRollDlg: the piano-roll window.  It shows the last song over the whole form (bars,
// chord names, keys, the melody in front of the bass and the chords, the drums as a strip) in
// the whole of the window, scrolls (the bar ruler and the keyboard stay in place) and zooms,
// follows the playback position with a cursor, sounds a clicked note or key and starts PLAY
// where the ruler is clicked.  Bars are chosen by a drag across the ruler and made anew; melody
// notes are chosen (click, Shift+click, a box) and moved by keys or a drag, made rests, and a
// rest given a key by a double-click; every such action is one change of the song.  Layout, hit-testing and view logic come from
// vema::PianoRollLayout; this class draws it and forwards the user's input.
#pragma once

#include <wx/frame.h>
#include <wx/timer.h>

#include <array>
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "app/main_window_logic.h"
#include "app/piano_roll.h"
#include "app/roll_edit.h"

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
    // "この小節を作り直す": bars first..last (0-based) made anew; true when the song changed.
    std::function<bool(int first, int last)> remakeBars;
    // The chosen melody notes (by start tick) moved or made rests: why the song refused it
    // (empty when it took it, or there was nothing to say).
    std::function<std::string(const std::set<int32_t>& ticks, vema::MelodyEditKind kind,
                              int amount)> editNotes;
    // The rest sounding at a tick given a key; why not, as editNotes.
    std::function<std::string(int64_t tick, int key)> giveRestKey;
    // Undo, redo and the history's steps, as in the main window.
    std::function<void(vema::SongKey key)> songKey;
  };

  // shownFlag: the main window's flag for this window, cleared when the user closes it.
  CPianoRollDlg(wxWindow* parent, int* shownFlag, Actions actions);
  ~CPianoRollDlg() override;

  // Shows a song (nullopt: none yet) from its beginning.
  void ShowSong(std::optional<vema::SongScore> score);
  // Shows the song after a change of it: the view, the zoom and the choice stay (notes the new
  // song no longer starts leave the choice).
  void SongChanged(std::optional<vema::SongScore> score);

  // For tests: the layout, the drawing area and the size of the picture drawn last.
  const vema::PianoRollLayout& layout() const { return layout_; }
  wxWindow* DrawingArea() const;
  wxSize DrawnSize() const;
  const vema::RollSelection& selection() const { return chosen_; }
  wxButton* RemakeButton() const { return remake_; }
  std::string StatusText() const;
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
  // The choice changed: the picture, the re-make control and the status line follow.
  void ChoiceChanged();
  void SetStatus(const std::string& text);
  // What the keys, the buttons and the context menu do with the choice.
  void RemakeChosenBars();
  void EditChosenNotes(vema::MelodyEditKind kind, int amount);
  void GiveRestKey(int64_t tick, int key);
  void ShowChoiceMenu(const wxPoint& at);

  vema::PianoRollLayout layout_;
  vema::RollSelection chosen_;
  int* shownFlag_;
  Actions actions_;
  Canvas* canvas_ = nullptr;
  wxStaticText* caption_ = nullptr;
  wxButton* zoomIn_ = nullptr;
  wxButton* zoomOut_ = nullptr;
  wxButton* zoomFit_ = nullptr;
  wxButton* remake_ = nullptr;
  wxStaticText* status_ = nullptr;
  std::array<wxCheckBox*, 4> partBoxes_{};
  wxTimer timer_;
  wxDECLARE_EVENT_TABLE();
};
