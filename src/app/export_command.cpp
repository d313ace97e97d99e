#include "app/export_command.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <ostream>
#include <set>

#include "app/console_platform.h"
#include "app/scripted_platform.h"
#include "app/session.h"
#include "melody/chord.h"
#include "output/midi_writer.h"
#include "output/musicxml_writer.h"
#include "song/file_io.h"
#include "song/song_file.h"
#include "song/text.h"

namespace vema {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool WriteText(const std::string& path, const std::string& text) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) return false;
  return WriteFileAtomically(
      path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

}  // namespace

std::string FilterExtension(std::string_view filter, int index) {
  // Fields alternate: name, pattern, name, pattern ...
  int field = 0;
  while (!filter.empty()) {
    const size_t bar = filter.find('|');
    const std::string_view text = filter.substr(0, bar);
    if (field == index * 2 + 1) {
      const size_t dot = text.find("*.");
      if (dot == std::string_view::npos) return "";
      const std::string_view ext = text.substr(dot + 2);
      return std::string(ext.substr(0, ext.find(';')));
    }
    ++field;
    if (bar == std::string_view::npos) break;
    filter.remove_prefix(bar + 1);
  }
  return "";
}

int FilterIndexOf(std::string_view filter, const std::string& name) {
  const std::string ext = Lower(std::filesystem::path(name).extension().string());
  if (ext.size() < 2) return -1;
  for (int index = 0;; ++index) {
    const std::string type = FilterExtension(filter, index);
    if (type.empty()) return -1;
    if ("." + Lower(type) == ext) return index;
  }
}

std::string SavedFileName(const std::string& name, std::string_view filter, int openedType,
                          int chosenType, const std::string& defaultExtension) {
  std::string extension = FilterExtension(filter, chosenType);
  if (extension.empty() || extension == "*") extension = defaultExtension;
  if (extension.empty()) return name;
  std::filesystem::path path(name);
  const bool hasExtension = path.has_extension() && path.extension() != ".";
  if (chosenType != openedType) {
    if (hasExtension && FilterIndexOf(filter, name) >= 0) path.replace_extension();
    return path.string() + "." + extension;
  }
  return hasExtension ? name : path.string() + (path.extension() == "." ? "" : ".") + extension;
}

SaveKind SaveKindOf(const std::string& path, int chosenType) {
  const std::string ext = Lower(std::filesystem::path(path).extension().string());
  if (ext == ".mid" || ext == ".midi") return SaveKind::kMidi;
  if (ext == ".musicxml" || ext == ".xml") return SaveKind::kMusicXml;
  if (ext == ".wav") return SaveKind::kWav;
  switch (chosenType) {
    case 1:
      return SaveKind::kMusicXml;
    case 2:
      return SaveKind::kWav;
    default:
      return SaveKind::kMidi;
  }
}

std::optional<SongScore> ScoreOfLastSong(const Session& session, std::string& error) {
  const MidiImage& image = session.midiImage;
  if (image.count == kNoMidiImage || image.count < 0) {
    error = "曲が生成されていません。";
    return std::nullopt;
  }
  const size_t count = std::min(static_cast<size_t>(image.count), image.bytes.size());
  return MakeSongScore(std::span<const uint8_t>(image.bytes.data(), count), image.form,
                       session.title, error);
}

bool ExportMusicXml(Session& session, const std::string& path) {
  std::string error;
  const std::optional<SongScore> score = ScoreOfLastSong(session, error);
  if (!score) {
    session.platform().ShowMessage(error, MessageIcon::kStop);
    return false;
  }
  if (!WriteText(path, BuildMusicXml(*score))) {
    session.platform().ShowMessage(kFileNotCreatedMessage, MessageIcon::kStop);
    return false;
  }
  return true;
}

bool ExportWav(Session& session, const std::string& path, const WavRenderer& render,
               const RenderProgress& progress) {
  Platform& platform = session.platform();
  const MidiImage& image = session.midiImage;
  if (image.count == kNoMidiImage || image.count < 0) {
    platform.ShowMessage("曲が生成されていません。", MessageIcon::kStop);
    return false;
  }
  if (!render) {
    platform.ShowMessage("この版には音を出す機能がないため、WAVファイルは作れません。",
                         MessageIcon::kStop);
    return false;
  }
  // The player reads the song from a file of its own.
  std::error_code fsError;
  ScratchFolder scratch;
  const size_t count = std::min(static_cast<size_t>(image.count), image.bytes.size());
  const std::string song = scratch.ok() ? scratch.File("song.mid") : "";
  if (std::filesystem::is_directory(path, fsError) || !scratch.ok() ||
      !WriteFileAtomically(song, std::span<const uint8_t>(image.bytes.data(), count))) {
    platform.ShowMessage(kFileNotCreatedMessage, MessageIcon::kStop);
    return false;
  }
  bool stopped = false;
  const RenderProgress watch = [&progress, &stopped](double share) {
    if (progress && !progress(share)) stopped = true;
    return !stopped;
  };
  // Told at once, before the synthesizer and its soundfont are loaded, so that the person sees
  // the work begin.
  if (!watch(0.0)) return false;
  // The renderer replaces the file only when the sound is complete.
  std::string error;
  if (!render(song, path, error, watch)) {
    if (!stopped) platform.ShowMessage("WAVファイルを作れません：" + error, MessageIcon::kStop);
    return false;
  }
  return true;
}

