// How closely a song played into a MIDI output port keeps its time: a JACK server on its dummy
// driver (no sound card) is the MIDI system, an input port of this program the instrument; the
// song goes out through the player module as PLAY sends it, and every message's arrival is
// compared with its time in the file.
//
//   vema_port_timing [--song FILE] [--seconds N] [--period FRAMES] [--runs N]
//
// Without --song it composes the shipped default form (vema-cli compose, seed 7, rock) in a
// scratch folder.  Printed per run: the messages, the median and the largest deviation of their
// arrival from their time in the file (after taking away the median offset: the time a message
// takes to get through), in milliseconds.  Target on a quiet machine: median <= 2 ms, largest
// <= 10 ms.  JACK hands MIDI on once a cycle, so the period (default 64 frames, 1.45 ms at
// 44.1 kHz) bounds what can be reached; a bare loop sending the same messages straight into
// RtMidi shows what the machine allows at the moment.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/playback.h"
#include "app/player_loader.h"
#include "song/midi_sequence.h"
#include "support/jack_midi.h"
#include "support/test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int Usage() {
  std::fprintf(stderr,
               "usage: vema_port_timing [--song FILE] [--seconds N] [--period FRAMES] [--runs N]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string songPath;
  double seconds = 30;
  int period = 64;
  int runs = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--song") {
      songPath = argv[i + 1];
    } else if (option == "--seconds") {
      seconds = std::atof(argv[i + 1]);
    } else if (option == "--period") {
      period = std::atoi(argv[i + 1]);
    } else if (option == "--runs") {
      runs = std::max(1, std::atoi(argv[i + 1]));
    } else {
      return Usage();
    }
  }
  if (argc % 2 == 0) return Usage();

  vema::testing::TempDir dir;
  if (songPath.empty()) {
    for (const char* name : {"default.mld", "default.ton", "default.db"}) {
      std::filesystem::copy_file(std::string(VEMA_SOURCE_DIR) + "/data/" + name, dir.File(name));
    }
    const std::string compose = std::string(VEMA_CLI) + " compose --seed 7 --feel rock --dir " +
                                dir.str() + " >/dev/null 2>&1";
    if (std::system(compose.c_str()) != 0) {
      std::fprintf(stderr, "vema-cli compose failed\n");
      return 1;
    }
  } else {
    std::filesystem::copy_file(songPath, dir.File("out.mid"));
  }
  const std::optional<vema::MidiSequence> song =
      vema::ReadMidiSequence(vema::testing::ReadAll(dir.File("out.mid")));
  if (!song) {
    std::fprintf(stderr, "no whole MIDI file\n");
    return 1;
  }
  // The messages of the first seconds of the song.
  const auto limit = static_cast<int64_t>(seconds * 1e6);
  size_t count = 0;
  while (count < song->messages.size() && song->messages[count].microseconds <= limit) ++count;

  vema::testing::JackServer jack(period);
  if (!jack.problem().empty()) {
    std::fprintf(stderr, "%s\n", jack.problem().c_str());
    return 1;
  }
  std::printf("%zu messages over %.0f s of the song; JACK dummy driver, %d frames a cycle (%.2f ms)\n",
              count, std::min<double>(seconds, static_cast<double>(song->endMicroseconds) / 1e6),
              period, period / 44.1);
  // Each message of the file is looked for among those that arrived after the one found last:
  // a message lost on the way (JACK drops what a client too late for its cycle would have got)
  // is counted, never matched with another.  The deviations are taken from the median offset.
  struct Timing {
    double median = 0, largest = 0;
    size_t lost = 0;
  };
  const auto measure = [&](const std::vector<vema::testing::MidiReceiver::Message>& received) {
    Timing timing;
    std::vector<double> offsets;
    size_t next = 0;
    for (size_t i = 0; i < count; ++i) {
      const vema::TimedMidiMessage& m = song->messages[i];
      const std::vector<uint8_t> expected(m.bytes, m.bytes + m.size);
      size_t found = next;
      while (found < received.size() && found < next + 32 && received[found].bytes != expected) {
        ++found;
      }
      if (found >= received.size() || received[found].bytes != expected) {
        ++timing.lost;
        continue;
      }
      next = found + 1;
      const double at =
          std::chrono::duration<double, std::milli>(received[found].at - received[0].at).count();
      offsets.push_back(at - static_cast<double>(m.microseconds) / 1e3);
    }
    const double offset = Median(offsets);
    std::vector<double> deviations;
    for (const double o : offsets) deviations.push_back(std::abs(o - offset));
    timing.median = Median(deviations);
    timing.largest = deviations.empty() ? 0 : *std::max_element(deviations.begin(), deviations.end());
    return timing;
  };
  const int wait = static_cast<int>(
      std::min<double>(seconds, static_cast<double>(song->endMicroseconds) / 1e6) * 1000) + 3000;

  std::vector<double> medians, largest;
  size_t lost = 0;
  for (int run = 0; run < runs; ++run) {
    vema::testing::MidiReceiver receiver("vema-timing-" + std::to_string(run));
    const auto player = vema::LoadSongPlayer(dir.str(), "", VEMA_PLAYER_MODULE);
    player->SetOutput(receiver.port());
    player->Command(vema::kPlayerOpen);
    player->Command(vema::kPlayerPlay);
    receiver.WaitFor(count, wait);  // until they have all arrived, or should have
    for (const char* command : {vema::kPlayerStop, vema::kPlayerSeekStart, vema::kPlayerClose}) {
      player->Command(command);
    }
    const Timing timing = measure(receiver.Messages());
    medians.push_back(timing.median);
    largest.push_back(timing.largest);
    lost += timing.lost;
    std::printf("run %d: deviation median %.2f ms, largest %.2f ms; %zu of %zu messages lost\n",
                run + 1, timing.median, timing.largest, timing.lost, count);
  }
  // The floor of this machine: the same messages sent at their times by a bare loop straight
  // into RtMidi, without the player.
  {
    vema::testing::MidiReceiver receiver("vema-timing-floor");
    RtMidiOut out(RtMidi::UNIX_JACK, "vema-timing-bare");
    for (unsigned i = 0; i < out.getPortCount(); ++i) {
      if (out.getPortName(i) == receiver.port()) out.openPort(i, "out");
    }
    const auto start = Clock::now();
    for (size_t i = 0; i < count; ++i) {
      std::this_thread::sleep_until(start + std::chrono::microseconds(song->messages[i].microseconds));
      out.sendMessage(song->messages[i].bytes, song->messages[i].size);
    }
    receiver.WaitFor(count, 3000);
    const Timing floor = measure(receiver.Messages());
    std::printf("a bare RtMidi loop on this machine: deviation median %.2f ms, largest %.2f ms; "
                "%zu lost\n", floor.median, floor.largest, floor.lost);
  }
  const std::string load = [] {
    std::string text;
    if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
      char line[64] = "";
      if (std::fgets(line, sizeof line, f) != nullptr) text = line;
      std::fclose(f);
    }
    return text.substr(0, text.find(' ', text.find(' ', text.find(' ') + 1) + 1));
  }();
  std::printf("the player over %d runs: median %.2f ms, largest %.2f ms, %zu messages lost "
              "(load average %s)\n",
              runs, Median(medians), *std::max_element(largest.begin(), largest.end()), lost,
              load.c_str());
  return 0;
}
