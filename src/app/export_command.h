// Taking the song elsewhere: the song in memory (the window's SAVE) as MIDI, MusicXML or WAV, and
// the song of a folder (vema-cli export) as MusicXML.
#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/song_player.h"
#include "output/song_score.h"

namespace vema {

struct Session;

// The file types that SAVE offers; the first is proposed.
enum class SaveKind { kMidi, kMusicXml, kWav };
inline constexpr const char* kSaveFilter =
    "MIDI (*.mid)|*.mid|MusicXML (*.musicxml)|*.musicxml|WAV (*.wav)|*.wav|";

// The extension of the index-th file type of a dialog filter ("Name|*.ext|Name|*.ext|"); "" when
// there is no such type.
std::string FilterExtension(std::string_view filter, int index);

// The index of the file type of a dialog filter whose extension a file name has (any case);
// -1 when none has it.
int FilterIndexOf(std::string_view filter, const std::string& name);

// The name a save dialog gives back.  When the person chose another file type than the one the
// dialog opened with, the type sets the extension: it replaces an extension of the filter's
// types ("vema01.mid" as MusicXML is "vema01.musicxml") and is added to any other name.
// Otherwise a name keeps the extension it has, and a name without one gets the type's.
std::string SavedFileName(const std::string& name, std::string_view filter, int openedType,
                          int chosenType, const std::string& defaultExtension);

// What a chosen file is written as: the type its extension names when that is one of SAVE's
// types (".mid", ".musicxml" or ".xml", ".wav", in any case), else the type chosen in the dialog.
SaveKind SaveKindOf(const std::string& path, int chosenType);

// The score of the song in memory: the notes of the last MIDI image, the keys and chords of the
// form it was composed with, the current title.  nullopt, with the reason, before any song.
std::optional<SongScore> ScoreOfLastSong(const Session& session, std::string& error);

// Writes the song in memory as MusicXML.  False after "File could not created! " when the file
// could not be written; an existing file is then left as it was.
bool ExportMusicXml(Session& session, const std::string& path);

// Renders one MIDI file into one WAV file, reporting progress (false from the callback stops it).
using WavRenderer = std::function<bool(const std::string& midiPath, const std::string& wavPath,
                                       std::string& error, const RenderProgress& progress)>;

// What SAVE needs for a WAV file: the renderer (none where the program cannot sound) and what
// shows the progress of a rendering (none: nothing is shown).
struct WavOutput {
  WavRenderer render;
  RenderProgress progress;
};

// Renders the song in memory into a WAV file: the MIDI image and the sound go into a scratch
// folder first, and the finished sound replaces the file in one step.  A failure (or a stop
// through the progress callback) leaves an existing file as it was; failures are shown.
bool ExportWav(Session& session, const std::string& path, const WavRenderer& render,
               const RenderProgress& progress = {});

// Why the notes of a MIDI file were not composed with a form: its bars or the chords they sound
// differ from the form's ("" when they match).
std::string MismatchWithForm(const MidiNotes& notes, const SongForm& form);

// The export's way from the bytes of a MIDI file to its score: the notes read (a song that no
// composition makes is refused), checked against the form and joined with it.  nullopt, with
// the reason in error, when the song cannot be read, or with the mismatch in mismatch (error
// empty) when it was not composed with the form.
std::optional<SongScore> ExportScore(std::span<const uint8_t> midi, const SongForm& form,
                                     const std::string& title, std::string& error,
                                     std::string& mismatch);

// Whether "--form N" names a stored form.  0 when it does; otherwise the exit status: 1 when the
// store could not be read whole (start-up has said so already) and N lies past the forms that
// could be read, 2 for a number past the stored forms; each after a line that says so.
int CheckStoredFormNumber(const Session& session, long long index, std::ostream& err);

// vema-cli export: the song of DIR/out.mid with the keys and chord names of the stored form it
// was composed with, written as MusicXML.
struct ExportOptions {
  std::string dir = ".";
  std::string musicxml;
  std::optional<long long> form;
  std::string title;
};
// Exit status 0, 1 after an error message, 2 for a form number that is not stored.
int RunExportCommand(const ExportOptions& options, std::ostream& out, std::ostream& err);

}  // namespace vema