std::string MismatchWithForm(const MidiNotes& notes, const SongForm& form) {
  const int bars = form.BarCount();
  int32_t chordEnd = 0;
  for (const ScoreNote& n : notes.chords) chordEnd = std::max(chordEnd, n.start + n.length);
  if (chordEnd != bars * kTicksPerBar) {
    return "the song has " + std::to_string((chordEnd + kTicksPerBar - 1) / kTicksPerBar) +
           " bars, the form " + std::to_string(bars);
  }
  // The chords each bar sounds against the voicing of the form's chord names.
  ScriptedPlatform quiet;
  ChordToneTable tones{};
  GenerationLog log;
  std::vector<std::vector<int32_t>> voicings;
  std::vector<int32_t> bassNotes;
  BuildChordVoicing(form, tones, quiet, log, voicings, bassNotes);
  std::vector<std::set<int>> sounded(static_cast<size_t>(bars));
  for (const ScoreNote& n : notes.chords) {
    const int32_t bar = n.start / kTicksPerBar;
    if (n.start < 0 || bar >= bars) return "a chord note lies outside the song";
    sounded[static_cast<size_t>(bar)].insert(n.key);
  }
  for (int b = 0; b < bars; ++b) {
    std::set<int> voiced;
    for (const int32_t key : voicings[static_cast<size_t>(b)]) {
      if (key != kListEnd) voiced.insert(key);
    }
    if (voiced != sounded[static_cast<size_t>(b)]) {
      return "bar " + std::to_string(b + 1) + " does not sound the chord \"" +
             Cp932ToUtf8(form.Chord(b), Undecodable::kReplacement) + "\"";
    }
  }
  return "";
}

std::optional<SongScore> ExportScore(std::span<const uint8_t> midi, const SongForm& form,
                                     const std::string& title, std::string& error,
                                     std::string& mismatch) {
  error.clear();
  mismatch.clear();
  std::optional<MidiNotes> notes = ReadMidiNotes(midi, error);
  if (!notes) return std::nullopt;
  mismatch = MismatchWithForm(*notes, form);
  if (!mismatch.empty()) return std::nullopt;
  return MakeSongScore(std::move(*notes), form, title);
}

int CheckStoredFormNumber(const Session& session, long long index, std::ostream& err) {
  if (index < session.customForms.Count()) return 0;
  const CustomFormFileState state = session.customForms.fileState;
  if (state == CustomFormFileState::kUnreadable || state == CustomFormFileState::kDamaged) {
    // Start-up has said what is wrong with the store; this says what it means for --form.
    err << "vema-cli: --form " << index
        << " is not among the stored forms that could be read (there are "
        << session.customForms.Count() << ")\n";
    return 1;
  }
  err << "vema-cli: --form " << index << " is not a stored form (there are "
      << session.customForms.Count() << ")\n";
  return 2;
}

int RunExportCommand(const ExportOptions& options, std::ostream& out, std::ostream& err) {
  ConsolePlatform platform(err);
  Session session(platform, SessionOptions{options.dir, std::nullopt});
  ReadCustomFormFile(session.Editors());
  const long long formIndex = options.form.value_or(0);
  if (options.form) {
    if (const int status = CheckStoredFormNumber(session, formIndex, err)) return status;
    session.form = session.customForms.forms[static_cast<size_t>(formIndex)];
  }

  std::string error;
  const std::optional<std::vector<uint8_t>> midi =
      ReadSongFile(session.PathOf(kMidiFileName), kMidiFileName, error);
  if (!midi) {
    platform.ShowMessage(error, MessageIcon::kStop);
    return 1;
  }
  std::string mismatch;
  const std::optional<SongScore> score =
      ExportScore(*midi, session.form, options.title, error, mismatch);
  if (!score) {
    if (!mismatch.empty()) {
      error = "out.mid was not composed with form " + std::to_string(formIndex) +
              " of default.db (" + mismatch + "); name the form with --form";
    }
    platform.ShowMessage(error, MessageIcon::kStop);
    return 1;
  }
  const std::string xml = BuildMusicXml(*score);
  if (IsStandardOutput(options.musicxml)) {
    // A stream: written as it is, nothing replaced.
    out.write(xml.data(), static_cast<std::streamsize>(xml.size()));
    out.flush();
    if (!out) {
      platform.ShowMessage("the score could not be written to standard output", MessageIcon::kStop);
      return 1;
    }
    return 0;
  }
  if (!WriteText(options.musicxml, xml)) {
    platform.ShowMessage(kFileNotCreatedMessage + options.musicxml, MessageIcon::kStop);
    return 1;
  }
  out << options.musicxml << '\n';
  return 0;
}

}  // namespace vema
