// Window tests in the program's own process: the real windows under Xvfb, clicked and typed
// into with the real pointer and keyboard (XTest), with every modal dialog recorded and
// answered.  The harness holds the test programs' main, which restarts itself under xvfb-run
// (each run gets its own virtual screen) and skips (77) without it.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <wx/config.h>
#include <wx/dialog.h>
#include <wx/image.h>
#include <wx/modalhook.h>
#include <wx/timer.h>

#include "app/main_window_logic.h"
#include "app/session.h"
#include "gui/wx_platform.h"
#include "output/song_score.h"
#include "support/test_support.h"

class CVemaDlg;

namespace vema::gui_test {

// Runs the event loop until done() holds or the time is up; returns done().
bool RunUntil(const std::function<bool()>& done, int milliseconds = 8000);
// Lets the windows settle (layout, painting) for a while.
void Settle(int milliseconds = 300);

// The pointer: a click at a point of a window, in its client coordinates (its centre by
// default).
void Click(wxWindow* window, wxPoint at = wxDefaultPosition);
// A double-click at a point of a window.
void DoubleClick(wxWindow* window, wxPoint at);
// A drag with the left button from one point of a window to another, in steps.
void Drag(wxWindow* window, wxPoint from, wxPoint to);
// The keyboard goes to this window's top-level window.
void Focus(wxWindow* window);
void PressKey(int key, int modifiers = wxMOD_NONE);
void Type(const char* ascii);

// A screenshot of the screen as SHOTS/name (png), SHOTS being the program's picture folder.
void Screenshot(const std::string& name);

// A screenshot taken and read back.
wxImage Shot(const std::string& name);
// Pixels of some colours in a part of a picture.
int CountColours(const wxImage& image, const wxRect& area, std::initializer_list<wxColour> colours);

// UTF-8 of a wx text.
std::string Utf8(const wxString& text);

// The files a composition writes (out.mid, out.mml, work.txt) as they are in a folder.
struct OutputFiles {
  std::vector<uint8_t> mid, mml, work;
  bool operator==(const OutputFiles&) const = default;
};
OutputFiles ReadOutputFiles(const testing::TempDir& dir);
// The notes of out.mid in a folder (empty when it cannot be read).
MidiNotes NotesOfSong(const testing::TempDir& dir);

// wx's config store set to a file of the test's own while the object lives.
class OwnConfig {
 public:
  explicit OwnConfig(const std::string& file);
  ~OwnConfig();
  OwnConfig(const OwnConfig&) = delete;
  OwnConfig& operator=(const OwnConfig&) = delete;

 private:
  wxConfigBase* before_;
};

// Records every modal dialog and answers it with the next queued answer once it is on the
// screen.  A dialog with no answer, or still open 8 s after its answer, is closed and counted
// as stuck.
class ModalWatcher : public wxModalDialogHook {
 public:
  using Answer = std::function<void(wxDialog&)>;
  struct Seen {
    std::string title;
    std::string message;  // of a message box
    wxWindow* parent = nullptr;
    bool stuck = false;
  };

  ModalWatcher();
  ~ModalWatcher() override;

  void Queue(Answer answer) { answers_.push_back(std::move(answer)); }
  // How message boxes without a queued answer are answered (by default not at all).
  void AnswerOtherMessages(Answer answer) { otherMessages_ = std::move(answer); }
  size_t Unanswered() const { return answers_.size(); }
  const std::vector<Seen>& seen() const { return seen_; }
  bool Open() const { return !active_.empty(); }
  // How many modal dialogs are open, one inside the other.
  size_t Depth() const { return active_.size(); }
  // The messages of the message boxes shown so far.
  std::vector<std::string> Messages() const;

 protected:
  int Enter(wxDialog* dialog) override;
  void Exit(wxDialog* dialog) override;

 private:
  struct Active {
    wxDialog* dialog;
    size_t seen;
    Answer answer;
    bool answered = false;
    wxLongLong entered;
    wxLongLong answeredAt;
  };
  void Poll();

  std::vector<Answer> answers_;
  Answer otherMessages_;
  std::vector<Seen> seen_;
  std::vector<Active> active_;
  wxTimer timer_;
};

// Answers.
// Clicks the button with this id.
ModalWatcher::Answer ClickButton(int id);
// Presses a key in the dialog.
ModalWatcher::Answer Key(int key, int modifiers = wxMOD_NONE);
// Types a line into the focused field and presses Return.
ModalWatcher::Answer TypeLine(const char* ascii);
// Selects all of the focused field (Ctrl+A, or another key), types a name and presses Return:
// a file dialog given a name.
ModalWatcher::Answer TypeName(const char* ascii, int selectKey = 'A');
// Takes a screenshot, then runs another answer.
ModalWatcher::Answer ShotThen(std::string name, ModalWatcher::Answer then);

// The window program over a temporary copy of the shipped data, its main window shown.
class ProgramTest : public ::testing::Test {
 protected:
  ProgramTest();
  ~ProgramTest() override;

  Session& session() { return *session_; }
  CVemaDlg& mainWindow() { return *main_; }
  // A control of the main window by id (the picture buttons).
  wxWindow* MainControl(int id);
  // The shown top-level window with this title, or nullptr.
  static wxWindow* ShownWindow(const char* title);
  // Clicks a control (or a main-window button) and waits until every dialog it opened was
  // answered and closed, and the command has ended.
  void Press(wxWindow* control, int milliseconds = 20000);
  void Press(int mainId) { Press(MainControl(mainId)); }
  // Opens a window with a main-window button; the window, or nullptr (a failure).
  wxWindow* OpenWindow(int mainId, const char* title);
  // COMP with the feel dialog answered (Return: its "適用") and every message box OK'd.
  void Compose(ModalWatcher::Answer feel = Key(WXK_RETURN));
  // Every picture button of a list shown whole in its place on the main window.
  template <size_t N>
  void ExpectButtonsInPlace(const std::array<PictureButtonPlace, N>& places) {
    for (const PictureButtonPlace& place : places) ExpectButtonInPlace(place);
  }
  void ExpectButtonInPlace(const PictureButtonPlace& place);

  testing::TempDir dir;
  gui::WxPlatform platform;
  std::unique_ptr<Session> session_;
  CVemaDlg* main_ = nullptr;
  ModalWatcher modals;
};

}  // namespace vema::gui_test
