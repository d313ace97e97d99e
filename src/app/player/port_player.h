// A song played into a MIDI output port of the system (a hardware synthesizer, a music program)
// through RtMidi: ALSA and JACK on Linux, CoreMIDI and WinMM elsewhere.  A thread of its own
// sends every message at its time; stopping, the song's end and closing send note-offs and
// all-notes-off on every channel used, so that nothing hangs on.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "song/midi_sequence.h"

class RtMidiOut;

namespace vema {

// The names of the MIDI output ports the system offers now, from every MIDI system that works
// on this machine, in the order of the systems and then of their ports.
std::vector<std::string> ListMidiPorts();

class PortPlayer {
 public:
  PortPlayer();
  ~PortPlayer();
  PortPlayer(const PortPlayer&) = delete;
  PortPlayer& operator=(const PortPlayer&) = delete;

  // Closes what was open, then opens the named port for a song; false when there is no such
  // port or it cannot be opened.
  bool Open(const std::string& port, MidiSequence song);
  // Plays the song opened from a tick (-1: from where it was stopped, else its start).
  void Play(int64_t fromTick = -1);
  // Stops the song where it is; its notes end.
  void Stop();
  // Back to the start (at once, when playing).
  void Rewind();
  // Ends everything and lets the port go.
  void Close();
  // Moves a playing song to a tick; false when no song plays.
  bool Seek(int64_t tick);
  // Blocks while the song plays; false, with the reason, when the port went away meanwhile or
  // nothing was played.
  bool WaitUntilEnd(std::string& error);
  // The tick reached by the song, or -1 when none plays.
  int PlayingTick();
  bool Playing();
  // Sounds a note on the named port (on the port of the song while one plays); false when the
  // port is not there.
  bool SoundNote(const std::string& port, int channel, int program, int key, int velocity,
                 int milliseconds);
  // The name of the port that went away while the song played, once; "" otherwise.
  std::string TakeLostPort();

 private:
  using Clock = std::chrono::steady_clock;
  // A message to send at a time (besides the song's own).
  struct Queued {
    Clock::time_point at;
    uint8_t bytes[3];
    uint8_t size;
  };

  // All below with mutex_ held.
  bool OpenPort(const std::string& port);
  void ClosePort();
  // The port is no longer there: playback ends, the port is let go.
  void PortGone();
  void Send(const uint8_t* bytes, size_t size);
  void SendMessage(const TimedMidiMessage& message);
  void Queue(Clock::time_point at, const uint8_t* bytes, uint8_t size);
  // When the next message may go out: now, or once a port just opened is ready.
  Clock::time_point FirstSend() const;
  // Program changes, controllers and pitch bends before a tick, so that the song sounds there
  // as it would have sounded played from the start.
  void Chase(int64_t tick);
  // Note-offs for every note sounding, then all-notes-off on every channel used.
  void Silence();
  void StartAt(int64_t tick);
  // Close without the lock.
  void Shut();
  Clock::time_point DueAt(int64_t microseconds) const;
  void Run();
  // The thread that looks now and then whether the port is still there.
  void Watch();

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable watch_;
  std::thread worker_;
  std::thread watcher_;
  bool quit_ = false;
  std::unique_ptr<RtMidiOut> out_;
  std::string portName_;
  int api_ = 0;          // the RtMidi::Api of the port
  uint64_t opened_ = 0;  // counts the ports opened
  bool portFailed_ = false;  // RtMidi reported an error since the port was opened
  std::optional<MidiSequence> song_;
  bool playing_ = false;
  bool played_ = false;  // played since it was opened
  int64_t position_ = 0;  // where the next play starts
  size_t next_ = 0;       // the next message to send
  Clock::time_point origin_;
  std::array<std::array<uint8_t, 128>, 16> sounding_{};
  uint16_t channelsTouched_ = 0;
  bool unsilenced_ = false;  // something was sent since the last all-notes-off
  std::vector<Queued> queued_;  // by time
  Clock::time_point readyAt_;   // when the port opened last takes messages
  Clock::time_point lastSent_;  // when a message was sent last
  std::optional<Clock::time_point> idleSince_;
  std::string lostPort_;
  bool lost_ = false;
};

}  // namespace vema
