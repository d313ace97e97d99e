// Best of N in the compose command: N = 1 is the single composition byte for byte; N > 1 keeps
// the highest-scoring candidate and leaves everything as if it had been the only composition;
// every candidate starts from the same state; messages and dialogs come once; the command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "accomp/accompaniment.h"
#include "app/cli.h"
#include "app/compose_command.h"
#include "app/tiny_song_files.h"
#include "critic/melody_choice.h"
#include "critic/melody_critic.h"
#include "melody/melody_state.h"
#include "editors/custom_form_store.h"
#include "melody/note_length_generator.h"
#include "melody/pitch_generator.h"
#include "output/midi_writer.h"
#include "output/mml_writer.h"

namespace vema {
namespace {

// A session over a copy of the shipped data, with one stored form loaded.
struct Composer {
  Composer(int form, uint32_t seed, bool tiny = false) : t(dir.str(), seed) {
    if (tiny) {
      testing::WriteTinyFolder(dir.str());
    } else {
      for (const char* name : {"default.mld", "default.ton", "default.db"}) {
        std::filesystem::copy_file(testing::DataDir() + "/" + name, dir.File(name));
      }
    }
    StartUp(s());
    LoadCustomForm(s().Editors(), form);
    p().messages.clear();
  }
  Session& s() { return *t.session; }
  ScriptedPlatform& p() { return t.platform; }
  std::vector<uint8_t> File(const char* name) { return testing::ReadAll(dir.File(name)); }

