// The exported face of the player module: FluidPlayer behind plain C functions.
#include "app/player/player_module.h"

#include <cstring>
#include <string>

#include "app/player/fluid_player.h"
#include "app/player/library_logs.h"

namespace {

vema::FluidPlayer& Player(void* player) { return *static_cast<vema::FluidPlayer*>(player); }

// Copies a reason into the caller's buffer, cut to fit and always terminated.
void CopyError(const std::string& text, char* error, size_t size) {
  if (error == nullptr || size == 0) return;
  const size_t n = std::min(text.size(), size - 1);
  std::memcpy(error, text.data(), n);
  error[n] = '\0';
}

void* Create(const char* dir, const char* audioDriver) {
  return new vema::FluidPlayer(dir != nullptr ? dir : ".", audioDriver != nullptr ? audioDriver : "");
}
void Destroy(void* player) { delete &Player(player); }
void Command(void* player, const char* command) { Player(player).Command(command); }

int Prepare(void* player, char* error, size_t size) {
  std::string reason;
  const bool ok = Player(player).Prepare(reason);
  if (!ok) CopyError(reason, error, size);
  return ok ? 1 : 0;
}

int WaitUntilEnd(void* player, char* error, size_t size) {
  std::string reason;
  const bool ok = Player(player).WaitUntilEnd(reason);
  if (!ok) CopyError(reason, error, size);
  return ok ? 1 : 0;
}

int PlayingTick(void* player) { return Player(player).PlayingTick(); }

int RenderWav(void* player, const char* midi, int wavFd, const char* wavName, char* error,
              size_t size, VemaRenderProgress progress, void* progressData) {
  std::string reason;
  vema::RenderProgress told;
  if (progress != nullptr) {
    told = [progress, progressData](double share) { return progress(share, progressData) != 0; };
  }
  const bool ok = Player(player).RenderWavInto(midi, wavFd, wavName, reason, told);
  if (!ok) CopyError(reason, error, size);
  return ok ? 1 : 0;
}

double FirstBlockLatencyMs(void* player) { return Player(player).FirstBlockLatencyMs(); }

const VemaPlayerModule kModule = {kPlayerModuleVersion, Create,      Destroy,
                                  Command,              Prepare,     WaitUntilEnd,
                                  PlayingTick,          RenderWav,   FirstBlockLatencyMs};

}  // namespace

extern "C" __attribute__((visibility("default"))) const VemaPlayerModule* vema_player_module() {
  // The player tells its own failures; the libraries' lines about them stay off the terminal.
  vema::QuietSoundLibraries();
  return &kModule;
}
