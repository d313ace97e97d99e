// CVemaApp: the window program.  Start-up loads the default files of the working directory,
// then the main window runs until it is closed.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <wx/app.h>
#include <wx/filename.h>
#include <wx/intl.h>
#include <wx/timer.h>

#include "gui/best_of_config.h"
#include "gui/resources.h"
#include "gui/vema_dlg.h"
#include "gui/wx_platform.h"
#include "app/playback.h"
#include "app/player_loader.h"
#include "app/session.h"

namespace {

constexpr const char* kUsage =
    "usage: vema [--dir DIR] [--audio-driver NAME]\n"
    "  --dir DIR  working directory: default.mld, default.ton and default.db are read from it\n"
    "             and out.mid, out.mml and work.txt are written into it (default: .)\n"
    "  --audio-driver NAME\n"
    "             the fluidsynth audio driver PLAY sounds through (alsa, pulseaudio, jack, ...;\n"
    "             default: the system's); \"file\" writes fluidsynth.wav into the current\n"
    "             folder in real time, for machines without a sound device\n"
    "With VEMA_REPORT_TIMING=1 it prints \"first paint\" on stdout when the main window is first\n"
    "drawn, and after PLAY the milliseconds to the first block of sound (for benchmarks).\n";

// With VEMA_REPORT_TIMING set, the moments a benchmark waits for are printed on stdout.
bool ReportTiming() { return std::getenv("VEMA_REPORT_TIMING") != nullptr; }

}  // namespace

class CVemaApp : public wxApp {
 public:
  bool Initialize(int& argc, wxChar** argv) override {
    // The instrument list's horizontal scroll bar stays visible instead of overlaying.
    setenv("GTK_OVERLAY_SCROLLING", "0", 0);
    // The program draws nothing with OpenGL; without this GTK loads the GL driver stack (a
    // software renderer with its compiler on machines without a GPU) before the first window.
    setenv("GDK_GL", "disable", 0);
    return wxApp::Initialize(argc, argv);
  }
  bool OnInit() override;
  int OnExit() override;

 private:
  bool ParseArguments(std::string& dir, std::string& audioDriver, int& exitCode);

  std::unique_ptr<wxLocale> locale_;
  std::unique_ptr<vema::gui::WxPlatform> platform_;
  std::unique_ptr<vema::Session> session_;
  std::unique_ptr<vema::SongPlayer> player_;  // loaded once the window is up
  wxTimer soundTimer_;                         // VEMA_REPORT_TIMING: waits for the first sound
  bool firstPaintSeen_ = false;
};

bool CVemaApp::ParseArguments(std::string& dir, std::string& audioDriver, int& exitCode) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg(argv[i].utf8_str());
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      exitCode = 0;
      return false;
    }
    if (arg == "--dir" && i + 1 < argc) {
      dir = std::string(argv[++i].utf8_str());
      continue;
    }
    if (arg == "--audio-driver" && i + 1 < argc) {
      audioDriver = std::string(argv[++i].utf8_str());
      continue;
    }
    std::fprintf(stderr, "vema: unknown argument: %s\n%s", arg.c_str(), kUsage);
    exitCode = 2;
    return false;
  }
  if (!wxFileName::DirExists(wxString::FromUTF8(dir.c_str()))) {
    std::fprintf(stderr, "vema: no such directory: %s\n", dir.c_str());
    exitCode = 2;
    return false;
  }
  return true;
}

bool CVemaApp::OnInit() {
  std::string dir = ".";
  std::string audioDriver;
  int exitCode = 0;
  if (!ParseArguments(dir, audioDriver, exitCode)) {
    // wx returns a failure from OnInit as -1; give the caller the real status.
    std::exit(exitCode);
  }

  locale_ = vema::gui::InitToolkit();

  platform_ = std::make_unique<vema::gui::WxPlatform>();
  platform_->SetWorkingDir(dir);
  // The player module is loaded at the first use of the player.
  const auto player = [this, dir, audioDriver]() -> vema::SongPlayer* {
    if (!player_) player_ = vema::LoadSongPlayer(dir, audioDriver);
    return player_.get();
  };
  platform_->SetPlayer([this, player](const std::string& command) {
    player()->Command(command);
    if (command == vema::kPlayerPlay && ReportTiming()) soundTimer_.Start(5);
  });
  soundTimer_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
    const double ms = player_ ? player_->FirstBlockLatencyMs() : -1;
    if (ms < 0) return;
    soundTimer_.Stop();
    std::printf("PLAY to first block of sound: %.1f ms\n", ms);
    std::fflush(stdout);
  });
  session_ = std::make_unique<vema::Session>(*platform_, vema::SessionOptions{dir, {}});
  vema::StartUp(*session_);
  session_->bestOf = vema::gui::LoadBestOf();
  session_->melodyOctave = vema::gui::LoadMelodyOctave();

  auto* window = new CVemaDlg(*session_);
  window->SetPlayer(player);
  platform_->SetMainWindow(window);
  SetTopWindow(window);
  // Once the window has been drawn, the player module and the soundfont are loaded, so that
  // PLAY sounds at once; a problem is told when the user plays.
  window->Bind(wxEVT_PAINT, [this, player](wxPaintEvent& event) {
    event.Skip();  // the window draws itself
    if (firstPaintSeen_) return;
    firstPaintSeen_ = true;
    CallAfter([player] {
      if (ReportTiming()) {
        std::printf("first paint\n");
        std::fflush(stdout);
      }
      std::string ignored;
      player()->Prepare(ignored);
    });
  });
  window->Show();
  return true;
}

int CVemaApp::OnExit() {
  if (platform_) platform_->SetMainWindow(nullptr);
  player_.reset();
  session_.reset();
  return wxApp::OnExit();
}

wxIMPLEMENT_APP(CVemaApp);
