// tune_style: searches the melody style (.ton), or the note-length vocabulary (.mld), for the
// values that bring the melody critic's measures of the composed songs to their targets
// (tools/critic_summary.h).
//
//   tune_style [--dir DIR] [--ton FILE] [--source FILE] [--out FILE] [--seed S] [--songs N]
//              [--best-of B] [--steps K] [--search-seed R] [--report-every M]
//              [--temperature T] [--changes C] [--mld-source FILE]
//
// Loads "default.mld", "default.ton" and "default.db" from DIR (default "data"; --ton starts
// from another style, e.g. the result of an earlier run built with make_ton) and composes,
// for every stored form, the songs of the tuning seeds S, S+1, ... S+N-1 (default 1001 and 24:
// a set apart from the report seeds of style_stats) as the compose command makes them, each the
// best of B melodies (default 16).  The objective is the sum of the squared misses of every
// target, each measured from a bound made stricter by one unit of the target's scale so that
// the tuned style keeps a margin on other seeds; a hundredth of the distance to the human
// values breaks ties; every percent of songs whose melody spans more than two octaves (beyond
// the first half percent) counts twenty units, and every song with a note below key 36 or
// above 96 (also among the single compositions of 12N seeds) forty units per hundred songs.
// With B = 1 the single compositions are tuned toward bounds from which choosing the best of
// 16 reaches the targets (see kSingleLow): as cheap as 1/17 of the work per song, so many more
// seeds can be used and the search fits their chance less.
//
// A local search of K steps (default 2000) then tries 1..C changes at a time (default 1) and
// keeps them when the objective does not get worse, or, with a
// temperature T > 0, now and then also when it does (simulated annealing: with the chance
// exp(-worsening / t), t falling from T to 0 over the steps); the best style seen is written.
// The changes:
//   - move 1..5 percentage points of one row from one next rule to another;
//   - the same move in every row of a table;
//   - change a setting (repeat_pattern 0..60, reverse_rate 0..100, run_limit 1..11) by 1..4.
// The changes are drawn from the search seed R (default 1), so a run is repeatable.  Only the
// rules that the style uses are tuned: rules 3, 7 and 9 (which duplicate 0, 4 and 10) are never
// drawn and their rows are copies of those of rules 0, 4 and 10; the tables of length class 3
// are copies of those of class 2.  Every row keeps adding up to 100.
//
// The tuned style is written as a text source to FILE (default "tuned_ton.txt"): the comment
// lines at the top of --source (default DIR/source/default_ton.txt) followed by the settings and
// tables, ready for make_ton.  Progress goes to stdout.
//
// With --mld-source FILE the note-length vocabulary of that source (data/source/default_mld.txt
// or an earlier result) is searched instead, with the style as loaded.  The patterns stay; the
// transitions change: two records of a group swapped (which swaps their chances, see the pick
// rule in default_mld.txt), a record's pattern replaced, a record added (at most 12 a group) or
// taken away; a change that breaks a rule of make_mld is not tried.  The objective also draws
// the rhythm toward the human values where the targets lie that way (bars with 1-2 notes,
// onsets off the eighth grid, the note-length entropy: a tenth per unit of distance).  The
// result goes to FILE (default "tuned_mld.txt"): the comment lines at the top of the source,
// then the patterns and transitions, ready for make_mld.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/scripted_platform.h"
#include "critic_summary.h"
#include "mld_source.h"
#include "editors/custom_form_store.h"
#include "song/binary_io.h"

