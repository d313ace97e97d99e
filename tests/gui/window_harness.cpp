#include "gui/window_harness.h"

#include <unistd.h>
#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/fileconf.h>
#include <wx/intl.h>
#include <wx/msgdlg.h>
#include <wx/time.h>
#include <wx/toplevel.h>
#include <wx/uiaction.h>
#include <wx/utils.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "gui/resources.h"
#include "gui/vema_dlg.h"

namespace vema::gui_test {

std::string Utf8(const wxString& text) { return std::string(text.utf8_str()); }

OutputFiles ReadOutputFiles(const testing::TempDir& dir) {
  return {testing::ReadAll(dir.File("out.mid")), testing::ReadAll(dir.File("out.mml")),
          testing::ReadAll(dir.File("work.txt"))};
}

MidiNotes NotesOfSong(const testing::TempDir& dir) {
  std::string error;
  return ReadMidiNotes(testing::ReadAll(dir.File("out.mid")), error).value_or(MidiNotes{});
}

OwnConfig::OwnConfig(const std::string& file)
    : before_(wxConfigBase::Set(new wxFileConfig("vema-test", "", wxString::FromUTF8(file), "",
                                                 wxCONFIG_USE_LOCAL_FILE))) {}

OwnConfig::~OwnConfig() { delete wxConfigBase::Set(before_); }

bool RunUntil(const std::function<bool()>& done, int milliseconds) {
  const wxLongLong end = wxGetLocalTimeMillis() + milliseconds;
  while (!done()) {
    if (wxGetLocalTimeMillis() > end) return false;
    wxTheApp->Yield(true);
    wxMilliSleep(10);
  }
  return true;
}

void Settle(int milliseconds) {
  RunUntil([] { return false; }, milliseconds);
}

void Click(wxWindow* window, wxPoint at) {
  ASSERT_NE(window, nullptr);
  if (at == wxDefaultPosition) {
    const wxSize size = window->GetClientSize();
    at = wxPoint(size.x / 2, size.y / 2);
  }
  wxUIActionSimulator sim;
  sim.MouseMove(window->ClientToScreen(at));
  wxTheApp->Yield(true);
  sim.MouseClick();
}

void DoubleClick(wxWindow* window, wxPoint at) {
  ASSERT_NE(window, nullptr);
  wxUIActionSimulator sim;
  sim.MouseMove(window->ClientToScreen(at));
  wxTheApp->Yield(true);
  sim.MouseDblClick();
}

void Drag(wxWindow* window, wxPoint from, wxPoint to) {
  ASSERT_NE(window, nullptr);
  wxUIActionSimulator sim;
  sim.MouseMove(window->ClientToScreen(from));
  wxTheApp->Yield(true);
  sim.MouseDown();
  wxTheApp->Yield(true);
  constexpr int kSteps = 8;
  for (int i = 1; i <= kSteps; ++i) {
    sim.MouseMove(window->ClientToScreen(from + (to - from) * i / kSteps));
    wxTheApp->Yield(true);
  }
  sim.MouseUp();
  wxTheApp->Yield(true);
}

void Focus(wxWindow* window) {
  wxWindow* top = wxGetTopLevelParent(window);
  top->Raise();  // with no window manager, GTK gives the keyboard to a raised window itself
  if (window != top) window->SetFocus();
}

void PressKey(int key, int modifiers) {
  wxUIActionSimulator sim;
  sim.Char(key, modifiers);
}

void Type(const char* ascii) {
  wxUIActionSimulator sim;
  sim.Text(ascii);
}

void Screenshot(const std::string& name) {
  std::filesystem::create_directories(VEMA_SHOT_DIR);
  const std::string command =
      "import -window root '" + std::string(VEMA_SHOT_DIR) + "/" + name + ".png' 2>/dev/null";
  if (std::system(command.c_str()) != 0) ADD_FAILURE() << "no screenshot " << name;
}

wxImage Shot(const std::string& name) {
  Screenshot(name);
  return wxImage(wxString::FromUTF8(VEMA_SHOT_DIR "/" + name + ".png"), wxBITMAP_TYPE_PNG);
}

int CountColours(const wxImage& image, const wxRect& area,
                 std::initializer_list<wxColour> colours) {
  int count = 0;
  const wxRect inside = area.Intersect(wxRect(image.GetSize()));
  for (int y = inside.GetTop(); y <= inside.GetBottom(); ++y) {
    for (int x = inside.GetLeft(); x <= inside.GetRight(); ++x) {
      const wxColour c(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y));
      count += std::find(colours.begin(), colours.end(), c) != colours.end() ? 1 : 0;
    }
  }
  return count;
}

// ---- modal dialogs ------------------------------------------------------------------------

ModalWatcher::ModalWatcher() {
  Register();
  timer_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { Poll(); });
}

ModalWatcher::~ModalWatcher() { Unregister(); }

