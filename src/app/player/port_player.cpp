#include "app/player/port_player.h"

#include <algorithm>
#include <iostream>
#include <mutex>
#include <sstream>
#include <utility>

#include <pthread.h>
#include <sched.h>

#include <RtMidi.h>

#if VEMA_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif
#if VEMA_HAVE_JACK
#include <jack/jack.h>
#endif

namespace vema {
namespace {

// The program's name among the MIDI clients, and its output port ("VEMA:out" under JACK).
constexpr const char* kClientName = "VEMA";
constexpr const char* kOutputName = "out";
// How often a port in use is looked for among the system's ports.
constexpr auto kPortCheckPeriod = std::chrono::milliseconds(250);
// A port with nothing to play is let go after this long.
constexpr auto kIdleBeforeClosing = std::chrono::seconds(2);
constexpr int kSenderPriority = 5;
// A connection just made takes a moment before messages get through (JACK makes it part of its
// graph at a later cycle): the first messages wait this long.
constexpr auto kPortSettle = std::chrono::milliseconds(100);
constexpr auto kDrainBeforeClosing = std::chrono::milliseconds(100);

constexpr uint8_t kNoteOff = 0x80;
constexpr uint8_t kNoteOn = 0x90;
constexpr uint8_t kPolyPressure = 0xA0;
constexpr uint8_t kControlChange = 0xB0;
constexpr uint8_t kProgramChange = 0xC0;
constexpr uint8_t kAllNotesOff = 123;

#if VEMA_HAVE_ALSA
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}
#endif
#if VEMA_HAVE_JACK
void QuietJack(const char*) {}
#endif

// The MIDI systems' own complaints (no sequencer device, no JACK server) would be printed on
// stderr at every look at the ports; the program says what matters itself.
void QuietenMidiSystems() {
  static std::once_flag once;
  std::call_once(once, [] {
#if VEMA_HAVE_ALSA
    snd_lib_error_set_handler(QuietAlsa);
#endif
#if VEMA_HAVE_JACK
    jack_set_error_function(QuietJack);
    jack_set_info_function(QuietJack);
#endif
  });
}

void IgnoreError(RtMidiError::Type, const std::string&, void*) {}

// An output client of one MIDI system, or nullptr where that system does not work here.
std::unique_ptr<RtMidiOut> MakeClient(RtMidi::Api api, RtMidiErrorCallback onError, void* data) {
  QuietenMidiSystems();
  // RtMidi prints its warnings on std::cerr while it sets up.
  std::ostringstream swallowed;
  std::streambuf* const cerr = std::cerr.rdbuf(swallowed.rdbuf());
  std::unique_ptr<RtMidiOut> out;
  try {
    out = std::make_unique<RtMidiOut>(api, kClientName);
    out->setErrorCallback(onError, data);
  } catch (const RtMidiError&) {
    out.reset();
  }
  std::cerr.rdbuf(cerr);
  return out;
}

// The thread that sends the song gets ahead of ordinary work where the system allows it (a
// real-time priority below that of JACK's own threads); elsewhere it runs as it is.
void SendOnTime(std::thread& thread) {
  sched_param param{};
  param.sched_priority = std::min(sched_get_priority_max(SCHED_FIFO),
                                  std::max(sched_get_priority_min(SCHED_FIFO), kSenderPriority));
  pthread_setschedparam(thread.native_handle(), SCHED_FIFO, &param);
}

std::vector<RtMidi::Api> MidiSystems() {
  std::vector<RtMidi::Api> apis;
  RtMidi::getCompiledApi(apis);
  std::erase(apis, RtMidi::RTMIDI_DUMMY);
  return apis;
}

std::vector<std::string> PortNames(RtMidiOut& out) {
  std::vector<std::string> names;
  const unsigned count = out.getPortCount();
  for (unsigned i = 0; i < count; ++i) names.push_back(out.getPortName(i));
  return names;
}

}  // namespace

std::vector<std::string> ListMidiPorts() {
  std::vector<std::string> names;
  for (const RtMidi::Api api : MidiSystems()) {
    if (const auto out = MakeClient(api, IgnoreError, nullptr)) {
      for (std::string& name : PortNames(*out)) {
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) {
          names.push_back(std::move(name));
        }
      }
    }
  }
  return names;
}

