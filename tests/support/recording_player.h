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

// Hands every call on to a player that lives longer (for factories, which give theirs away).
class PlayerProxy : public SongPlayer {
 public:
  explicit PlayerProxy(SongPlayer& to) : to_(to) {}
  void Command(const std::string& command) override { to_.Command(command); }
  bool WaitUntilEnd(std::string& error) override { return to_.WaitUntilEnd(error); }
  int PlayingTick() override { return to_.PlayingTick(); }
  bool RenderWav(const std::string& midi, const std::string& wav, std::string& error,
                 const RenderProgress& progress) override {
    return to_.RenderWav(midi, wav, error, progress);
  }
  void SoundNote(int channel, int program, int key, int velocity, int milliseconds) override {
    to_.SoundNote(channel, program, key, velocity, milliseconds);
  }
  void Seek(int64_t tick) override { to_.Seek(tick); }
  std::vector<std::string> ListOutputs(std::string& error) override { return to_.ListOutputs(error); }
  void SetOutput(const std::string& port) override { to_.SetOutput(port); }
  PlayerNotice TakeNotice() override { return to_.TakeNotice(); }

 private:
  SongPlayer& to_;
};

}  // namespace vema::testing
