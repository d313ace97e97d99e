#include "app/history_command.h"

#include <charconv>
#include <ostream>

#include "app/console_platform.h"
#include "app/session.h"
#include "app/song_state.h"

namespace vema {

namespace {

// The current song's line of the history, on out.
void PrintCurrent(Session& session, std::ostream& out) {
  if (session.song.current) out << HistoryListLine(*session.song.current, true) << '\n';
}

// The settings the current song was drawn with last (number of candidates, melody octave).
SongSettings LastSettingsOf(const HistoryEntry& entry) {
  SongSettings settings = entry.recipe.settings;
  for (const SongOp& op : entry.recipe.ops) {
    if (op.kind == SongOpKind::kMelody || op.kind == SongOpKind::kBars) settings = op.settings;
  }
  return settings;
}

}  // namespace

std::optional<std::pair<int, int>> ParseBarRange(const std::string& text) {
  const auto number = [](std::string_view t, int& value) {
    const auto r = std::from_chars(t.data(), t.data() + t.size(), value);
    return !t.empty() && r.ec == std::errc() && r.ptr == t.data() + t.size() && value >= 1 &&
           value <= 96;
  };
  const size_t dash = text.find('-');
  int first = 0, last = 0;
  if (dash == std::string::npos) {
    if (!number(text, first)) return std::nullopt;
    return std::make_pair(first, first);
  }
  if (!number(std::string_view(text).substr(0, dash), first) ||
      !number(std::string_view(text).substr(dash + 1), last) || last < first) {
    return std::nullopt;
  }
  return std::make_pair(first, last);
}

int RunHistoryCommand(const HistoryOptions& options, std::ostream& out, std::ostream& err) {
  ConsolePlatform platform(err);
  Session session(platform, SessionOptions{options.dir, std::nullopt});
  session.song.english = true;
  const SongHistory history = ReadHistoryForList(session);
  if (history.entries.empty()) {
    platform.ShowMessage("the song history of this folder is empty", MessageIcon::kPlain);
  }
  for (const HistoryEntry& e : history.entries) {
    out << HistoryListLine(e, e.number == history.current) << '\n';
  }
  return platform.stopMessages() > 0 ? 1 : 0;
}

int RunRecallCommand(const RecallOptions& options, std::ostream& out, std::ostream& err) {
  ConsolePlatform platform(err);
  Session session(platform, SessionOptions{options.dir, std::nullopt});
  session.song.english = true;
  if (RecallEntry(session, static_cast<int>(options.number))) PrintCurrent(session, out);
  return platform.stopMessages() > 0 ? 1 : 0;
}

int RunRerollCommand(const RerollOptions& options, std::ostream& out, std::ostream& err) {
  ConsolePlatform platform(err);
  std::optional<uint32_t> seed;
  if (options.seed) seed = static_cast<uint32_t>(*options.seed);
  Session session(platform, SessionOptions{options.dir, seed});
  session.song.english = true;
  // The data of the new draws: the folder's default files (the stored forms are not needed).
  CompositionDbLoader("default.mld").Load(session.compositionDb, platform, session.dir);
  session.style.Load("default.ton", platform, session.dir);
  const std::optional<HistoryEntry> current = CurrentSongEntry(session);
  if (current) {
    const SongSettings last = LastSettingsOf(*current);
    session.bestOf = options.bestOf.value_or(last.bestOf);
    session.melodyOctave = last.melodyOctave;
  }
  bool done = false;
  if (options.melody) {
    done = RerollMelody(session);
  } else if (options.rhythm) {
    done = RerollRhythm(session);
  } else if (options.feel) {
    done = RerollFeel(session, *options.feel);
  } else if (options.bars) {
    done = RemakeBarsCommand(session, options.bars->first - 1, options.bars->second - 1);
  }
  if (done) PrintCurrent(session, out);
  return platform.stopMessages() > 0 ? 1 : 0;
}

int RunEditCommand(const EditOptions& options, std::ostream& out, std::ostream& err) {
  ConsolePlatform platform(err);
  Session session(platform, SessionOptions{options.dir, std::nullopt});
  session.song.english = true;
  MelodyEdit edit;
  edit.bar = options.bar - 1;
  edit.note = options.note - 1;
  if (options.semitones) {
    edit.kind = MelodyEditKind::kSemitones;
    edit.amount = *options.semitones;
  } else if (options.steps) {
    edit.kind = MelodyEditKind::kScaleSteps;
    edit.amount = *options.steps;
  } else if (options.octaves) {
    edit.kind = MelodyEditKind::kOctaves;
    edit.amount = *options.octaves;
  } else if (options.key) {
    edit.kind = MelodyEditKind::kKey;
    edit.amount = *options.key;
  } else {
    edit.kind = MelodyEditKind::kRest;
  }
  if (EditMelodyCommand(session, edit)) PrintCurrent(session, out);
  return platform.stopMessages() > 0 ? 1 : 0;
}

}  // namespace vema