namespace {

using vema::MelodyStyleDb;
using vema::tools::CriticSummary;
using vema::tools::TargetRow;
using vema::tools::Vocabulary;

constexpr int kActiveRules[] = {0, 1, 2, 4, 5, 6, 8, 10};
constexpr int kActiveTables[] = {0, 1, 2, 4, 5, 6};  // on the beat 0..2, off the beat 0..2

struct Options {
  std::string dir = "data";
  std::string source;
  std::string ton;
  std::string out = "tuned_ton.txt";
  uint32_t seed = 1001;
  int songs = 24;
  int bestOf = 16;
  int steps = 2000;
  uint32_t searchSeed = 1;
  int reportEvery = 50;
  double temperature = 0;  // of the annealing at the first step (0: only improvements)
  int maxChanges = 1;      // changes tried at once: 1..maxChanges
  double rhythmPull = 0;   // per unit of distance from the human rhythm (the vocabulary: 0.1)
};

// The copies that keep the unused rules and class 3 in step with the tuned values.
void Mirror(MelodyStyleDb& style) {
  for (auto& table : style.table) {
    for (int copy : {3, 7, 9}) {
      const int from = copy == 9 ? 10 : copy - 3;
      table[static_cast<size_t>(copy)] = table[static_cast<size_t>(from)];
    }
  }
  style.table[3] = style.table[2];
  style.table[7] = style.table[6];
}

// One session per stored form, reused from song to song (RestartSession).
struct Composers {
  vema::SilentPlatform platform;
  std::vector<std::unique_ptr<vema::Session>> sessions;
};

CriticSummary Evaluate(const vema::tools::ComposerData& data, const Options& o,
                       Composers& composers) {
  CriticSummary summary;
  for (int f = 0; f < data.forms.Count(); ++f) {
    if (composers.sessions.size() <= static_cast<size_t>(f)) {
      composers.sessions.push_back(vema::tools::SongSession(composers.platform, data, f, o.seed));
    }
    vema::Session& session = *composers.sessions[static_cast<size_t>(f)];
    session.style = data.style;
    session.compositionDb = data.db;
    for (int n = 0; n < o.songs; ++n) {
      vema::tools::RestartSession(session, o.seed + static_cast<uint32_t>(n));
      if (!vema::tools::ComposeMelody(session, o.bestOf)) {
        ++summary.songs;
        ++summary.failed;
        continue;
      }
      vema::tools::AddSong(summary, session);
    }
    // The single compositions must stay within reach too (the window program can be set to
    // compose them, and vema-cli does by default): with a best of B > 1, those of the seeds
    // S..S+12N-1 are checked as well, cheaply, since a song out of reach is rare.
    for (int n = 0; o.bestOf > 1 && n < 12 * o.songs; ++n) {
      vema::tools::RestartSession(session, o.seed + static_cast<uint32_t>(n));
      if (vema::tools::ComposeMelody(session, 1) &&
          vema::tools::OutOfReach(vema::MelodyOfTrack(session.noteTrack))) {
        ++summary.lowOrHighSongs;
      }
    }
  }
  return summary;
}

// The bounds a single composition (best of 1) is tuned toward, row by row as TargetRows lists
// them: measured with style_stats on the shipped data, choosing the best of 16 takes sevenths
// and ninths to a third and leaps beyond a fifth to about half, and adds about 2.5 points of
// chord tones on beats 1 and 3, a point of repeated notes and half a point of notes on degrees
// 1-3-5, takes 2 points of reversals and 0.01 of the divergence; these bounds leave a margin
// after that.  The ending and the phrase ends are left to the choice (a single song ends on
// the tonic only about one time in four).  The degrees 1-3-5 count a quarter: the forms hold
// them back (their chords have few tones on degrees 1-3-5), and a search that weighs them fully
// gives up reachable targets for little gain.
constexpr double kNone = 1e9;
// The register and rhythm rows (from the twelfth on) are left to the choice and the
// vocabulary.
constexpr double kSingleLow[] = {-kNone, -kNone, -kNone, -kNone, -kNone, 7.5,    83.5,
                                 -kNone, 52.0,   13,     -kNone, -kNone, -kNone, -kNone,
                                 -kNone, -kNone, -kNone, -kNone, -kNone};
constexpr double kSingleHigh[] = {kNone, kNone, 2.7,   6.5,   60.0,  kNone, kNone,
                                  kNone, kNone, 17,    0.027, kNone, kNone, kNone,
                                  kNone, kNone, kNone, kNone, kNone};
// The rows (counted from 1) of the rhythm that the vocabulary search draws toward the human.
constexpr size_t kSparseRow = 16, kOffGridRow = 17, kEntropyRow = 19;
constexpr double kSingleWeight[] = {0, 0, 1, 1, 1, 1, 1, 0, 0.25, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0};

// The sum of the squared misses (in units of each target's scale) from the bounds: with the
// best of several, each target made stricter by one unit; with the single composition, the
// bounds above.  A hundredth of the distance to the human values breaks ties.
double Objective(const CriticSummary& s, bool single, double rhythmPull = 0) {
  double total = 0;
  size_t index = 0;
  const std::vector<TargetRow> rows = vema::tools::TargetRows(s);
  static_assert(std::size(kSingleLow) == std::size(kSingleHigh) &&
                std::size(kSingleLow) == std::size(kSingleWeight));
  if (rows.size() != std::size(kSingleLow)) {
    std::fprintf(stderr, "tune_style: the single-composition bounds do not match the targets\n");
    std::exit(1);
  }
  for (TargetRow row : rows) {
    const double human = row.human;
    if (single) {
      row.low = kSingleLow[index];
      row.high = kSingleHigh[index];
    } else {
      row.low += row.scale;
      row.high -= row.scale;
    }
    ++index;
    const double weight = single ? kSingleWeight[index - 1] : 1.0;
    const double miss = row.Miss();
    total += weight * miss * miss;
    if (human != vema::tools::kNoHuman) total += 0.01 * std::abs(row.value - human) / row.scale;
    // The vocabulary is also drawn toward the human rhythm where its targets lie that way:
    // bars with 1-2 notes, onsets off the eighth grid, the note-length entropy.
    if (index == kSparseRow || index == kOffGridRow || index == kEntropyRow) {
      total += rhythmPull * std::abs(row.value - human) / row.scale;
    }
  }
  // A melody that runs away over more than two octaves is no tune at all: each percent of
  // such songs beyond the first half percent (about as many as the hand-made style of the
  // first release gave) weighs like twenty units of a missed target.
  // A melody that sinks below key 36 or climbs above 96 leaves every voice's reach: each such
  // song weighs like forty units per hundred measured songs.
  const int measured = std::max(1, s.songs - s.failed);
  const double wide = 100.0 * s.wideSongs / measured;
  const double outOfReach = 100.0 * s.lowOrHighSongs / measured;
  return total + 10.0 * s.failed + 20.0 * std::max(0.0, wide - 0.5) + 40.0 * outOfReach;
}

// One random change of the style; false when the drawn change is impossible.
bool Change(MelodyStyleDb& style, std::mt19937& rng) {
  auto pick = [&rng](auto const& list) {
    return list[std::uniform_int_distribution<size_t>(0, std::size(list) - 1)(rng)];
  };
  const int kind = std::uniform_int_distribution<int>(0, 9)(rng);
  if (kind == 0) {
    const int which = std::uniform_int_distribution<int>(0, 2)(rng);
    const int delta = std::uniform_int_distribution<int>(1, 4)(rng) *
                      (std::uniform_int_distribution<int>(0, 1)(rng) == 0 ? -1 : 1);
    const int low[] = {0, 0, 1}, high[] = {60, 100, 11};
    int32_t& value = style.settings[static_cast<size_t>(which)];
    const int changed = std::clamp(value + delta, low[which], high[which]);
    if (changed == value) return false;
    value = changed;
    return true;
  }
  const int table = pick(kActiveTables);
  const int from = pick(kActiveRules);
  const int to = pick(kActiveRules);
  if (from == to) return false;
  const int amount = std::uniform_int_distribution<int>(1, 5)(rng);
  bool changed = false;
  auto move = [&](int row) {
    auto& values = style.table[static_cast<size_t>(table)][static_cast<size_t>(row)];
    const int moved = std::min<int>(amount, values[static_cast<size_t>(from)]);
    values[static_cast<size_t>(from)] -= moved;
    values[static_cast<size_t>(to)] += moved;
    changed = changed || moved > 0;
  };
  if (kind <= 2) {
    for (int row : kActiveRules) move(row);
  } else {
    move(pick(kActiveRules));
  }
  return changed;
}

// One random change of the vocabulary's transitions: two records of a group swapped (their
// chances swap too, see the pick rule), a record's pattern replaced, a record added or one
// taken away.  False when the drawn change is impossible or breaks a rule of the vocabulary
// (make_mld's checks).
bool ChangeVocabulary(Vocabulary& v, std::mt19937& rng) {
  auto draw = [&rng](size_t n) {
    return std::uniform_int_distribution<size_t>(0, n - 1)(rng);
  };
  auto& groups = v.groups[draw(vema::kTransitionKinds)];
  if (groups.empty()) return false;
  std::vector<int>& to = groups[draw(groups.size())].to;
  const int pattern = static_cast<int>(draw(v.patterns.size()));
  switch (draw(4)) {
    case 0: {  // swap two records
      if (to.size() < 2) return false;
      const size_t i = draw(to.size()), j = draw(to.size());
      if (to[i] == to[j]) return false;
      std::swap(to[i], to[j]);
      break;
    }
    case 1: {  // another pattern for one record
      const size_t i = draw(to.size());
      if (to[i] == pattern) return false;
      to[i] = pattern;
      break;
    }
    case 2:  // one more record
      if (to.size() >= 12) return false;
      to.insert(to.begin() + static_cast<std::ptrdiff_t>(draw(to.size() + 1)), pattern);
      break;
    default:  // one record less
      if (to.size() < 2) return false;
      to.erase(to.begin() + static_cast<std::ptrdiff_t>(draw(to.size())));
      break;
  }
  try {
    vema::tools::Check(v);
  } catch (const vema::tools::SourceError&) {
    return false;
  }
  return true;
}

void PrintSummary(const CriticSummary& s) {
  std::printf("    songs beyond two octaves: %d, below key 36 or above 96: %d, of %d\n",
              s.wideSongs, s.lowOrHighSongs, s.songs - s.failed);
  for (const TargetRow& row : vema::tools::TargetRows(s)) {
    std::printf("    %-40s %7.3f %s\n", row.name, row.value, row.Met() ? "" : "(missed)");
  }
}

std::string SourceText(const MelodyStyleDb& style, const std::string& header) {
  std::ostringstream out;
  out << header;
  out << "repeat_pattern " << style.settings[0] << "\n";
  out << "reverse_rate   " << style.settings[1] << "\n";
  out << "run_limit      " << style.settings[2] << "\n";
  const char* notes[] = {"next note a quarter or longer", "next note an eighth or dotted eighth",
                         "next note a triplet"};
  for (int side = 0; side < 2; ++side) {
    const char* name = side == 0 ? "onbeat" : "offbeat";
    for (int cls = 0; cls < 3; ++cls) {
      out << "\n#              0   1   2   3   4   5   6   7   8   9  10\n";
      std::string head = std::string("table ") + name + " " + std::to_string(cls);
      head.resize(31, ' ');
      out << head << "# " << notes[cls] << "\n";
      char line[32];
      const auto& table = style.table[static_cast<size_t>(side * 4 + cls)];
      for (int r = 0; r < vema::kRuleCount; ++r) {
        std::snprintf(line, sizeof line, "r%-3d        ", r);
        out << line;
        for (int n = 0; n < vema::kRuleCount; ++n) {
          std::snprintf(line, sizeof line, "%4d",
                        table[static_cast<size_t>(r)][static_cast<size_t>(n)]);
          out << line;
        }
        out << "\n";
      }
    }
    out << "\ntable " << name << " 3 like " << name << " 2   # next note a sixteenth\n";
  }
  return out.str();
}

// The comment lines at the top of a source, up to the first line that is not a comment.
std::string HeaderOf(const std::string& path) {
  std::ifstream in(path);
  std::string header, line;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] != '#') break;
    header += line + "\n";
  }
  return header;
}