PortPlayer::PortPlayer() = default;

PortPlayer::~PortPlayer() {
  {
    std::lock_guard lock(mutex_);
    Shut();
    quit_ = true;
  }
  wake_.notify_all();
  watch_.notify_all();
  if (worker_.joinable()) worker_.join();
  if (watcher_.joinable()) watcher_.join();
}

bool PortPlayer::OpenPort(const std::string& port) {
  ClosePort();
  const RtMidiErrorCallback failed = [](RtMidiError::Type type, const std::string&, void* data) {
    // Called inside a call of ours into RtMidi, with the lock held.
    if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING) {
      static_cast<PortPlayer*>(data)->portFailed_ = true;
    }
  };
  for (const RtMidi::Api api : MidiSystems()) {
    auto out = MakeClient(api, failed, this);
    if (!out) continue;
    const std::vector<std::string> names = PortNames(*out);
    const auto it = std::find(names.begin(), names.end(), port);
    if (it == names.end()) continue;
    portFailed_ = false;
    try {
      out->openPort(static_cast<unsigned>(it - names.begin()), kOutputName);
    } catch (const RtMidiError&) {
      portFailed_ = true;
    }
    if (portFailed_ || !out->isPortOpen()) continue;
    out_ = std::move(out);
    portName_ = port;
    api_ = api;
    ++opened_;
    readyAt_ = Clock::now() + kPortSettle;
    idleSince_.reset();
    if (!worker_.joinable()) {
      worker_ = std::thread([this] { Run(); });
      SendOnTime(worker_);
      watcher_ = std::thread([this] { Watch(); });
    }
    watch_.notify_all();
    return true;
  }
  return false;
}

void PortPlayer::ClosePort() {
  // What was sent last is given a moment to get through before the connection goes (JACK passes
  // it on at its next cycle, possibly late on a busy machine).
  if (out_ && !portFailed_) {
    const auto drained = lastSent_ + kDrainBeforeClosing;
    if (Clock::now() < drained) std::this_thread::sleep_until(drained);
  }
  out_.reset();
  idleSince_.reset();
}

void PortPlayer::PortGone() {
  if (playing_) {
    lost_ = true;
    lostPort_ = portName_;
    playing_ = false;
  }
  sounding_ = {};
  queued_.clear();
  ClosePort();
  wake_.notify_all();
}

void PortPlayer::Watch() {
  // Asking the MIDI system for its ports may wait on it (the JACK server answers requests
  // between its cycles): never in the thread that sends, and with a client of its own.
  std::unique_ptr<RtMidiOut> client;
  RtMidi::Api clientApi = RtMidi::UNSPECIFIED;
  std::unique_lock lock(mutex_);
  while (!quit_) {
    if (!out_) {
      client.reset();
      watch_.wait(lock);
      continue;
    }
    const std::string port = portName_;
    const auto api = static_cast<RtMidi::Api>(api_);
    const uint64_t opened = opened_;
    lock.unlock();
    if (!client || clientApi != api) {
      client = MakeClient(api, IgnoreError, nullptr);
      clientApi = api;
    }
    std::vector<std::string> names;
    if (client) names = PortNames(*client);
    const bool there = std::find(names.begin(), names.end(), port) != names.end();
    lock.lock();
    if (!there && out_ && opened_ == opened) PortGone();
    watch_.wait_for(lock, kPortCheckPeriod);
  }
}

void PortPlayer::Send(const uint8_t* bytes, size_t size) {
  if (!out_) return;
  unsilenced_ = true;
  lastSent_ = Clock::now();
  try {
    out_->sendMessage(bytes, size);
  } catch (const RtMidiError&) {
    portFailed_ = true;
  }
}

void PortPlayer::SendMessage(const TimedMidiMessage& message) {
  const auto channel = static_cast<size_t>(message.Channel());
  uint8_t& count = sounding_[channel][message.bytes[1] & 0x7F];
  if (message.StartsNote()) {
    if (count < 255) ++count;
  } else if (message.EndsNote() && count > 0) {
    --count;
  }
  Send(message.bytes, message.size);
}

