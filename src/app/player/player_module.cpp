// The exported face of the player module: RoutedPlayer behind plain C functions.
#include "app/player/player_module.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "app/player/library_logs.h"
#include "app/player/routed_player.h"

namespace {

vema::RoutedPlayer& Player(void* player) { return *static_cast<vema::RoutedPlayer*>(player); }

// Copies a text into the caller's buffer, cut to fit and always terminated.
void CopyText(const std::string& text, char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return;
  const size_t n = std::min(text.size(), size - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

void* Create(const char* dir, const char* audioDriver) {
  return new vema::RoutedPlayer(dir != nullptr ? dir : ".", audioDriver != nullptr ? audioDriver : "");
}
void Destroy(void* player) { delete &Player(player); }
void Command(void* player, const char* command) { Player(player).Command(command); }

int Prepare(void* player, char* error, size_t size) {
  std::string reason;
  const bool ok = Player(player).Prepare(reason);
  if (!ok) CopyText(reason, error, size);
  return ok ? 1 : 0;
}

int WaitUntilEnd(void* player, char* error, size_t size) {
  std::string reason;
  const bool ok = Player(player).WaitUntilEnd(reason);
  if (!ok) CopyText(reason, error, size);
  return ok ? 1 : 0;
}

int PlayingTick(void* player) { return Player(player).PlayingTick(); }

int RenderSamples(void* player, const char* midi, VemaSampleWriter write, void* writeData,
                  uint32_t* rate, uint64_t* frames, char* error, size_t size,
                  VemaRenderProgress progress, void* progressData) {
  std::string reason;
  vema::RenderProgress told;
  if (progress != nullptr) {
    told = [progress, progressData](double share) { return progress(share, progressData) != 0; };
  }
  const vema::SampleSink sink = [write, writeData](std::span<const uint8_t> samples) {
    return write(samples.data(), samples.size(), writeData) != 0;
  };
  uint32_t sampleRate = 0;
  uint64_t frameCount = 0;
  const bool ok =
      Player(player).synth().RenderSamples(midi, sink, sampleRate, frameCount, reason, told);
  if (rate != nullptr) *rate = sampleRate;
  if (frames != nullptr) *frames = frameCount;
  if (!ok) CopyText(reason, error, size);
  return ok ? 1 : 0;
}

double FirstBlockLatencyMs(void* player) { return Player(player).FirstBlockLatencyMs(); }

int ListOutputs(void* player, VemaNameList each, void* data) {
  std::string ignored;
  const std::vector<std::string> names = Player(player).ListOutputs(ignored);
  for (const std::string& name : names) each(name.c_str(), data);
  return static_cast<int>(names.size());
}

void SetOutput(void* player, const char* port) { Player(player).SetOutput(port != nullptr ? port : ""); }

int TakeNotice(void* player, char* port, size_t size) {
  const vema::PlayerNotice notice = Player(player).TakeNotice();
  CopyText(notice.port, port, size);
  switch (notice.kind) {
    case vema::PlayerNotice::Kind::kPortMissing:
      return kVemaNoticePortMissing;
    case vema::PlayerNotice::Kind::kPortLost:
      return kVemaNoticePortLost;
    case vema::PlayerNotice::Kind::kNone:
      break;
  }
  return kVemaNoticeNone;
}

void SoundNote(void* player, int channel, int program, int key, int velocity, int milliseconds) {
  Player(player).SoundNote(channel, program, key, velocity, milliseconds);
}

void Seek(void* player, int64_t tick) { Player(player).Seek(tick); }

const VemaPlayerModule kModule = {
    kPlayerModuleVersion, Create,      Destroy,    Command,   Prepare,
    WaitUntilEnd,         PlayingTick, RenderSamples, FirstBlockLatencyMs,
    ListOutputs,          SetOutput,   TakeNotice, SoundNote, Seek};

}  // namespace

extern "C" __attribute__((visibility("default"))) const VemaPlayerModule* vema_player_module() {
  // The player tells its own failures; the libraries' lines about them stay off the terminal.
  vema::QuietSoundLibraries();
  return &kModule;
}
