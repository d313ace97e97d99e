// A JACK server with its dummy driver (no sound card needed) as the MIDI system of a test, and a
// MIDI input port of the test's own that records what arrives, when.
#pragma once

#include <signal.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <RtMidi.h>
#include <jack/jack.h>

extern char** environ;

namespace vema::testing {

class JackServer {
 public:
  // Starts "jackd -n NAME -d dummy" and points the JACK clients of this process at it.
  // periodFrames: frames per cycle (at 44.1 kHz); MIDI goes out once a cycle.  The server runs
  // with real-time priority where the system allows it, and synchronously: on a busy machine a
  // client late for its cycle holds the cycle back (up to 5 s before it is thrown out) instead
  // of its messages being lost on the way to the receiving client.
  explicit JackServer(int periodFrames = 256) {
    name_ = "vema-test-" + std::to_string(::getpid());
    const std::string period = std::to_string(periodFrames);
    std::vector<std::string> words = {"jackd", "--sync", "--timeout", "5000"};
    for (const char* word : {"-n", name_.c_str(), "-d", "dummy", "-r", "44100", "-p"}) {
      words.push_back(word);
    }
    words.push_back(period);
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    const int failed = posix_spawnp(&pid_, "jackd", &quiet, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (failed != 0) {
      pid_ = -1;
      problem_ = "jackd could not be started (apt-get install jackd2)";
      return;
    }
    ::setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
    for (int attempt = 0; attempt < 100; ++attempt) {
      if (jack_client_t* client = jack_client_open("vema-probe", JackNoStartServer, nullptr)) {
        jack_client_close(client);
        return;
      }
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    problem_ = "the JACK server with the dummy driver did not start";
  }
  ~JackServer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  JackServer(const JackServer&) = delete;
  JackServer& operator=(const JackServer&) = delete;

  // Why it does not run ("" when it does).
  const std::string& problem() const { return problem_; }

 private:
  std::string name_;
  pid_t pid_ = -1;
  std::string problem_;
};

// The names of the JACK ports whose names match a regular expression, now.
inline std::vector<std::string> JackPorts(const std::string& pattern) {
  std::vector<std::string> names;
  jack_client_t* client = jack_client_open("vema-look", JackNoStartServer, nullptr);
  if (client == nullptr) return names;
  if (const char** ports = jack_get_ports(client, pattern.c_str(), nullptr, 0)) {
    for (const char** port = ports; *port != nullptr; ++port) names.push_back(*port);
    jack_free(ports);
  }
  jack_client_close(client);
  return names;
}

// A MIDI input port of the test ("CLIENT:in" under JACK) that keeps every message with the time
// it arrived.
class MidiReceiver {
 public:
  using Clock = std::chrono::steady_clock;
  struct Message {
    Clock::time_point at;
    std::vector<uint8_t> bytes;
  };

  explicit MidiReceiver(const std::string& client) : port_(client + ":in") {
    in_ = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, client);
    in_->setCallback(
        [](double, std::vector<unsigned char>* message, void* data) {
          auto* self = static_cast<MidiReceiver*>(data);
          const std::lock_guard lock(self->mutex_);
          self->messages_.push_back({Clock::now(), {message->begin(), message->end()}});
        },
        this);
    in_->openVirtualPort("in");
  }

  const std::string& port() const { return port_; }
  std::vector<Message> Messages() {
    const std::lock_guard lock(mutex_);
    return messages_;
  }
  // The bytes of every message so far.
  std::vector<std::vector<uint8_t>> Bytes() {
    std::vector<std::vector<uint8_t>> bytes;
    for (Message& message : Messages()) bytes.push_back(std::move(message.bytes));
    return bytes;
  }
  // Waits until this many messages have arrived; false when they did not in time.
  bool WaitFor(size_t count, int milliseconds = 5000) {
    const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (Clock::now() < end) {
      {
        const std::lock_guard lock(mutex_);
        if (messages_.size() >= count) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
  // Lets the port go, as a synthesizer that is switched off.
  void Close() { in_.reset(); }

 private:
  std::string port_;
  std::unique_ptr<RtMidiIn> in_;
  std::mutex mutex_;
  std::vector<Message> messages_;
};

}  // namespace vema::testing
