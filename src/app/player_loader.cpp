#include "app/player_loader.h"

#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <span>
#include <vector>

#include "app/install_layout.h"
#include "app/player/player_module.h"
#include "song/file_io.h"
#include "song/song_file.h"

namespace vema {
namespace {

constexpr size_t kErrorBytes = 512;

// Whether a song can be rendered: a whole MIDI file no longer than kMaxRenderSeconds, so that
// an absurd song is refused before any sound is made.
bool CheckRenderable(const std::string& midiPath, std::string& error) {
  const std::optional<std::vector<uint8_t>> song = ReadSongFile(midiPath, midiPath, error);
  if (!song) return false;
  const double seconds = SongSeconds(*song);
  if (seconds > kMaxRenderSeconds) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "the song is too long to render: it lasts %.0f minutes, at most %.0f are rendered",
                  seconds / 60, kMaxRenderSeconds / 60);
    error = text;
    return false;
  }
  return true;
}

class ModulePlayer : public SongPlayer {
 public:
  ModulePlayer(void* library, const VemaPlayerModule* module, const std::string& dir,
               const std::string& audioDriver)
      : library_(library),
        module_(module),
        player_(module->create(dir.c_str(), audioDriver.c_str())) {}
  ~ModulePlayer() override {
    module_->destroy(player_);
    dlclose(library_);  // opened with RTLD_NODELETE: the code stays, only the count drops
  }
  ModulePlayer(const ModulePlayer&) = delete;
  ModulePlayer& operator=(const ModulePlayer&) = delete;

  void Command(const std::string& command) override { module_->command(player_, command.c_str()); }
  bool WaitUntilEnd(std::string& error) override {
    return Call(error, [&](char* text) { return module_->wait_until_end(player_, text, kErrorBytes); });
  }
  int PlayingTick() override { return module_->playing_tick(player_); }
  bool RenderWavTo(const std::string& midiPath, WavSink& wav, std::string& error,
                   const RenderProgress& progress) override {
    // The song is checked here, before the module loads its synthesizer.
    if (!CheckRenderable(midiPath, error)) return false;
    const auto tell = [](double share, void* data) {
      return (*static_cast<const RenderProgress*>(data))(share) ? 1 : 0;
    };
    const auto write = [](const uint8_t* samples, size_t size, void* data) {
      return static_cast<WavSink*>(data)->Write(std::span(samples, size)) ? 1 : 0;
    };
    uint32_t rate = 0;
    uint64_t frames = 0;
    if (!Call(error, [&](char* text) {
          return module_->render_samples(player_, midiPath.c_str(), +write, &wav, &rate, &frames,
                                         text, kErrorBytes, progress ? +tell : nullptr,
                                         const_cast<RenderProgress*>(&progress));
        })) {
      // A sample the sink refused: its own message says why.
      if (error == kVemaSamplesNotWritten) error = wav.Failure();
      return false;
    }
    if (!wav.Finish(frames, rate)) {
      error = wav.Failure();
      return false;
    }
    return true;
  }
  bool Prepare(std::string& error) override {
    return Call(error, [&](char* text) { return module_->prepare(player_, text, kErrorBytes); });
  }
  double FirstBlockLatencyMs() const override { return module_->first_block_latency_ms(player_); }
  void SoundNote(int channel, int program, int key, int velocity, int milliseconds) override {
    module_->sound_note(player_, channel, program, key, velocity, milliseconds);
  }
  void Seek(int64_t tick) override { module_->seek(player_, tick); }
  std::vector<std::string> ListOutputs(std::string& error) override {
    std::vector<std::string> names;
    const auto add = [](const char* name, void* data) {
      static_cast<std::vector<std::string>*>(data)->push_back(name);
    };
    module_->list_outputs(player_, +add, &names);
    error.clear();
    return names;
  }
  void SetOutput(const std::string& port) override { module_->set_output(player_, port.c_str()); }
  PlayerNotice TakeNotice() override {
    char port[kErrorBytes] = "";
    const int kind = module_->take_notice(player_, port, sizeof port);
    PlayerNotice notice;
    notice.port = port;
    if (kind == kVemaNoticePortMissing) notice.kind = PlayerNotice::Kind::kPortMissing;
    if (kind == kVemaNoticePortLost) notice.kind = PlayerNotice::Kind::kPortLost;
    return notice;
  }

 private:
  template <typename F>
  static bool Call(std::string& error, F&& call) {
    char text[kErrorBytes] = "";
    const bool ok = call(text) == 1;
    error = ok ? "" : text;
    return ok;
  }

  void* library_;
  const VemaPlayerModule* module_;
  void* player_;
};

// Stands in for the player when its module is missing: says so at every use.
class UnavailablePlayer : public SongPlayer {
 public:
  explicit UnavailablePlayer(std::string reason) : reason_(std::move(reason)) {}
  void Command(const std::string&) override {}
  bool WaitUntilEnd(std::string& error) override { return Fail(error); }
  int PlayingTick() override { return -1; }
  bool RenderWavTo(const std::string&, WavSink&, std::string& error,
                   const RenderProgress&) override {
    return Fail(error);
  }
  bool Prepare(std::string& error) override { return Fail(error); }

 private:
  bool Fail(std::string& error) const {
    error = reason_;
    return false;
  }
  std::string reason_;
};

}  // namespace

std::string DefaultPlayerModulePath() { return PlayerModulePath(); }

std::unique_ptr<SongPlayer> LoadSongPlayer(const std::string& dir, const std::string& audioDriver,
                                           const std::string& modulePath) {
  void* library = dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (library == nullptr) {
    const char* why = dlerror();
    return std::make_unique<UnavailablePlayer>(
        "playback is not available: the player module could not be loaded (" +
        std::string(why != nullptr ? why : modulePath) + ")");
  }
  using Entry = const VemaPlayerModule* (*)();
  const auto entry = reinterpret_cast<Entry>(dlsym(library, "vema_player_module"));
  const VemaPlayerModule* module = entry != nullptr ? entry() : nullptr;
  if (module == nullptr || module->version != kPlayerModuleVersion) {
    dlclose(library);
    return std::make_unique<UnavailablePlayer>("playback is not available: " + modulePath +
                                               " is not a player module of this version");
  }
  return std::make_unique<ModulePlayer>(library, module, dir, audioDriver);
}

}  // namespace vema
