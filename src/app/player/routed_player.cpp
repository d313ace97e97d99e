#include "app/player/routed_player.h"

#include <utility>

#include "app/playback.h"
#include "song/composition_db.h"
#include "song/file_io.h"
#include "song/song_file.h"

namespace vema {

RoutedPlayer::RoutedPlayer(std::string dir, std::string audioDriver)
    : dir_(dir), synth_(std::move(dir), std::move(audioDriver)) {}

void RoutedPlayer::SetOutput(const std::string& port) {
  std::lock_guard lock(mutex_);
  if (port != chosen_) missingTold_ = false;
  chosen_ = port;
}

std::vector<std::string> RoutedPlayer::ListOutputs(std::string& error) {
  error.clear();
  return ListMidiPorts();
}

PlayerNotice RoutedPlayer::TakeNotice() {
  std::lock_guard lock(mutex_);
  if (notice_.kind == PlayerNotice::Kind::kNone) {
    if (std::string lost = port_.TakeLostPort(); !lost.empty()) {
      return {PlayerNotice::Kind::kPortLost, std::move(lost)};
    }
  }
  return std::exchange(notice_, PlayerNotice());
}

void RoutedPlayer::Open() {
  port_.Close();
  synth_.Command(kPlayerClose);
  onPort_ = false;
  if (!chosen_.empty()) {
    std::string ignored;  // the synthesizer reports an unreadable song itself
    const std::optional<std::vector<uint8_t>> bytes =
        ReadSongFile(ResolvePath(dir_, "out.mid"), "out.mid", ignored);
    std::optional<MidiSequence> song;
    if (bytes) song = ReadMidiSequence(*bytes);
    if (song) {
      if (port_.Open(chosen_, std::move(*song))) {
        onPort_ = true;
        missingTold_ = false;
        return;
      }
      notice_ = {PlayerNotice::Kind::kPortMissing, chosen_};
      missingTold_ = true;
    }
  }
  synth_.Command(kPlayerOpen);
}

void RoutedPlayer::Command(const std::string& command) {
  std::lock_guard lock(mutex_);
  if (command == kPlayerOpen) {
    Open();
    return;
  }
  if (command == kPlayerPlay) {
    const int64_t from = std::exchange(pendingSeek_, -1);
    if (onPort_) {
      port_.Play(from);
    } else {
      if (from >= 0) synth_.Seek(from);
      synth_.Command(command);
    }
    return;
  }
  if (command == kPlayerClose) {
    port_.Close();
    synth_.Command(command);
    onPort_ = false;
    return;
  }
  if (onPort_) {
    if (command == kPlayerStop) port_.Stop();
    if (command == kPlayerSeekStart) port_.Rewind();
  } else {
    synth_.Command(command);
  }
}

bool RoutedPlayer::Playing() { return onPort_ ? port_.Playing() : synth_.PlayingTick() >= 0; }

void RoutedPlayer::Seek(int64_t tick) {
  std::lock_guard lock(mutex_);
  if (Playing()) {
    if (onPort_) {
      port_.Seek(tick);
    } else {
      synth_.Seek(tick);
    }
  } else {
    pendingSeek_ = std::max<int64_t>(tick, 0);
  }
}

bool RoutedPlayer::WaitUntilEnd(std::string& error) {
  bool onPort = false;
  {
    std::lock_guard lock(mutex_);
    onPort = onPort_;
  }
  // Not under the lock: a stop from another thread (Ctrl-C) must get through.
  return onPort ? port_.WaitUntilEnd(error) : synth_.WaitUntilEnd(error);
}

int RoutedPlayer::PlayingTick() {
  std::lock_guard lock(mutex_);
  return onPort_ ? port_.PlayingTick() : synth_.PlayingTick();
}

void RoutedPlayer::SoundNote(int channel, int program, int key, int velocity, int milliseconds) {
  std::lock_guard lock(mutex_);
  if (!chosen_.empty()) {
    if (port_.SoundNote(chosen_, channel, program, key, velocity, milliseconds)) return;
    if (!missingTold_) {
      notice_ = {PlayerNotice::Kind::kPortMissing, chosen_};
      missingTold_ = true;
    }
  }
  synth_.SoundNote(channel, program, key, velocity, milliseconds);
}

bool RoutedPlayer::RenderWavTo(const std::string& midiPath, WavSink& wav, std::string& error,
                               const RenderProgress& progress) {
  return synth_.RenderWavTo(midiPath, wav, error, progress);
}

}  // namespace vema
