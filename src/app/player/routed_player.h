// The player behind the module's C face: the song and the notes go to the output chosen, the
// built-in synthesizer or a MIDI output port; a port that is not there at PLAY is told about and
// the synthesizer plays instead.
#pragma once

#include <mutex>
#include <string>

#include "app/player/fluid_player.h"
#include "app/player/port_player.h"
#include "app/song_player.h"

namespace vema {

class RoutedPlayer : public SongPlayer {
 public:
  RoutedPlayer(std::string dir, std::string audioDriver);

  void Command(const std::string& command) override;
  bool WaitUntilEnd(std::string& error) override;
  int PlayingTick() override;
  bool RenderWavTo(const std::string& midiPath, WavSink& wav, std::string& error,
                   const RenderProgress& progress = {}) override;
  bool Prepare(std::string& error) override { return synth_.Prepare(error); }
  double FirstBlockLatencyMs() const override { return synth_.FirstBlockLatencyMs(); }
  void SoundNote(int channel, int program, int key, int velocity, int milliseconds) override;
  void Seek(int64_t tick) override;
  std::vector<std::string> ListOutputs(std::string& error) override;
  void SetOutput(const std::string& port) override;
  PlayerNotice TakeNotice() override;

  FluidPlayer& synth() { return synth_; }

 private:
  void Open();
  bool Playing();

  std::string dir_;
  FluidPlayer synth_;
  PortPlayer port_;
  std::mutex mutex_;  // guards the fields below
  std::string chosen_;       // "" for the built-in synthesizer
  bool onPort_ = false;      // the song opened last went to the port
  bool missingTold_ = false; // the missing port was told since it was chosen
  int64_t pendingSeek_ = -1;
  PlayerNotice notice_;
};

}  // namespace vema