int Usage() {
  std::fprintf(stderr,
               "usage: tune_style [--dir DIR] [--ton FILE] [--source FILE] [--out FILE] [--seed S]"
               " [--songs N] [--best-of B] [--steps K] [--search-seed R] [--report-every M]"
               " [--temperature T] [--changes C] [--mld-source FILE]\n");
  return 2;
}

// The local search (see the top of the file) over a state: a style or a vocabulary.  `change`
// makes one random change (false when the drawn change is impossible; the state is then put
// back by the caller), `apply` puts a state into the data, `text` gives its source text.
template <typename State, typename ChangeFn, typename ApplyFn, typename TextFn>
void Search(const Options& o, vema::tools::ComposerData& data, State state, ChangeFn change,
            ApplyFn apply, TextFn text) {
  Composers composers;
  apply(state);
  CriticSummary current = Evaluate(data, o, composers);
  double currentObjective = Objective(current, o.bestOf == 1, o.rhythmPull);
  CriticSummary best = current;
  double bestObjective = currentObjective;
  State bestState = state;
  std::printf("start: objective %.4f\n", bestObjective);
  PrintSummary(best);
  std::mt19937 rng(o.searchSeed);
  int improvements = 0;
  for (int step = 1; step <= o.steps; ++step) {
    const State kept = state;
    const int changes = std::uniform_int_distribution<int>(1, o.maxChanges)(rng);
    bool changed = false;
    for (int c = 0; c < changes; ++c) {
      const State before = state;
      if (change(state, rng)) {
        changed = true;
      } else {
        state = before;
      }
    }
    if (!changed) continue;
    apply(state);
    const CriticSummary summary = Evaluate(data, o, composers);
    const double objective = Objective(summary, o.bestOf == 1, o.rhythmPull);
    // Annealing: a worse state is kept now and then, less often as the search goes on.
    const double temperature = o.temperature * (1.0 - static_cast<double>(step) / o.steps);
    const bool keep = objective <= currentObjective ||
                      (temperature > 0 && std::uniform_real_distribution<double>(0, 1)(rng) <
                                              std::exp((currentObjective - objective) / temperature));
    if (keep) {
      current = summary;
      currentObjective = objective;
    } else {
      state = kept;
    }
    if (keep && objective < bestObjective) {
      ++improvements;
      best = summary;
      bestObjective = objective;
      bestState = state;
    }
    if (step % o.reportEvery == 0) {
      std::printf("step %d: objective %.4f, best %.4f (%d improvements)\n", step,
                  currentObjective, bestObjective, improvements);
      PrintSummary(best);
      std::fflush(stdout);
      std::ofstream(o.out) << text(bestState);
    }
  }
  std::ofstream(o.out) << text(bestState);
  std::printf("final: objective %.4f, written to %s\n", bestObjective, o.out.c_str());
  PrintSummary(best);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::string mldSource;
  bool outGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return Usage();
    const char* value = argv[++i];
    if (arg == "--dir") o.dir = value;
    else if (arg == "--source") o.source = value;
    else if (arg == "--ton") o.ton = value;
    else if (arg == "--mld-source") mldSource = value;
    else if (arg == "--out") o.out = value, outGiven = true;
    else if (arg == "--seed") o.seed = static_cast<uint32_t>(std::strtoul(value, nullptr, 10));
    else if (arg == "--songs") o.songs = std::max(1, std::atoi(value));
    else if (arg == "--best-of") o.bestOf = std::clamp(std::atoi(value), 1, vema::kMaxBestOf);
    else if (arg == "--steps") o.steps = std::max(0, std::atoi(value));
    else if (arg == "--search-seed") o.searchSeed = static_cast<uint32_t>(std::strtoul(value, nullptr, 10));
    else if (arg == "--report-every") o.reportEvery = std::max(1, std::atoi(value));
    else if (arg == "--temperature") o.temperature = std::max(0.0, std::atof(value));
    else if (arg == "--changes") o.maxChanges = std::max(1, std::atoi(value));
    else return Usage();
  }
  if (o.source.empty()) o.source = o.dir + "/source/default_ton.txt";
  if (o.ton.empty()) o.ton = o.dir + "/default.ton";
  if (!mldSource.empty() && !outGiven) o.out = "tuned_mld.txt";
  if (!mldSource.empty()) o.rhythmPull = 0.1;

  vema::ScriptedPlatform loadPlatform;
  vema::tools::ComposerData data;
  const auto formBytes = vema::ReadFileBytes(o.dir + "/default.db", vema::kCustomFormFileBytes);
  if (!vema::CompositionDbLoader(o.dir + "/default.mld").Load(data.db, loadPlatform) ||
      !data.style.Load(o.ton, loadPlatform) || !formBytes) {
    std::fprintf(stderr, "cannot read the files in %s\n", o.dir.c_str());
    return 1;
  }
  vema::DecodeCustomForms(*formBytes, data.forms);
  Mirror(data.style);

  if (!mldSource.empty()) {
    // The note-length vocabulary: the style stays as loaded.
    const auto lines = vema::tools::ReadSourceLines(mldSource);
    if (!lines) {
      std::fprintf(stderr, "cannot read %s\n", mldSource.c_str());
      return 1;
    }
    Vocabulary vocabulary;
    try {
      vema::tools::Parse(*lines, vocabulary);
      vema::tools::Check(vocabulary);
    } catch (const vema::tools::SourceError& error) {
      return vema::tools::ReportError(mldSource, error);
    }
    const std::string header = HeaderOf(mldSource);
    Search(
        o, data, vocabulary, ChangeVocabulary,
        [&data](const Vocabulary& v) {
          data.db = vema::tools::Build(v);
          data.db.BuildTransitionGroups();
          data.db.loaded = 1;
        },
        [&header](const Vocabulary& v) { return vema::tools::SourceText(v, header); });
    return 0;
  }
  const std::string header = HeaderOf(o.source);
  Search(
      o, data, data.style,
      [](MelodyStyleDb& style, std::mt19937& rng) {
        if (!Change(style, rng)) return false;
        Mirror(style);
        return true;
      },
      [&data](const MelodyStyleDb& style) { data.style = style; },
      [&header](const MelodyStyleDb& style) { return SourceText(style, header); });
  return 0;
}
