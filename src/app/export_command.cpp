#include "app/export_command.h"

#include <stdlib.h>

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

// A private folder for scratch files, removed with the object.
class ScratchDir {
 public:
  ScratchDir() {
    std::error_code error;
    std::string pattern = (std::filesystem::temp_directory_path(error) / "vema-XXXXXX").string();
    if (error) pattern = "/tmp/vema-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code error;
    if (!path_.empty()) std::filesystem::remove_all(path_, error);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  bool ok() const { return !path_.empty(); }
  std::string File(const char* name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

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
  std::error_code fsError;
  ScratchDir scratch;
  const size_t count = std::min(static_cast<size_t>(image.count), image.bytes.size());
  if (std::filesystem::is_directory(path, fsError) || !scratch.ok() ||
      !WriteFileAtomically(scratch.File("song.mid"),
                           std::span<const uint8_t>(image.bytes.data(), count))) {
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
  std::string error;
  if (!render(scratch.File("song.mid"), scratch.File("song.wav"), error, watch)) {
    if (!stopped) platform.ShowMessage("WAVファイルを作れません：" + error, MessageIcon::kStop);
    return false;
  }
  const uintmax_t size = std::filesystem::file_size(scratch.File("song.wav"), fsError);
  const std::optional<std::vector<uint8_t>> sound =
      fsError ? std::nullopt : ReadFileBytes(scratch.File("song.wav"), static_cast<size_t>(size));
  if (!sound || sound->size() != size || !WriteFileAtomically(path, *sound)) {
    platform.ShowMessage(kFileNotCreatedMessage, MessageIcon::kStop);
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
    sounded[static_cast<size_t>(n.start / kTicksPerBar)].insert(n.key);
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
  std::optional<MidiNotes> notes = ReadMidiNotes(*midi, error);
  if (notes) {
    const std::string mismatch = MismatchWithForm(*notes, session.form);
    if (!mismatch.empty()) {
      error = "out.mid was not composed with form " + std::to_string(formIndex) +
              " of default.db (" + mismatch + "); name the form with --form";
      notes.reset();
    }
  }
  if (!notes) {
    platform.ShowMessage(error, MessageIcon::kStop);
    return 1;
  }
  const SongScore score = MakeSongScore(std::move(*notes), session.form, options.title);
  if (!WriteText(options.musicxml, BuildMusicXml(score))) {
    platform.ShowMessage(kFileNotCreatedMessage + options.musicxml, MessageIcon::kStop);
    return 1;
  }
  out << options.musicxml << '\n';
  return 0;
}

}  // namespace vema
