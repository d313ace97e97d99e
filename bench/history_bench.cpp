// The song history's latency, each as a whole `vema-cli` run on the shipped 96-bar form (stored
// form 6) composed at best of 16: re-making 8 bars (`reroll --bars 41-48`), and a step in the
// history (`recall N`, the song made again and its files written).  Both should stay within
// 50 ms.  The same two in memory, without starting the program, for comparison.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/compose_command.h"
#include "app/session.h"
#include "app/song_state.h"
#include "critic/silent_platform.h"
#include "editors/custom_form_store.h"

extern char** environ;

namespace vema {
namespace {

namespace fs = std::filesystem;

// A folder with the shipped data and two songs of the 96-bar form at best of 16.
class SuiteFolder {
 public:
  SuiteFolder() : dir_(fs::temp_directory_path() / ("vema-history-bench-" + std::to_string(::getpid()))) {
    fs::create_directories(dir_);
    for (const char* name : {"default.mld", "default.ton", "default.db"}) {
      fs::copy_file(fs::path(VEMA_SOURCE_DIR) / "data" / name, dir_ / name,
                    fs::copy_options::overwrite_existing);
    }
    fs::remove(dir_ / kHistoryFileName);
    for (const char* seed : {"12345", "678"}) {
      Run({VEMA_CLI, "compose", "--dir", dir_.string(), "--form", "6", "--seed", seed,
           "--best-of", "16"});
    }
  }
  ~SuiteFolder() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  const fs::path& dir() const { return dir_; }

  // Runs the program quietly and waits for it; false when it could not be run or failed.
  static bool Run(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const bool spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (!spawned || waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

 private:
  fs::path dir_;
};

void BM_CliRerollEightBarsOf96AtBestOf16(benchmark::State& state) {
  SuiteFolder folder;
  uint32_t seed = 1;
  for (auto _ : state) {
    if (!SuiteFolder::Run({VEMA_CLI, "reroll", "--dir", folder.dir().string(), "--bars", "41-48",
                           "--seed", std::to_string(seed++), "--best-of", "16"})) {
      state.SkipWithError("vema-cli reroll failed");
      break;
    }
    // Each re-make would go on from the one before; every one starts from the composed song.
    state.PauseTiming();
    SuiteFolder::Run({VEMA_CLI, "recall", "2", "--dir", folder.dir().string()});
    state.ResumeTiming();
  }
}
BENCHMARK(BM_CliRerollEightBarsOf96AtBestOf16)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CliStepInTheHistory(benchmark::State& state) {
  SuiteFolder folder;
  int entry = 1;
  for (auto _ : state) {
    if (!SuiteFolder::Run({VEMA_CLI, "recall", std::to_string(entry), "--dir",
                           folder.dir().string()})) {
      state.SkipWithError("vema-cli recall failed");
      break;
    }
    entry = 3 - entry;
  }
}
BENCHMARK(BM_CliStepInTheHistory)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same in one session, as the window does them (files written, history kept).
void BM_WindowRerollEightBarsAndStep(benchmark::State& state) {
  SuiteFolder folder;
  SilentPlatform platform;
  Session session(platform, SessionOptions{folder.dir().string(), 99u});
  StartUp(session);
  LoadCustomForm(session.Editors(), 6);
  session.bestOf = 16;
  for (auto _ : state) {
    if (!RemakeBarsCommand(session, 40, 47) || !StepHistory(session, -1)) {
      state.SkipWithError("a change failed");
      break;
    }
  }
}
BENCHMARK(BM_WindowRerollEightBarsAndStep)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace vema
