// A stand-in for the MIDI file player in tests of the front ends and windows: it records the
// command strings, the notes sounded and the seeks, plays a song of a set length on a clock the
// test moves, and hands out the notices the test queues.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "app/playback.h"
#include "app/song_player.h"

namespace vema::testing {

class RecordingPlayer : public SongPlayer {
 public:
  struct Note {
    int channel, program, key, velocity, milliseconds;
    bool operator==(const Note&) const = default;
  };

  // Filled as the player is used.
  std::vector<std::string> commands;
  std::vector<Note> notes;
  std::vector<int64_t> seeks;
  std::vector<std::string> outputsChosen;
  // Set by the test: the MIDI outputs there are, the notices to hand out, where a song that
  // plays has got to (-1: at its end).
  std::vector<std::string> outputs;
  std::deque<PlayerNotice> notices;
  int tick = 0;

  void Command(const std::string& command) override {
    commands.push_back(command);
    if (command == kPlayerPlay) playing_ = true;
    if (command == kPlayerStop || command == kPlayerClose) playing_ = false;
  }
  bool WaitUntilEnd(std::string&) override { return true; }
  int PlayingTick() override { return playing_ ? tick : -1; }
  void SoundNote(int channel, int program, int key, int velocity, int milliseconds) override {
    notes.push_back({channel, program, key, velocity, milliseconds});
  }
  void Seek(int64_t to) override { seeks.push_back(to); }
  std::vector<std::string> ListOutputs(std::string& error) override {
    error.clear();
    return outputs;
  }
  void SetOutput(const std::string& port) override { outputsChosen.push_back(port); }
  PlayerNotice TakeNotice() override {
    if (notices.empty()) return {};
    PlayerNotice notice = notices.front();
    notices.pop_front();
    return notice;
  }

 private:
  bool playing_ = false;
};

}  // namespace vema::testing
