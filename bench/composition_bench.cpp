// One whole composition in memory: note lengths, pitches, the feel, the MIDI file and the two
// text files, over the shipped default data, for an 8-bar and a 96-bar form in each feel.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "accomp/accompaniment.h"
#include "song/platform.h"
#include "app/session.h"
#include "melody/note_length_generator.h"
#include "melody/pitch_generator.h"
#include "output/midi_writer.h"
#include "output/mml_writer.h"

namespace vema {
namespace {

// Answers the feel dialog and forgets everything shown.
class QuietPlatform : public Platform {
 public:
  int feel = 0;
  int messages = 0;
  void ShowMessage(const std::string&, MessageIcon) override { ++messages; }
  void ShowStatus(const std::string&) override {}
  std::optional<std::string> PromptLine() override { return std::nullopt; }
  std::optional<int> ChooseFeel() override { return feel; }
  std::optional<std::string> ChooseFile(const FileDialogRequest&) override { return std::nullopt; }
  void SendPlayerCommand(const std::string&) override {}
};

// Stored form 0 of the shipped store, as it is (8 bars) or repeated over twelve periods, each
// period composed anew (96 bars).
void PrepareForm(Session& session, int periods) {
  const SongForm first = session.form;
  const int bars = first.BarCount();
  SongForm form = first;
  form.lastPeriod = periods - 1;
  for (int bar = 0; bar < periods * kBarsPerPeriod; ++bar) {
    const int model = bar % bars;
    const int shift = bar - model;
    auto moved = [shift](int32_t source) { return source < 0 ? source : source + shift; };
    form.melodySource[bar] = moved(first.melodySource[model]);
    form.motifSource[bar] = moved(first.motifSource[model]);
    form.noteLengthSource[bar] = moved(first.noteLengthSource[model]);
    form.keyIndex[bar] = first.keyIndex[model];
    form.chordSymbol[bar] = first.chordSymbol[model];
  }
  for (int p = 0; p < kMaxPeriods; ++p) form.periodSource[p] = -1;
  session.form = form;
}

void BM_Composition(benchmark::State& state) {
  const int periods = static_cast<int>(state.range(0));
  QuietPlatform platform;
  platform.feel = static_cast<int>(state.range(1));
  Session session(platform, SessionOptions{std::string(VEMA_SOURCE_DIR) + "/data", 12345u});
  StartUp(session);
  PrepareForm(session, periods);
  size_t bytes = 0;
  for (auto _ : state) {
    NoteLengthGenerator(session.Melody()).Run();
    PitchGenerator(session.Melody()).Run();
    ChooseAccompanimentFeel(session.platform(), session.accompanimentFeel);
    MidiWriter writer(session.Writers());
    const std::vector<uint8_t> midi = writer.BuildFile(session.accompanimentFeel);
    const MmlFiles texts = BuildMmlFiles(session.Writers());
    bytes = midi.size() + texts.mml.size() + texts.work.size();
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["bars"] = periods * kBarsPerPeriod;
  state.counters["output_bytes"] = static_cast<double>(bytes);
  state.counters["log_bytes"] = static_cast<double>(session.log.text().size());
  state.counters["messages"] = platform.messages;
}

BENCHMARK(BM_Composition)
    ->ArgNames({"periods", "feel"})
    ->ArgsProduct({{1, 12}, {kMarch, kStandard, kBlues, kRock}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vema
