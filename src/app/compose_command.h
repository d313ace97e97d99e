// The compose command: every phase of one composition in its fixed order.
#pragma once

#include <functional>
#include <optional>
#include <string_view>

namespace vema {

struct Session;

// The status texts, 20 CP932 bytes each.
inline constexpr std::string_view kStatusNoteLengths = "音長の自動生成　　　";
inline constexpr std::string_view kStatusPitches = "音階の自動生成　　　";
inline constexpr std::string_view kStatusAccompaniment = "伴奏データの自動生成";
inline constexpr std::string_view kStatusMidi = "MIDIデータの自動生成";
inline constexpr std::string_view kStatusMml = "MMLデータの自動生成 ";
inline constexpr const char* kWrongDbKindMessage =
    "現在使用中のＤＢではこの関数は使用できません。";

// True for the database kinds that melody generation accepts (0, 3 and 5).
bool IsMelodyDbKind(int kind);

// Stops playback, generates the note lengths, checks the database kind, generates the pitches,
// asks for the feel, writes "out.mid", then "out.mml" and "work.txt", and clears the status.
// With session.bestOf > 1 the melody is the best-scoring of that many, and the result is its
// score (0..100; none when no candidate got a melody); with 1 the composition is the single one
// of the steps above (no result).
std::optional<double> ComposeCommand(Session& session);

class FolderWrites;

// What one composition did.
struct Composition {
  bool composed = false;        // the melody phases ran (the database kind allows them)
  bool written = false;         // out.mid was written
  std::optional<double> score;  // best of N: the chosen melody's score (as ComposeCommand's)
};

// ComposeCommand, and with writeFiles false everything up to the files: no writer runs (the
// trace holds the phases before them), the status line keeps its last phase and playing is not
// cleared.
Composition Compose(Session& session, bool writeFiles);

// The writers' steps of a composition inside `writes` (the folder locked): "out.mid" from the
// session's form, melody, instruments and feel, then "out.mml" and "work.txt", each phase with
// its status, committed as one set; whileLocked runs when the set was written, before the folder
// is released.  True when the whole set was written.
bool WriteSongFiles(Session& session, FolderWrites& writes,
                    const std::function<void()>& whileLocked = {});

}  // namespace vema