void PortPlayer::Queue(Clock::time_point at, const uint8_t* bytes, uint8_t size) {
  Queued message{at, {}, size};
  std::copy(bytes, bytes + size, message.bytes);
  // After those due at the same time: the order they were queued in is kept.
  const auto place = std::upper_bound(queued_.begin(), queued_.end(), at,
                                      [](Clock::time_point t, const Queued& q) { return t < q.at; });
  queued_.insert(place, message);
}

PortPlayer::Clock::time_point PortPlayer::FirstSend() const { return std::max(Clock::now(), readyAt_); }

void PortPlayer::Chase(int64_t tick) {
  const Clock::time_point at = FirstSend();
  for (const TimedMidiMessage& message : song_->messages) {
    if (message.tick >= tick) break;
    const uint8_t kind = message.Kind();
    if (kind != kNoteOff && kind != kNoteOn && kind != kPolyPressure) {
      Queue(at, message.bytes, message.size);
    }
  }
}

void PortPlayer::Silence() {
  if (!unsilenced_) return;
  for (size_t channel = 0; channel < sounding_.size(); ++channel) {
    for (size_t key = 0; key < sounding_[channel].size(); ++key) {
      for (; sounding_[channel][key] > 0; --sounding_[channel][key]) {
        const uint8_t off[] = {static_cast<uint8_t>(kNoteOff | channel), static_cast<uint8_t>(key), 0};
        Send(off, sizeof off);
      }
    }
  }
  const uint16_t channels = static_cast<uint16_t>((song_ ? song_->channelsUsed : 0) | channelsTouched_);
  for (int channel = 0; channel < 16; ++channel) {
    if ((channels >> channel & 1) == 0) continue;
    const uint8_t allOff[] = {static_cast<uint8_t>(kControlChange | channel), kAllNotesOff, 0};
    Send(allOff, sizeof allOff);
  }
  unsilenced_ = false;
}

PortPlayer::Clock::time_point PortPlayer::DueAt(int64_t microseconds) const {
  return origin_ + std::chrono::microseconds(microseconds);
}

void PortPlayer::StartAt(int64_t tick) {
  tick = std::clamp<int64_t>(tick, 0, song_->endTick);
  Chase(tick);
  next_ = song_->FirstAt(tick);
  origin_ = FirstSend() - std::chrono::microseconds(song_->MicrosecondsAt(tick));
  playing_ = true;
  played_ = true;
  idleSince_.reset();
}

bool PortPlayer::Open(const std::string& port, MidiSequence song) {
  std::lock_guard lock(mutex_);
  Shut();
  lost_ = false;
  if (!OpenPort(port)) return false;
  song_ = std::move(song);
  return true;
}

void PortPlayer::Play(int64_t fromTick) {
  std::lock_guard lock(mutex_);
  if (!song_) return;
  if (playing_) Silence();
  if (!out_ && !OpenPort(portName_)) {
    lost_ = true;
    lostPort_ = portName_;
    return;
  }
  StartAt(fromTick >= 0 ? fromTick : position_);
  wake_.notify_all();
}

void PortPlayer::Stop() {
  std::lock_guard lock(mutex_);
  if (!playing_) return;
  position_ = std::clamp<int64_t>(
      song_->TickAt(std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - origin_)
                        .count()),
      0, song_->endTick);
  playing_ = false;
  Silence();
  wake_.notify_all();
}

void PortPlayer::Rewind() {
  std::lock_guard lock(mutex_);
  position_ = 0;
  if (playing_) {
    Silence();
    StartAt(0);
    wake_.notify_all();
  }
}

void PortPlayer::Close() {
  std::lock_guard lock(mutex_);
  Shut();
}

void PortPlayer::Shut() {
  playing_ = false;
  // The notes sounded on request end now; what else waited is dropped.
  for (const Queued& message : queued_) {
    if ((message.bytes[0] & 0xF0) == kNoteOff) Send(message.bytes, message.size);
  }
  queued_.clear();
  Silence();
  song_.reset();
  ClosePort();
  channelsTouched_ = 0;
  position_ = 0;
  played_ = false;
  wake_.notify_all();
}

bool PortPlayer::Seek(int64_t tick) {
  std::lock_guard lock(mutex_);
  if (!playing_) return false;
  Silence();
  StartAt(tick);
  wake_.notify_all();
  return true;
}

