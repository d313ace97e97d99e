// CVemaApp: the window program.  The command line is read before the toolkit starts (so that
// --help and --version answer without a display); start-up then loads the default files of the
// working directory and the main window runs until it is closed.  Installed and started without
// --dir, the program works in the user's song folder (app/song_folder.h) and keeps its settings
// in the desktop's config folder (gui/user_folders.h).
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <wx/app.h>
#include <wx/filename.h>
#include <wx/intl.h>
#include <wx/timer.h>

#include "gui/best_of_config.h"
#include "gui/output_config.h"
#include "gui/resources.h"
#include "gui/user_folders.h"
#include "gui/vema_dlg.h"
#include "gui/wx_platform.h"
#include "app/install_layout.h"
#include "app/playback.h"
#include "app/player_loader.h"
#include "app/session.h"
#include "app/song_folder.h"

namespace {

constexpr const char* kUsage =
    "usage: vema [--dir DIR] [--audio-driver NAME]\n"
    "  --dir DIR  working directory: default.mld, default.ton and default.db are read from it\n"
    "             and out.mid, out.mml and work.txt are written into it (default: the current\n"
    "             folder; an installed vema works in the song folder $XDG_DATA_HOME/vema, by\n"
    "             default ~/.local/share/vema, made with the default files on the first start)\n"
    "  --audio-driver NAME\n"
    "             the fluidsynth audio driver PLAY sounds through (alsa, pulseaudio, jack, ...;\n"
    "             default: the system's); \"file\" writes fluidsynth.wav into the current\n"
    "             folder in real time, for machines without a sound device\n"
    "  --version  prints the version\n"
    "  --help     prints this text\n"
    "The settings of the windows are kept in $XDG_CONFIG_HOME/vema/vema.conf (by default\n"
    "~/.config/vema/vema.conf).\n"
    "With VEMA_REPORT_TIMING=1 it prints \"first paint\" on stdout when the main window is first\n"
    "drawn, and after PLAY the milliseconds to the first block of sound (for benchmarks).\n";

// With VEMA_REPORT_TIMING set, the moments a benchmark waits for are printed on stdout.
bool ReportTiming() { return std::getenv("VEMA_REPORT_TIMING") != nullptr; }

struct Options {
  std::optional<std::string> dir;  // none: the current folder, or the song folder when installed
  std::string audioDriver;
};

// Reads the command line (the arguments after the program's name).  Returns nullopt when the
// program ends here, with its exit status.
std::optional<Options> ParseArguments(const std::vector<std::string>& args, int& exitCode) {
  Options options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      exitCode = 0;
      return std::nullopt;
    }
    if (arg == "--version") {
      std::printf("vema %s\n", vema::VersionText());
      exitCode = 0;
      return std::nullopt;
    }
    if (arg == "--dir" && i + 1 < args.size()) {
      options.dir = args[++i];
      continue;
    }
    if (arg == "--audio-driver" && i + 1 < args.size()) {
      options.audioDriver = args[++i];
      continue;
    }
    std::fprintf(stderr, "vema: unknown argument: %s\n%s", arg.c_str(), kUsage);
    exitCode = 2;
    return std::nullopt;
  }
  if (options.dir && !wxFileName::DirExists(wxString::FromUTF8(options.dir->c_str()))) {
    std::fprintf(stderr, "vema: no such directory: %s\n", options.dir->c_str());
    exitCode = 2;
    return std::nullopt;
  }
  return options;
}

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
  // The main loop, or at once the status of a start-up that gave up.
  int OnRun() override { return failure_ != 0 ? failure_ : wxApp::OnRun(); }
  int OnExit() override;

 private:
  int failure_ = 0;
  std::unique_ptr<wxLocale> locale_;
  std::unique_ptr<vema::gui::WxPlatform> platform_;
  std::unique_ptr<vema::Session> session_;
  std::unique_ptr<vema::SongPlayer> player_;  // loaded once the window is up
  wxTimer soundTimer_;                         // VEMA_REPORT_TIMING: waits for the first sound
  bool firstPaintSeen_ = false;
};

bool CVemaApp::OnInit() {
  // main has read the command line already and ended the program on anything wrong in it.
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i].utf8_str());
  int ignored = 0;
  const Options options = ParseArguments(args, ignored).value_or(Options());

  locale_ = vema::gui::InitToolkit();
  // Before anything reads a setting (with the locale set, the system's reasons are Japanese).
  const std::string settingsProblem = vema::gui::UseDesktopSettingsFile();
  platform_ = std::make_unique<vema::gui::WxPlatform>();
  if (!settingsProblem.empty()) platform_->ShowMessage(settingsProblem, vema::MessageIcon::kPlain);

  std::string dir;
  if (options.dir) {
    dir = *options.dir;
  } else {
    const vema::SongFolderSetup setup = vema::PrepareDefaultSongFolder(vema::InstalledDataDir());
    if (!setup.ok()) {
      platform_->ShowMessage(vema::gui::SongFolderMessage(setup), vema::MessageIcon::kStop);
      failure_ = 1;
      return true;  // OnRun ends the program with that status
    }
    dir = setup.folder;
  }
  const std::string audioDriver = options.audioDriver;
  platform_->SetWorkingDir(dir);
  // The player module is loaded at the first use of the player.
  const auto player = [this, dir, audioDriver]() -> vema::SongPlayer* {
    if (!player_) {
      player_ = vema::LoadSongPlayer(dir, audioDriver);
      player_->SetOutput(vema::gui::LoadOutputChoice());  // chosen in the instrument window
    }
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

wxIMPLEMENT_APP_NO_MAIN(CVemaApp);

// The program's own main: the command line is answered before wx starts the toolkit.
int main(int argc, char** argv) {
  // As wxIMPLEMENT_APP's main does: no assertion dialogs or debug logging in a release build.
  wxDISABLE_DEBUG_SUPPORT();
  int exitCode = 0;
  if (!ParseArguments(std::vector<std::string>(argv + 1, argv + argc), exitCode)) return exitCode;
  return wxEntry(argc, argv);
}
