// Best of N in the compose command: N = 1 is the single composition byte for byte; N > 1 keeps
// the highest-scoring candidate and leaves everything as if it had been the only composition;
// every candidate starts from the same state; messages and dialogs come once; the command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

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
#include "output/song_score.h"

namespace vema {
namespace {

// A session over a copy of the shipped data, with one stored form loaded.
struct Composer {
  Composer(int form, uint32_t seed, bool tiny = false) : t(dir.str(), seed) {
    tiny ? testing::WriteTinyFolder(dir.str()) : testing::CopyShippedData(dir.str());
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
  if (choice != nullptr) {
    RunChosenLengths(s.Melody(), *choice);
  } else {
    NoteLengthGenerator(s.Melody()).Run();
  }
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

// The melody and the bass line of two note tracks are the same, note for note.
bool SameTrack(const NoteTrackTable& a, const NoteTrackTable& b) {
  for (int step = 0; step < kTrackSteps; ++step) {
    for (int voice : {0, 1}) {
      const TrackNote &x = a.at(step, voice), &y = b.at(step, voice);
      if (x.length != y.length || x.pitch != y.pitch || x.octave != y.octave) return false;
    }
  }
  return true;
}

// The texts of the messages a person saw.
std::vector<std::string> Texts(const ScriptedPlatform& p) {
  std::vector<std::string> out;
  for (const auto& m : p.messages) out.push_back(m.text);
  return out;
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
  EXPECT_TRUE(SameTrack(a.s().noteTrack, b.s().noteTrack));
  EXPECT_TRUE(SameChain(a.s().chain, b.s().chain));
  EXPECT_EQ(a.s().chordTones, b.s().chordTones);
  EXPECT_EQ(a.s().keyScale, b.s().keyScale);
  EXPECT_EQ(a.s().statusText, b.s().statusText);
  EXPECT_EQ(a.p().statuses, b.p().statuses);
  EXPECT_EQ(Texts(a.p()), Texts(b.p()));
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
    EXPECT_TRUE(SameTrack(probe.s().noteTrack, trackBefore));  // melody and bass put back
    ASSERT_EQ(choice.scores.size(), size_t{kCandidates});
    const auto best = std::max_element(choice.scores.begin(), choice.scores.end());
    EXPECT_EQ(choice.chosen, best - choice.scores.begin());
    EXPECT_EQ(choice.score, *best);
    EXPECT_GT(*best, *std::min_element(choice.scores.begin(), choice.scores.end()));

    // The command keeps the chosen candidate, composed once through the plain phases from its
    // start, each bar from the random source kept for it: files, trace and state are those.
    for (const auto* starts : {&choice.lengthStarts, &choice.ruleStarts, &choice.pitchStarts}) {
      ASSERT_EQ(starts->size(), static_cast<size_t>(command.s().form.BarCount()));
    }
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
    // A bar that repeats an earlier bar's melody has its notes, and one that repeats its
    // lengths has its lengths, whatever was drawn around it.
    const Session& s = first.s();
    int repeats = 0;
    for (int b = 0; b < s.form.BarCount(); ++b) {
      const int source = EarlierBar(s.form.melodySource[static_cast<size_t>(b)], b);
      const int lengths = EarlierBar(s.form.noteLengthSource[static_cast<size_t>(b)], b);
      if (lengths != -1) {
        ++repeats;
        const BarNotes &from = s.barNotes[static_cast<size_t>(lengths)],
                       &to = s.barNotes[static_cast<size_t>(b)];
        for (size_t n = 0; n < from.size() && (n == 0 || from[n - 1].length != -1); ++n) {
          EXPECT_EQ(to[n].length, from[n].length) << "bar " << b << " note " << n;
        }
      }
      if (source == -1) continue;
      const BarNotes &from = s.barNotes[static_cast<size_t>(source)],
                     &to = s.barNotes[static_cast<size_t>(b)];
      for (size_t n = 0; n < from.size() && from[n].length != -1; ++n) {
        EXPECT_EQ(to[n].pitch, from[n].pitch) << "bar " << b << " note " << n;
        EXPECT_EQ(to[n].octave, from[n].octave) << "bar " << b << " note " << n;
      }
    }
    EXPECT_GT(repeats, 0);
  }
}

// The fits of the bars of a composed melody, bar by bar, as choosing measured them: of the
// pitches (with the seam into a repeated bar's known first note) and of the note lengths.
std::vector<double> FitsOfBars(Session& s) {
  const std::vector<BarHarmony> harmony = HarmonyOfForm(s.form);
  std::vector<double> fits;
  BarFit fit;
  const int bars = s.form.BarCount();
  for (int b = 0; b < bars; ++b) {
    const int next = FirstNoteFixedByRepeat(s.Melody(), b + 1);
    if (next != -1) {  // as composed
      const BarNote& first = s.barNotes[static_cast<size_t>(b + 1)][0];
      EXPECT_EQ(next, first.octave * 12 + first.pitch - 1) << "bar " << b + 1;
    }
    fits.push_back(fit.Add(s.barNotes[static_cast<size_t>(b)], harmony[static_cast<size_t>(b)],
                           (b + 1) % 4 == 0, b + 1 == bars, next));
  }
  return fits;
}

std::vector<double> LengthFitsOfBars(const Session& s) {
  const std::vector<LengthRole> roles = LengthRolesOfForm(s.form);
  std::vector<double> fits;
  LengthFit fit;
  for (int b = 0; b < s.form.BarCount(); ++b) {
    fits.push_back(fit.Add(s.barNotes[static_cast<size_t>(b)], roles[static_cast<size_t>(b)]));
  }
  return fits;
}

TEST(BestOf, EachBarIsChosenFromItsDrawsAndComposedAsChosen) {
  for (int form : {0, 5}) {
    for (uint32_t seed : {3u, 8u}) {
      SCOPED_TRACE("form " + std::to_string(form) + " seed " + std::to_string(seed));
      double one = 0, many = 0, lengthsOne = 0, lengthsMany = 0;
      for (int draws : {1, 8}) {
        Composer c(form, seed);
        const MelodyChoice choice = ChooseMelody(c.s().Melody(), 1, draws);
        ASSERT_EQ(choice.barFits.size(), static_cast<size_t>(c.s().form.BarCount()));
        // The melody composed from the kept random sources is the one whose bars were judged.
        c.s().random = choice.chosenStart;
        RunChosenLengths(c.s().Melody(), choice);
        EXPECT_EQ(LengthFitsOfBars(c.s()), choice.lengthFits);
        ASSERT_EQ(RunChosenPitches(c.s().Melody(), choice), 1);
        EXPECT_EQ(FitsOfBars(c.s()), choice.barFits);
        EXPECT_EQ(ScoreComposedMelody(c.s().Melody()), choice.score);
        // The first draw of a bar is the same however many follow, so more draws fit better.
        double& sum = draws == 1 ? one : many;
        for (double f : choice.barFits) sum += f;
        double& lengthSum = draws == 1 ? lengthsOne : lengthsMany;
        for (double f : choice.lengthFits) lengthSum += f;
        if (draws == 1) continue;
        Composer single(form, seed);
        const MelodyChoice first = ChooseMelody(single.s().Melody(), 1, 1);
        EXPECT_GE(choice.lengthFits[0], first.lengthFits[0]);
      }
      EXPECT_GT(many, one);
      EXPECT_GT(lengthsMany, lengthsOne);
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
    EXPECT_EQ(Texts(many.p()), Texts(one.p()));
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

// The octaves by which the melody `moved` lies above `plain`, note for note (starts and lengths
// equal); nullopt when the two melodies differ otherwise or not by one whole number of octaves.
std::optional<int> OctavesApart(const std::vector<ScoreNote>& plain,
                                const std::vector<ScoreNote>& moved) {
  if (plain.size() != moved.size() || plain.empty()) return std::nullopt;
  const int shift = moved[0].key - plain[0].key;
  for (size_t i = 0; i < plain.size(); ++i) {
    if (moved[i].start != plain[i].start || moved[i].length != plain[i].length ||
        moved[i].key - plain[i].key != shift || shift % 12 != 0) {
      return std::nullopt;
    }
  }
  return shift / 12;
}

TEST(BestOf, TheMelodyOctaveMovesOnlyTheMelodyAndKeepsItInReach) {
  struct Case {
    int form;
    int bestOf;
    int32_t setting;
  } cases[] = {
      {0, 1, 1}, {0, 1, 2}, {0, 1, -1}, {0, 1, kAutoMelodyOctave},
      {6, 4, 1}, {6, 4, kAutoMelodyOctave}, {3, 16, kAutoMelodyOctave},
  };
  int autoUp = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE("form " + std::to_string(c.form) + " best of " + std::to_string(c.bestOf) +
                 " octave " + std::to_string(c.setting));
    Composer plain(c.form, 17), moved(c.form, 17);
    for (Composer* k : {&plain, &moved}) k->s().bestOf = c.bestOf;
    moved.s().melodyOctave = c.setting;
    ComposeCommand(plain.s());
    ComposeCommand(moved.s());
    // The melody phases' trace (up to the chord voicing's), the bass line, the chords and the
    // drums are those of the literal composition; work.txt lists the melody's keys at its end.
    const auto melodyTrace = [](const Composer& k) {
      const std::string_view text = k.t.session->log.text();
      return text.substr(0, text.find("mae="));
    };
    EXPECT_TRUE(melodyTrace(plain) == melodyTrace(moved));
    const MidiNotes a = testing::NotesOfFile(plain.dir.File("out.mid")),
                    b = testing::NotesOfFile(moved.dir.File("out.mid"));
    EXPECT_EQ(a.chords, b.chords);
    EXPECT_EQ(a.bass, b.bass);
    EXPECT_EQ(a.drums, b.drums);
    const std::optional<int> apart = OctavesApart(a.melody, b.melody);
    ASSERT_TRUE(apart.has_value());
    // As the critic chooses it for this melody, within keys 36..96.
    const std::vector<CriticNote> melody = MelodyOfTrack(plain.s().noteTrack);
    EXPECT_EQ(*apart, MelodyOctaveFor(c.setting, melody, HarmonyOfForm(plain.s().form)));
    for (const ScoreNote& note : b.melody) {
      EXPECT_TRUE(note.key >= kLowestMelodyKey && note.key <= kHighestMelodyKey) << note.key;
    }
    if (c.setting != kAutoMelodyOctave) {
      EXPECT_EQ(*apart, c.setting) << "the shipped songs have room for every fixed shift";
    } else {
      autoUp += *apart > 0 ? 1 : 0;
    }
    for (const char* name : {"out.mml", "work.txt"}) {
      EXPECT_EQ(plain.File(name) == moved.File(name), *apart == 0) << name;
    }
    // Applied to the literal melody, the setting makes and reports the same shift.
    EXPECT_EQ(ApplyMelodyOctave(plain.s().Melody(), 0), 0);
    EXPECT_EQ(ApplyMelodyOctave(plain.s().Melody(), c.setting), *apart);
    const auto keys = [](const Composer& k) {
      std::vector<int> out;
      for (const CriticNote& n : MelodyOfTrack(k.t.session->noteTrack)) out.push_back(n.key);
      return out;
    };
    EXPECT_EQ(keys(plain), keys(moved));
  }
  EXPECT_GT(autoUp, 0) << "auto lifts the shipped melodies over the chords";
}

int Cli(const std::vector<std::string>& words, std::string& err) {
  const testing::CliRun run = testing::RunCliWords(words);
  err = run.err;
  return run.status;
}

TEST(BestOf, TheCommandLineTakesACountAndReportsTheScore) {
  testing::TempDir dir;
  testing::CopyShippedData(dir.str());
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

  // The melody octave: auto by default with a best of more than one, 0 with one.
  std::string bad;
  for (const char* value : {"3", "-2", "up", "1.0", ""}) {
    EXPECT_EQ(Cli({"compose", "--dir", dir.str(), "--melody-octave", value}, bad), 2) << value;
    EXPECT_NE(bad.find("--melody-octave"), std::string::npos) << bad;
  }
  auto melodyOf = [&dir](const std::vector<std::string>& options) {
    std::vector<std::string> words = {"compose", "--dir", dir.str(), "--seed", "7"};
    words.insert(words.end(), options.begin(), options.end());
    std::string ignored;
    EXPECT_EQ(Cli(words, ignored), 0);
    return testing::NotesOfFile(dir.File("out.mid")).melody;
  };
  const auto literal = melodyOf({"--best-of", "12", "--melody-octave", "0"});
  const auto chosen = melodyOf({"--best-of", "12"});
  EXPECT_EQ(chosen, melodyOf({"--best-of", "12", "--melody-octave", "auto"}));
  const std::optional<int> apart = OctavesApart(literal, chosen);
  ASSERT_TRUE(apart.has_value());
  EXPECT_NE(*apart, 0);
  EXPECT_EQ(OctavesApart(melodyOf({"--best-of", "1"}), melodyOf({"--melody-octave=-1"})), -1);
  EXPECT_EQ(OctavesApart(melodyOf({}), melodyOf({"--melody-octave", "+1"})), 1);
}

}  // namespace
}  // namespace vema
