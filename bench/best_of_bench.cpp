// Best of 16 over the shipped 96-bar form (stored form 6): the whole composition in memory (16
// melodies composed and scored out of sight, each bar's lengths and pitches the best of four
// draws, the chosen one composed again with its trace, lifted to its octave, the MIDI file and
// the two text files), and the whole program: `vema-cli compose --best-of 16`.
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/session.h"
#include "critic/melody_choice.h"
#include "critic/silent_platform.h"
#include "editors/custom_form_store.h"
#include "melody/note_length_generator.h"
#include "melody/pitch_generator.h"
#include "output/midi_writer.h"
#include "output/mml_writer.h"

extern char** environ;

namespace vema {
namespace {

constexpr int kSuiteForm = 6;  // "96小節の組曲"
constexpr int kCandidates = 16;

void BM_BestOf16InMemory(benchmark::State& state) {
  SilentPlatform platform;
  Session session(platform, SessionOptions{std::string(VEMA_SOURCE_DIR) + "/data", 12345u});
  StartUp(session);
  LoadCustomForm(session.Editors(), kSuiteForm);
  double score = 0;
  for (auto _ : state) {
    const MelodyChoice choice = ChooseMelody(session.Melody(), kCandidates);
    session.random = choice.chosenStart;
    RunChosenLengths(session.Melody(), choice);
    RunChosenPitches(session.Melody(), choice);
    session.random = choice.end;
    ApplyMelodyOctave(session.Melody(), kAutoMelodyOctave);
    MidiWriter writer(session.Writers());
    const std::vector<uint8_t> midi = writer.BuildFile(session.accompanimentFeel);
    const MmlFiles texts = BuildMmlFiles(session.Writers());
    benchmark::DoNotOptimize(midi.size() + texts.mml.size() + texts.work.size());
    score = choice.score;
  }
  state.counters["bars"] = session.form.BarCount();
  state.counters["score"] = score;
}
BENCHMARK(BM_BestOf16InMemory)->Unit(benchmark::kMillisecond);

// The melody phases alone, once, for comparison: what each candidate costs with its trace.
void BM_SingleMelodyInMemory(benchmark::State& state) {
  SilentPlatform platform;
  Session session(platform, SessionOptions{std::string(VEMA_SOURCE_DIR) + "/data", 12345u});
  StartUp(session);
  LoadCustomForm(session.Editors(), kSuiteForm);
  for (auto _ : state) {
    NoteLengthGenerator(session.Melody()).Run();
    PitchGenerator(session.Melody()).Run();
  }
}
BENCHMARK(BM_SingleMelodyInMemory)->Unit(benchmark::kMillisecond);

// Runs the program and waits for it; false when it could not be run or failed.
bool Run(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_CliComposeBestOf16(benchmark::State& state) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("vema-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  for (const char* name : {"default.mld", "default.ton", "default.db"}) {
    fs::copy_file(fs::path(VEMA_SOURCE_DIR) / "data" / name, dir / name,
                  fs::copy_options::overwrite_existing);
  }
  // The program's messages would go to stderr: a quiet run keeps the report readable.
  const std::vector<std::string> command = {"/bin/sh", "-c",
                                            std::string("'") + VEMA_CLI + "' compose --dir '" +
                                                dir.string() +
                                                "' --form 6 --seed 12345 --best-of 16 2>/dev/null"};
  for (auto _ : state) {
    if (!Run(command)) {
      state.SkipWithError("vema-cli compose failed");
      break;
    }
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);
}
BENCHMARK(BM_CliComposeBestOf16)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace vema