bool PortPlayer::WaitUntilEnd(std::string& error) {
  std::unique_lock lock(mutex_);
  if (!played_ && !lost_) {
    error = "nothing is playing";
    return false;
  }
  wake_.wait(lock, [this] { return !playing_; });
  if (lost_) {
    error = "the MIDI output " + portName_ + " went away";
    return false;
  }
  return true;
}

int PortPlayer::PlayingTick() {
  std::lock_guard lock(mutex_);
  if (!playing_) return -1;
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - origin_).count();
  return static_cast<int>(std::clamp<int64_t>(song_->TickAt(elapsed), 0, song_->endTick));
}

bool PortPlayer::Playing() {
  std::lock_guard lock(mutex_);
  return playing_;
}

bool PortPlayer::SoundNote(const std::string& port, int channel, int program, int key,
                           int velocity, int milliseconds) {
  if (channel < 0 || channel > 15 || key < 0 || key > 127) return false;
  std::lock_guard lock(mutex_);
  const bool samePort = out_ && (portName_ == port || playing_);
  if (!samePort && !OpenPort(port)) return false;
  const Clock::time_point at = FirstSend();
  if (channel != 9) {
    const uint8_t change[] = {static_cast<uint8_t>(kProgramChange | channel),
                              static_cast<uint8_t>(std::clamp(program, 0, 127))};
    Queue(at, change, sizeof change);
  }
  const uint8_t on[] = {static_cast<uint8_t>(kNoteOn | channel), static_cast<uint8_t>(key),
                        static_cast<uint8_t>(std::clamp(velocity, 1, 127))};
  Queue(at, on, sizeof on);
  const uint8_t off[] = {static_cast<uint8_t>(kNoteOff | channel), static_cast<uint8_t>(key), 0};
  Queue(at + std::chrono::milliseconds(std::clamp(milliseconds, 1, 60000)), off, sizeof off);
  channelsTouched_ |= static_cast<uint16_t>(1u << channel);
  idleSince_.reset();
  wake_.notify_all();
  return true;
}

std::string PortPlayer::TakeLostPort() {
  std::lock_guard lock(mutex_);
  return std::exchange(lostPort_, std::string());
}

void PortPlayer::Run() {
  std::unique_lock lock(mutex_);
  while (!quit_) {
    const auto now = Clock::now();
    // What was queued first (the song's state before its start, notes on request), then the song.
    size_t due = 0;
    while (due < queued_.size() && queued_[due].at <= now) {
      Send(queued_[due].bytes, queued_[due].size);
      ++due;
    }
    queued_.erase(queued_.begin(), queued_.begin() + static_cast<std::ptrdiff_t>(due));
    if (playing_) {
      const auto& messages = song_->messages;
      while (next_ < messages.size() && DueAt(messages[next_].microseconds) <= now) {
        SendMessage(messages[next_++]);
      }
      if (next_ >= messages.size() && DueAt(song_->endMicroseconds) <= now) {
        playing_ = false;
        position_ = 0;
        Silence();
        wake_.notify_all();
      }
    }
    if (out_ && portFailed_) PortGone();
    const bool idle = !playing_ && queued_.empty();
    if (!idle) {
      idleSince_.reset();
    } else if (out_ && !idleSince_) {
      idleSince_ = now;
    } else if (out_ && now - *idleSince_ >= kIdleBeforeClosing) {
      ClosePort();
    }

    // Sleep until the next thing to do, or until a command wakes the thread.
    std::optional<Clock::time_point> wakeAt;
    const auto consider = [&wakeAt](Clock::time_point at) {
      if (!wakeAt || at < *wakeAt) wakeAt = at;
    };
    if (playing_) {
      consider(next_ < song_->messages.size() ? DueAt(song_->messages[next_].microseconds)
                                              : DueAt(song_->endMicroseconds));
    }
    if (!queued_.empty()) consider(queued_.front().at);
    if (out_ && idleSince_) consider(*idleSince_ + kIdleBeforeClosing);
    if (wakeAt) {
      wake_.wait_until(lock, *wakeAt);
    } else {
      wake_.wait(lock);
    }
  }
}

}  // namespace vema
