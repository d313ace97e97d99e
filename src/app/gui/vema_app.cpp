// CVemaApp: the window program.  Start-up loads the default files of the working directory,
// then the main window runs until it is closed.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <wx/app.h>
#include <wx/filename.h>
#include <wx/intl.h>

#include "app/gui/resources.h"
#include "app/gui/vema_dlg.h"
#include "app/gui/wx_platform.h"
#include "app/session.h"
#if VEMA_HAVE_PLAYER
#include "app/player/fluid_player.h"
#endif

namespace {

constexpr const char* kUsage =
    "usage: vema [--dir DIR] [--audio-driver NAME]\n"
    "  --dir DIR  working directory: default.mld, default.ton and default.db are read from it\n"
    "             and out.mid, out.mml and work.txt are written into it (default: .)\n"
    "  --audio-driver NAME\n"
    "             the fluidsynth audio driver PLAY sounds through (alsa, pulseaudio, jack, ...;\n"
    "             default: the system's); \"file\" writes fluidsynth.wav into the current\n"
    "             folder in real time, for machines without a sound device\n";

}  // namespace

class CVemaApp : public wxApp {
 public:
  bool Initialize(int& argc, wxChar** argv) override {
    // The instrument list's horizontal scroll bar stays visible instead of overlaying.
    setenv("GTK_OVERLAY_SCROLLING", "0", 0);
    return wxApp::Initialize(argc, argv);
  }
  bool OnInit() override;
  int OnExit() override;

 private:
  bool ParseArguments(std::string& dir, std::string& audioDriver, int& exitCode);

  std::unique_ptr<wxLocale> locale_;
  std::unique_ptr<vema::gui::WxPlatform> platform_;
  std::unique_ptr<vema::Session> session_;
#if VEMA_HAVE_PLAYER
  std::unique_ptr<vema::SongPlayer> player_;  // made at the first command
#endif
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
#if VEMA_HAVE_PLAYER
  const auto player = [this, dir, audioDriver]() -> vema::SongPlayer* {
    if (!player_) player_ = std::make_unique<vema::FluidPlayer>(dir, audioDriver);
    return player_.get();
  };
  platform_->SetPlayer([player](const std::string& command) { player()->Command(command); });
#endif
  session_ = std::make_unique<vema::Session>(*platform_, vema::SessionOptions{dir, {}});
  vema::StartUp(*session_);

  auto* window = new CVemaDlg(*session_);
#if VEMA_HAVE_PLAYER
  window->SetPlayer(player);
#endif
  platform_->SetMainWindow(window);
  SetTopWindow(window);
  window->Show();
  return true;
}

int CVemaApp::OnExit() {
  if (platform_) platform_->SetMainWindow(nullptr);
#if VEMA_HAVE_PLAYER
  player_.reset();
#endif
  session_.reset();
  return wxApp::OnExit();
}

wxIMPLEMENT_APP(CVemaApp);