std::vector<std::string> ModalWatcher::Messages() const {
  std::vector<std::string> out;
  for (const Seen& s : seen_) {
    if (!s.message.empty()) out.push_back(s.message);
  }
  return out;
}

int ModalWatcher::Enter(wxDialog* dialog) {
  // Some dialogs report their showing twice (their own ShowModal and wxDialog's).
  for (const Active& a : active_) {
    if (a.dialog == dialog) return wxID_NONE;
  }
  Seen seen;
  seen.title = Utf8(dialog->GetTitle());
  if (auto* box = dynamic_cast<wxMessageDialogBase*>(dialog))
    seen.message = Utf8(box->GetMessage());
  seen.parent = dialog->GetParent();
  seen_.push_back(seen);
  Active active{dialog, seen_.size() - 1, nullptr, false, wxGetLocalTimeMillis(), 0};
  if (!answers_.empty()) {
    active.answer = std::move(answers_.front());
    answers_.erase(answers_.begin());
  } else if (dynamic_cast<wxMessageDialogBase*>(dialog) != nullptr) {
    active.answer = otherMessages_;
  }
  active_.push_back(std::move(active));
  if (!timer_.IsRunning()) timer_.StartOnce(100);
  return wxID_NONE;  // show it
}

void ModalWatcher::Exit(wxDialog* dialog) {
  for (size_t i = active_.size(); i-- > 0;) {
    if (active_[i].dialog == dialog) {
      active_.erase(active_.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  }
}

void ModalWatcher::Poll() {
  // Armed anew first: a timer source being run is not run again inside a dialog that the
  // answer opens, a new one is.
  if (!active_.empty()) timer_.StartOnce(100);
  if (active_.empty()) return;
  const size_t top = active_.size() - 1;
  const wxLongLong now = wxGetLocalTimeMillis();
  Active& a = active_[top];
  if (!a.answered && a.answer && a.dialog->IsShown() && now - a.entered >= 400) {
    a.answered = true;
    a.answeredAt = now;
    const Answer answer = a.answer;
    wxDialog* dialog = a.dialog;
    answer(*dialog);  // may open or close dialogs: a is not used after this
    // An answer that clicks for a while (slow on a busy machine) has its 8 s from its end.
    for (Active& still : active_) {
      if (still.dialog == dialog) still.answeredAt = wxGetLocalTimeMillis();
    }
    return;
  }
  const wxLongLong since = a.answered ? a.answeredAt : a.entered;
  if (now - since > 8000) {
    seen_[a.seen].stuck = true;
    a.dialog->EndModal(wxID_CANCEL);
  }
}

ModalWatcher::Answer ClickButton(int id) {
  return [id](wxDialog& dialog) {
    wxWindow* button = dialog.FindWindow(id);
    if (button == nullptr) {
      ADD_FAILURE() << "no button " << id << " in " << Utf8(dialog.GetTitle());
      return;
    }
    Click(button);
  };
}

ModalWatcher::Answer Key(int key, int modifiers) {
  return [key, modifiers](wxDialog& dialog) {
    Focus(&dialog);
    PressKey(key, modifiers);
  };
}

ModalWatcher::Answer TypeLine(const char* ascii) {
  return [text = std::string(ascii)](wxDialog& dialog) {
    Focus(&dialog);
    Type(text.c_str());
    PressKey(WXK_RETURN);
  };
}

ModalWatcher::Answer TypeName(const char* ascii, int selectKey) {
  return [text = std::string(ascii), selectKey](wxDialog& dialog) {
    Focus(&dialog);
    PressKey(selectKey, wxMOD_CONTROL);
    Type(text.c_str());
    PressKey(WXK_RETURN);
  };
}

ModalWatcher::Answer ShotThen(std::string name, ModalWatcher::Answer then) {
  return [name = std::move(name), then = std::move(then)](wxDialog& dialog) {
    Screenshot(name);
    then(dialog);
  };
}

// ---- the program --------------------------------------------------------------------------

ProgramTest::ProgramTest() {
  testing::CopyShippedData(dir.str());
  platform.SetWorkingDir(dir.str());
  session_ = std::make_unique<Session>(platform, SessionOptions{dir.str(), 7});
  StartUp(*session_);
  main_ = new CVemaDlg(*session_);
  platform.SetMainWindow(main_);
  main_->Show();
  RunUntil([this] { return main_->IsShownOnScreen(); });
  Settle();
}

ProgramTest::~ProgramTest() {
  EXPECT_FALSE(modals.Open()) << "a dialog is still open";
  EXPECT_EQ(modals.Unanswered(), 0u) << "an expected dialog did not appear";
  for (const ModalWatcher::Seen& s : modals.seen()) {
    EXPECT_FALSE(s.stuck) << "dialog \"" << s.title << "\" " << s.message << " stayed open";
  }
  if (HasFailure()) {
    for (const ModalWatcher::Seen& s : modals.seen()) {
      std::fprintf(stderr, "dialog \"%s\" [%s] %s\n", s.title.c_str(), s.message.c_str(),
                   s.stuck ? "stuck" : "");
    }
  }
  platform.SetMainWindow(nullptr);
  main_->Close(true);
  Settle(200);
}

wxWindow* ProgramTest::MainControl(int id) { return main_->FindWindow(id); }

wxWindow* ProgramTest::OpenWindow(int mainId, const char* title) {
  Press(mainId);
  wxWindow* window = ShownWindow(title);
  EXPECT_NE(window, nullptr) << title;
  return window;
}

void ProgramTest::Compose(ModalWatcher::Answer feel) {
  modals.Queue(std::move(feel));
  modals.AnswerOtherMessages(ClickButton(wxID_OK));
  Press(kIdComp);
}

void ProgramTest::ExpectButtonInPlace(const PictureButtonPlace& place) {
  wxWindow* button = MainControl(place.id);
  ASSERT_NE(button, nullptr) << place.caption;
  EXPECT_TRUE(button->IsShown()) << place.caption;
  EXPECT_EQ(button->GetRect(), wxRect(place.x, place.y, place.width, place.height))
      << place.caption;
  EXPECT_TRUE(wxRect(main_->GetClientSize()).Contains(button->GetRect())) << place.caption;
}

wxWindow* ProgramTest::ShownWindow(const char* title) {
  for (wxWindow* window : wxTopLevelWindows) {
    auto* top = dynamic_cast<wxTopLevelWindow*>(window);
    if (top && top->IsShown() && Utf8(top->GetTitle()) == title) return window;
  }
  return nullptr;
}

void ProgramTest::Press(wxWindow* control, int milliseconds) {
  Click(control);
  Settle(300);
  EXPECT_TRUE(RunUntil([this] { return modals.Unanswered() == 0 && !modals.Open(); }, milliseconds))
      << Utf8(control ? control->GetLabel() : "(none)");
  Settle(200);
}

}  // namespace vema::gui_test

// ---- main -----------------------------------------------------------------------------------

namespace {

char g_currentTest[256] = "";

void OnHang(int) {
  const char prefix[] = "\nFAIL: the windows stopped responding in ";
  [[maybe_unused]] ssize_t n = write(2, prefix, sizeof prefix - 1);
  n = write(2, g_currentTest, std::strlen(g_currentTest));
  n = write(2, "\n", 1);
  _exit(1);
}

// A hung window (an endless event loop) ends the program with a failure instead of a stall.
class HangWatch : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo& info) override {
    std::snprintf(g_currentTest, sizeof g_currentTest, "%s.%s", info.test_suite_name(),
                  info.name());
    alarm(120);
  }
  void OnTestEnd(const ::testing::TestInfo&) override { alarm(0); }
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> original(argv, argv + argc);
  ::testing::InitGoogleTest(&argc, argv);
  if (std::getenv("VEMA_UNDER_XVFB") == nullptr) {
    // Every run gets a virtual screen of its own.
    setenv("VEMA_UNDER_XVFB", "1", 1);
    std::vector<char*> command = {const_cast<char*>("xvfb-run"), const_cast<char*>("-a"),
                                  const_cast<char*>("-s"),
                                  const_cast<char*>("-screen 0 1280x1024x24 -noreset")};
    command.insert(command.end(), original.begin(), original.end());
    command.push_back(nullptr);
    execvp("xvfb-run", command.data());
    std::puts("SKIP: xvfb-run is missing");
    return 77;
  }
  setenv("NO_AT_BRIDGE", "1", 1);
  setenv("GSETTINGS_BACKEND", "memory", 1);
  std::signal(SIGALRM, OnHang);
  ::testing::UnitTest::GetInstance()->listeners().Append(new HangWatch);

  // The program runs with wx's checks off (a release build); here they are reported, not
  // shown in a dialog that nothing would answer.
  wxSetAssertHandler([](const wxString& file, int line, const wxString&, const wxString& cond,
                        const wxString& msg) {
    std::fprintf(stderr, "wx check %s:%d %s %s\n", static_cast<const char*>(file.utf8_str()), line,
                 static_cast<const char*>(cond.utf8_str()),
                 static_cast<const char*>(msg.utf8_str()));
  });
  wxApp::SetInstance(new wxApp);
  int wxArgc = 1;
  char* wxArgv[] = {argv[0], nullptr};
  if (!wxEntryStart(wxArgc, wxArgv)) {
    std::puts("SKIP: no display");
    return 77;
  }
  int result = 1;
  {
    const std::unique_ptr<wxLocale> locale = vema::gui::InitToolkit();
    wxGUIEventLoop loop;
    wxEventLoopActivator active(&loop);
    result = RUN_ALL_TESTS();
  }
  wxEntryCleanup();
  return result;
}