  testing::TempDir dir;
  testing::TestSession t;
};

// The composition through its plain phases, in the order of the compose command: without a
// choice, what the program did before best-of-N existed; with one, the pitch phase gives each
// bar the random source that the choice kept for it.
void ComposeThroughThePhases(Session& s, const MelodyChoice* choice = nullptr) {
  s.platform().ShowStatus(std::string(kStatusNoteLengths));
  NoteLengthGenerator(s.Melody()).Run();
  s.platform().ShowStatus(std::string(kStatusPitches));
  if (choice != nullptr) {
    RunChosenPitches(s.Melody(), *choice);
  } else {
    PitchGenerator(s.Melody()).Run();
  }
  s.platform().ShowStatus(std::string(kStatusAccompaniment));
  ChooseAccompanimentFeel(s.platform(), s.accompanimentFeel);
  s.platform().ShowStatus(std::string(kStatusMidi));
  MidiWriter(s.Writers()).Write(s.accompanimentFeel);
  s.platform().ShowStatus(std::string(kStatusMml));
  WriteMmlFile(s.Writers());
  s.platform().ShowStatus(kBlankStatus);
}

bool SameChain(const ChainState& a, const ChainState& b) {
  return a.sameRun == b.sameRun && a.reverseRun == b.reverseRun && a.otherRun == b.otherRun &&
         a.expectedPitch == b.expectedPitch && a.hightmode == b.hightmode &&
         a.reverseDesire == b.reverseDesire && a.repeatedLast == b.repeatedLast;
}

// The next draws of a random source, without touching it.
std::vector<double> NextDraws(const RandomSource& random) {
  RandomSource copy = random;
  std::vector<double> draws;
  for (int i = 0; i < 8; ++i) draws.push_back(copy.NextUniform());
  return draws;
}

// Everything a composition leaves in two sessions is the same: the files, the tables, the melody
// state, the trace, the image, what the person saw and the random source's next draws.
void ExpectSameAfterwards(Composer& a, Composer& b) {
  for (const char* name : {"out.mid", "out.mml", "work.txt"}) {
    EXPECT_EQ(a.File(name), b.File(name)) << name;
  }
  EXPECT_EQ(a.s().log.text(), b.s().log.text());
  EXPECT_EQ(a.s().midiImage.bytes, b.s().midiImage.bytes);
  EXPECT_EQ(std::memcmp(&a.s().barNotes, &b.s().barNotes, sizeof(BarNoteTable)), 0);
  EXPECT_EQ(std::memcmp(&a.s().patternPairs, &b.s().patternPairs, sizeof(BarPatternPair)), 0);
  for (int step = 0; step < kTrackSteps; ++step) {
    for (int voice : {0, 1}) {
      const TrackNote &x = a.s().noteTrack.at(step, voice), &y = b.s().noteTrack.at(step, voice);
      ASSERT_TRUE(x.length == y.length && x.pitch == y.pitch && x.octave == y.octave) << step;
    }
  }
  EXPECT_TRUE(SameChain(a.s().chain, b.s().chain));
  EXPECT_EQ(a.s().chordTones, b.s().chordTones);
  EXPECT_EQ(a.s().keyScale, b.s().keyScale);
  EXPECT_EQ(a.s().statusText, b.s().statusText);
  EXPECT_EQ(a.p().statuses, b.p().statuses);
  ASSERT_EQ(a.p().messages.size(), b.p().messages.size());
  for (size_t i = 0; i < a.p().messages.size(); ++i) {
    EXPECT_EQ(a.p().messages[i].text, b.p().messages[i].text);
  }
  EXPECT_EQ(a.p().feelDialogsShown, b.p().feelDialogsShown);
}

TEST(BestOf, OneIsTheSingleCompositionByteForByte) {
  for (int form : {0, 4, 6}) {
    for (uint32_t seed : {1u, 99u}) {
      SCOPED_TRACE("form " + std::to_string(form) + " seed " + std::to_string(seed));
      Composer command(form, seed), phases(form, seed);
      command.p().feelAnswers = phases.p().feelAnswers = {kBlues};
      ASSERT_EQ(command.s().bestOf, 1);
      EXPECT_FALSE(ComposeCommand(command.s()).has_value());
      ComposeThroughThePhases(phases.s());
      ExpectSameAfterwards(command, phases);
      EXPECT_EQ(NextDraws(command.s().random), NextDraws(phases.s().random));
    }
  }
}

TEST(BestOf, TheChosenCandidateIsTheBestAndLeavesItsStateAsTheOnlyComposition) {
  constexpr int kCandidates = 8;
  for (int form : {0, 6}) {
    SCOPED_TRACE(form);
    // A second composition in the same session: the chain state carries over into it.
    Composer probe(form, 5), command(form, 5), replay(form, 5);
    for (Composer* c : {&probe, &command, &replay}) ComposeCommand(c->s());

    // Choosing changes nothing.
    const NoteTrackTable trackBefore = probe.s().noteTrack;
    const ChainState chainBefore = probe.s().chain;
    const std::vector<double> drawsBefore = NextDraws(probe.s().random);
    const MelodyChoice choice = ChooseMelody(probe.s().Melody(), kCandidates);
    EXPECT_EQ(NextDraws(probe.s().random), drawsBefore);
    EXPECT_TRUE(SameChain(probe.s().chain, chainBefore));
    EXPECT_EQ(std::memcmp(&probe.s().barNotes, &command.s().barNotes, sizeof(BarNoteTable)), 0);
    // Both the melody and the bass line are put back, note for note.
    for (int step = 0; step < kTrackSteps; ++step) {
      for (int voice : {0, 1}) {
        const TrackNote& now = probe.s().noteTrack.at(step, voice);
        const TrackNote& then = trackBefore.at(step, voice);
        ASSERT_TRUE(now.length == then.length && now.pitch == then.pitch &&
                    now.octave == then.octave)
            << "step " << step << " voice " << voice;
      }
    }
    ASSERT_EQ(choice.scores.size(), size_t{kCandidates});
    const auto best = std::max_element(choice.scores.begin(), choice.scores.end());
    EXPECT_EQ(choice.chosen, best - choice.scores.begin());
    EXPECT_EQ(choice.score, *best);
    EXPECT_GT(*best, *std::min_element(choice.scores.begin(), choice.scores.end()));

    // The command keeps the chosen candidate, composed once through the plain phases from its
    // start, each bar from the random source kept for it: files, trace and state are those.
    ASSERT_EQ(choice.ruleStarts.size(), static_cast<size_t>(command.s().form.BarCount()));
    ASSERT_EQ(choice.pitchStarts.size(), static_cast<size_t>(command.s().form.BarCount()));
    command.s().bestOf = kCandidates;
    const std::optional<double> score = ComposeCommand(command.s());
    ASSERT_TRUE(score.has_value());
    EXPECT_EQ(*score, choice.score);
    EXPECT_EQ(ScoreComposedMelody(command.s().Melody()), choice.score);
    replay.s().random = choice.chosenStart;
    replay.s().random.SetPlatform(&replay.p());
    ComposeThroughThePhases(replay.s(), &choice);
    ExpectSameAfterwards(command, replay);
    // The random source runs on past the last candidate, and still tells this session's person.
    EXPECT_EQ(NextDraws(command.s().random), NextDraws(choice.end));
    EXPECT_EQ(command.s().random.platform(), &command.p());
    EXPECT_EQ(choice.chosenStart.platform(), &probe.p());
  }
}

TEST(BestOf, EveryCandidateStartsFromTheSameState) {
  constexpr int kCandidates = 5;
  // Whole melodies only (each candidate is the single composition), and bar by bar.
  for (int draws : {0, 3}) {
    SCOPED_TRACE(draws);
    Composer c(3, 11);
    ComposeCommand(c.s());
    const MelodyChoice all = ChooseMelody(c.s().Melody(), kCandidates, draws);
    // By default one candidate is the single composition itself.
    if (draws == 0) {
      EXPECT_EQ(ChooseMelody(c.s().Melody(), 1).score, all.scores[0]);
    }
    RandomSource start = c.s().random;
    for (int i = 0; i < kCandidates; ++i) {
      // Candidate i begins where the first i candidates left the random source.
      if (i > 0) start = ChooseMelody(c.s().Melody(), i, draws).end;
      Composer alone(3, 11);
      ComposeCommand(alone.s());
      alone.s().random = start;
      if (draws > 0) {
        EXPECT_EQ(ChooseMelody(alone.s().Melody(), 1, draws).score,
                  all.scores[static_cast<size_t>(i)]) << i;
        continue;
      }
      NoteLengthGenerator(alone.s().Melody()).Run();
      ASSERT_EQ(PitchGenerator(alone.s().Melody()).Run(), 1);
      EXPECT_EQ(ScoreComposedMelody(alone.s().Melody()), all.scores[static_cast<size_t>(i)]) << i;
    }
  }
}

TEST(BestOf, AFixedSeedGivesTheSameSongAndRepeatedBarsStayRepeats) {
  for (int form = 0; form < 7; ++form) {
    SCOPED_TRACE(form);
    Composer first(form, 21), second(form, 21);
    for (Composer* c : {&first, &second}) {
      c->s().bestOf = 16;
      ASSERT_TRUE(ComposeCommand(c->s()).has_value());
    }
    ExpectSameAfterwards(first, second);
    EXPECT_EQ(NextDraws(first.s().random), NextDraws(second.s().random));
    // A bar that repeats an earlier bar's melody has its notes, whatever was drawn around it.
    const Session& s = first.s();
    for (int b = 0; b < s.form.BarCount(); ++b) {
      const int source = EarlierBar(s.form.melodySource[static_cast<size_t>(b)], b);
      if (source == -1) continue;
      const BarNotes &from = s.barNotes[static_cast<size_t>(source)],
                     &to = s.barNotes[static_cast<size_t>(b)];
      for (size_t n = 0; n < from.size() && from[n].length != -1; ++n) {
        EXPECT_EQ(to[n].pitch, from[n].pitch) << "bar " << b << " note " << n;
        EXPECT_EQ(to[n].octave, from[n].octave) << "bar " << b << " note " << n;
      }
    }
  }
}

// The fits of the bars of a composed melody, bar by bar, as choosing measured them.
std::vector<double> FitsOfBars(const Session& s) {
  const std::vector<BarHarmony> harmony = HarmonyOfForm(s.form);
  std::vector<double> fits;
  BarFit fit;
  const int bars = s.form.BarCount();
  for (int b = 0; b < bars; ++b) {
    fits.push_back(fit.Add(s.barNotes[static_cast<size_t>(b)], harmony[static_cast<size_t>(b)],
                           (b + 1) % 4 == 0, b + 1 == bars));
  }
  return fits;
}

TEST(BestOf, EachBarIsChosenFromItsDrawsAndComposedAsChosen) {
  for (int form : {0, 5}) {
    for (uint32_t seed : {3u, 8u}) {
      SCOPED_TRACE("form " + std::to_string(form) + " seed " + std::to_string(seed));
      double one = 0, many = 0;
      for (int draws : {1, 8}) {
        Composer c(form, seed);
        const MelodyChoice choice = ChooseMelody(c.s().Melody(), 1, draws);
        ASSERT_EQ(choice.barFits.size(), static_cast<size_t>(c.s().form.BarCount()));
        // The melody composed from the kept random sources is the one whose bars were judged.
        c.s().random = choice.chosenStart;
        NoteLengthGenerator(c.s().Melody()).Run();
        ASSERT_EQ(RunChosenPitches(c.s().Melody(), choice), 1);
        EXPECT_EQ(FitsOfBars(c.s()), choice.barFits);
        EXPECT_EQ(ScoreComposedMelody(c.s().Melody()), choice.score);
        // The first draw of a bar is the same however many follow, so more draws fit better.
        double& sum = draws == 1 ? one : many;
        for (double f : choice.barFits) sum += f;
        if (draws == 1) continue;
        Composer single(form, seed);
        EXPECT_GE(choice.barFits[0], ChooseMelody(single.s().Melody(), 1, 1).barFits[0]);
      }
      EXPECT_GT(many, one);
    }
  }
}

TEST(BestOf, MessagesStatusesAndTheFeelDialogComeOnce) {
  // A refused chord stops every candidate's pitch phase: its two messages are shown once, as
  // by the single composition, and no score is reported.
  for (bool refused : {false, true}) {
    SCOPED_TRACE(refused);
    Composer one(0, 3, true), many(0, 3, true);
    for (Composer* c : {&one, &many}) {
      if (refused) c->s().form.SetChord(5, "Cadd9");
      c->p().feelAnswers = {kRock};
    }
    many.s().bestOf = 16;
    ComposeCommand(one.s());
    EXPECT_EQ(ComposeCommand(many.s()).has_value(), !refused);
    EXPECT_EQ(many.p().feelDialogsShown, 1);
    EXPECT_EQ(many.p().statuses, one.p().statuses);
    ASSERT_EQ(many.p().messages.size(), one.p().messages.size());
    for (size_t i = 0; i < one.p().messages.size(); ++i) {
      EXPECT_EQ(many.p().messages[i].text, one.p().messages[i].text);
    }
    const auto refusals = [](const Composer& c) {
      return std::count_if(c.t.platform.messages.begin(), c.t.platform.messages.end(),
                           [](const auto& m) { return m.text.find("コード解析error") == 0; });
    };
    EXPECT_EQ(refusals(many), refusals(one));
    EXPECT_EQ(refusals(many) > 0, refused);
    if (refused) {
      // No candidate gets a melody: all score -1 and the first is kept.
      const MelodyChoice choice = ChooseMelody(many.s().Melody(), 4);
      EXPECT_EQ(choice.scores, std::vector<double>(4, -1.0));
      EXPECT_EQ(choice.chosen, 0);
    }
  }
}

int Cli(const std::vector<std::string>& words, std::string& err) {
  const testing::CliRun run = testing::RunCliWords(words);
  err = run.err;
  return run.status;
}

TEST(BestOf, TheCommandLineTakesACountAndReportsTheScore) {
  testing::TempDir dir;
  for (const char* name : {"default.mld", "default.ton", "default.db"}) {
    std::filesystem::copy_file(testing::DataDir() + "/" + name, dir.File(name));
  }
  std::string err;
  for (const char* bad : {"0", "1001", "x", "-3", "2.5", ""}) {
    EXPECT_EQ(Cli({"compose", "--dir", dir.str(), "--best-of", bad}, err), 2) << bad;
    EXPECT_NE(err.find("--best-of"), std::string::npos) << err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.mid")));
  ASSERT_EQ(Cli({"compose", "--dir", dir.str(), "--seed", "7", "--best-of", "1"}, err), 0);
  EXPECT_EQ(err.find("best of"), std::string::npos) << err;
  const std::vector<uint8_t> single = testing::ReadAll(dir.File("out.mid"));
  ASSERT_EQ(Cli({"compose", "--dir", dir.str(), "--seed", "7", "--best-of", "12"}, err), 0);
  EXPECT_NE(single, testing::ReadAll(dir.File("out.mid")));
  EXPECT_NE(err.find("info: the melody is the best of 12, score "), std::string::npos) << err;
  EXPECT_EQ(err.find("error"), std::string::npos) << err;
}

}  // namespace
}  // namespace vema
