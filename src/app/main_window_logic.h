// The main window without its drawing: the layout of its picture buttons, the title and status
// areas, the tool-window toggle protocol and the save command.
#pragma once

#include <array>
#include <string>

namespace vema {

struct Session;
struct WavOutput;

// Control ids of the main window.
enum MainWindowId : int {
  kIdPower = 1,
  kIdTitle = 1000,
  kIdSave = 1001,
  kIdForm = 1002,
  kIdStyle = 1003,
  kIdTone = 1004,
  kIdPlay = 1005,
  kIdStop = 1006,
  kIdBackground = 1007,
  kIdIcon = 1008,
  kIdComp = 1010,
  kIdHelp = 57670,
};

struct PictureButtonPlace {
  int id;
  const char* caption;  // the pictures are named caption + "U" (up) and caption + "D" (down)
  int x, y;             // position in the client area
  int width, height;    // size of both pictures
};

// STOP is one pixel narrower than 46 so that it ends inside the 446-pixel background.
inline constexpr std::array<PictureButtonPlace, 11> kMainButtons = {{
    {kIdPower, "POWER", 8, 15, 44, 19},
    {kIdSave, "SAVE", 8, 126, 70, 32},
    {kIdForm, "FORM", 78, 126, 70, 32},
    {kIdStyle, "STYLE", 148, 126, 70, 32},
    {kIdTone, "TONE", 218, 126, 70, 32},
    {kIdPlay, "PLAY", 326, 126, 76, 32},
    {kIdStop, "STOP", 401, 126, 45, 32},
    {kIdHelp, "HELP", 384, 15, 22, 19},
    {kIdIcon, "ICON", 418, 15, 22, 19},
    {kIdComp, "COMP", 356, 72, 68, 30},
    {kIdTitle, "TITLE", 56, 6, 51, 28},
}};

inline constexpr int kBackgroundWidth = 446;
inline constexpr int kBackgroundHeight = 158;

struct TextArea {
  int left, top, right, bottom;  // clip rectangle (right and bottom exclusive)
  int x, y;                      // where the text starts
};
// The song title: yellow on black.  The status line: black on RGB(204, 102, 0).
inline constexpr TextArea kTitleArea = {110, 7, 370, 30, 110, 7};
inline constexpr TextArea kStatusArea = {97, 40, 333, 86, 100, 50};
inline constexpr size_t kTitleShownBytes = 26;
// While a song sounds, a green lamp and this word in the lower right corner of the status line.
inline constexpr TextArea kSoundingArea = {272, 70, 332, 86, 286, 71};
inline constexpr const char* kSoundingText = "演奏中";

// The song history's controls: the entry before and after (◀ ▶, Alt+Left and Alt+Right) in the
// strip below the status line, and the three re-rolls above COMP: "new melody, same rhythm",
// "new rhythm and melody" and "another feel".
enum SongHistoryId : int {
  kIdHistoryBack = 1012,
  kIdHistoryForward = 1013,
  kIdNewMelody = 1014,
  kIdNewRhythm = 1015,
  kIdNewFeel = 1016,
};
inline constexpr std::array<PictureButtonPlace, 5> kHistoryButtons = {{
    {kIdHistoryBack, "BACK", 96, 94, 24, 20},
    {kIdHistoryForward, "FORWARD", 122, 94, 24, 20},
    {kIdNewMelody, "MELODY", 342, 42, 30, 24},
    {kIdNewRhythm, "RHYTHM", 375, 42, 30, 24},
    {kIdNewFeel, "FEEL", 408, 42, 30, 24},
}};
// Where the current song stands in the history ("3/12"), light text on the panel.
inline constexpr TextArea kHistoryArea = {150, 94, 226, 114, 152, 96};

// The text of kHistoryArea: "place/count", "-/count" when the current song is not in the
// history, "" when the history is empty.
std::string HistoryPlaceText(int index, int count);

// What a key of the main window does to the song.
enum class SongKey { kNone, kBack, kForward, kUndo, kRedo };
// Alt+Left and Alt+Right step through the history; Ctrl+Z undoes; Ctrl+Shift+Z and Ctrl+Y redo.
// keyCode: the key (letters in capitals, kLeftKey and kRightKey for the arrows).
inline constexpr int kLeftKey = -1, kRightKey = -2;
SongKey SongKeyOf(int keyCode, bool alt, bool control, bool shift);

// The part of the title that the main window shows: its first 26 CP932 bytes, never splitting a
// double-byte character.
std::string ShownTitle(const std::string& title);

// What a press of FORM, STYLE or TONE does to its tool window.
enum class ToolWindowAction { kCreate, kShow, kHide };

// The toggle protocol: a window not yet created is created (and shown); a created one is shown
// when its flag is 0 and hidden when it is 1.  Updates the flag to match.
ToolWindowAction ToggleToolWindow(bool created, int& shownFlag);

// The proposal of the save dialog: the song's title made fit for a file name (characters that
// no file name holds become "_"), or, for a song without one, the first of vema01, vema02, ...
// that names no file of SAVE's types in the working directory; with ".mid".
inline constexpr size_t kSaveNameBytes = 100;  // CP932 bytes of a title taken as a file name
std::string SaveSuggestion(const Session& session);

// The status line after SAVE: "保存しました" over where the file went (its name alone when it
// lies in the working directory, else its path, shortened at the front to fit the line).
std::string SavedStatus(const Session& session, const std::string& path);

// SAVE: refuses before the first song, asks for a file name and writes the last MIDI image to
// it (replacing what the file held), or the song as MusicXML or WAV when that type is chosen.
// Returns true when a file was written.
bool SaveSongCommand(Session& session);
bool SaveSongCommand(Session& session, const WavOutput& wav);

}  // namespace vema
