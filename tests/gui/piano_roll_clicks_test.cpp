// The piano roll clicked as a person clicks it, over a player that records what it is asked:
// a clicked note or key sounds on its part's instrument, a click on the ruler plays from there,
// the roll fills its window at any size, a part can be hidden, and the screen shows the whole
// roll in every one of 40 frames taken while a song plays.
#include <gtest/gtest.h>
#include <unistd.h>
#include <wx/button.h>
#include <wx/checkbox.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "app/piano_roll.h"
#include "app/playback.h"
#include "app/roll_edit.h"
#include "app/song_player.h"
#include "critic/bar_reroll.h"
#include "gui/piano_roll_dlg.h"
#include "gui/vema_dlg.h"
#include "gui/window_harness.h"
#include "support/recording_player.h"

namespace vema::gui_test {
namespace {

class PianoRollClicks : public ProgramTest {
 protected:
  PianoRollClicks() {
    mainWindow().SetPlayer([this] { return &player; });
    platform.SetPlayer([this](const std::string& command) { player.Command(command); });
  }

  // COMP, then ROLL.
  CPianoRollDlg* ComposeAndOpenRoll() {
    Compose();
    Click(MainControl(kIdRoll));
    RunUntil([] { return ShownWindow(CPianoRollDlg::kTitle) != nullptr; });
    auto* roll = dynamic_cast<CPianoRollDlg*>(ShownWindow(CPianoRollDlg::kTitle));
    if (roll == nullptr) return nullptr;
    RunUntil([roll] { return roll->IsShownOnScreen() && roll->DrawnSize().x > 0; });
    Settle(300);
    return roll;
  }

  // A point of the drawing area over a canvas point (the centre of a note by default).
  static wxPoint ViewPoint(const CPianoRollDlg& roll, int canvasX, int canvasY) {
    return wxPoint(canvasX - roll.layout().scrollX(), canvasY - roll.layout().scrollY());
  }
  static wxPoint Centre(const CPianoRollDlg& roll, const RollNote& n) {
    return ViewPoint(roll, n.rect.x + n.rect.width / 2, n.rect.y + n.rect.height / 2);
  }

  testing::RecordingPlayer player;
};

const wxColour kMelody(255, 150, 40), kBass(62, 92, 140), kChords(66, 104, 84);
const wxColour kKeyboardWhite(226, 228, 232), kChordText(255, 214, 120), kCursor(255, 70, 70);

// Resizes a top-level window as a window manager does, through the X server (xdotool), which
// also tells the program.  Three resizes in a row from inside the program (SetSize) left the
// drawing area of the resized window unpainted on the screen under Xvfb, where no window manager
// answers them; resized from outside, as here or by hand, it is painted every time.
bool ResizeOnScreen(wxWindow* window, wxSize size) {
  const auto lines = [](const std::string& command) {
    std::vector<std::string> out;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    char line[64];
    while (pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr) out.push_back(line);
    if (pipe != nullptr) pclose(pipe);
    return out;
  };
  std::string found;
  for (const std::string& id :
       lines("xdotool search --onlyvisible --pid " + std::to_string(getpid()))) {
    int x = -1, y = -1, width = -1, height = -1;
    for (const std::string& field : lines("xdotool getwindowgeometry --shell " + id)) {
      std::sscanf(field.c_str(), "X=%d", &x);
      std::sscanf(field.c_str(), "Y=%d", &y);
      std::sscanf(field.c_str(), "WIDTH=%d", &width);
      std::sscanf(field.c_str(), "HEIGHT=%d", &height);
    }
    if (wxRect(x, y, width, height) == window->GetScreenRect()) found = id.substr(0, id.find('\n'));
  }
  const std::string command =
      "xdotool windowsize " + found + " " + std::to_string(size.x) + " " + std::to_string(size.y);
  return !found.empty() && std::system(command.c_str()) == 0 &&
         RunUntil([&] { return window->GetSize() == size; }, 3000);
}

TEST_F(PianoRollClicks, NotesAndKeysSoundOnTheirInstrumentsAndTheRulerPlaysFromThere) {
  session().instrumentPrograms = {73, 33, 48};  // flute, fingered bass, slow strings
  CPianoRollDlg* roll = ComposeAndOpenRoll();
  ASSERT_NE(roll, nullptr);
  const PianoRollLayout& l = roll->layout();
  ASSERT_TRUE(l.HasSong());
  wxWindow* area = roll->DrawingArea();
  // The first sound of a click.
  const auto sounded = [&](wxPoint at) {
    player.notes.clear();
    Click(area, at);
    EXPECT_TRUE(RunUntil([this] { return !player.notes.empty(); }, 3000));
    return player.notes.empty() ? testing::RecordingPlayer::Note{} : player.notes[0];
  };
  // The first note of each part in view: a click sounds it on its channel and instrument.
  const struct {
    RollPart part;
    int channel, program;
  } parts[] = {{RollPart::kMelody, 0, 73}, {RollPart::kBass, 2, 33}, {RollPart::kChords, 1, 48}};
  const std::vector<RollNote> notes = l.Notes();
  for (const auto& p : parts) {
    SCOPED_TRACE(PartName(p.part));
    const auto target = std::find_if(notes.begin(), notes.end(), [&](const RollNote& n) {
      const wxPoint at = Centre(*roll, n);
      return n.part == p.part && n.rect.width >= 6 && l.AreaAt(at.x, at.y) == RollArea::kNotes &&
             l.NoteAt(n.rect.x + n.rect.width / 2, n.rect.y + n.rect.height / 2)->part == p.part;
    });
    ASSERT_NE(target, notes.end());
    const testing::RecordingPlayer::Note note = sounded(Centre(*roll, *target));
    EXPECT_EQ(std::tuple(note.channel, note.program, note.key),
              std::tuple(p.channel, p.program, target->key));
    EXPECT_GT(note.velocity, 0);
    EXPECT_GE(note.milliseconds, 150);
  }
  // A key of the keyboard sounds on the melody's instrument.
  const testing::RecordingPlayer::Note key =
      sounded(wxPoint(10, l.YOfKey(60) - l.scrollY() + l.KeyHeight() / 2));
  EXPECT_EQ(std::pair(key.key, key.program), std::pair(60, 73));
  EXPECT_TRUE(player.commands.empty()) << "a click on a note played the song";

  // The ruler over bar 3: PLAY from there; a second click moves the playing song.
  Click(area, wxPoint(l.XOfTick(2 * kTicksPerBar) - l.scrollX() + 2, 5));
  ASSERT_TRUE(RunUntil([this] { return session().playing == 1; }, 3000));
  EXPECT_EQ(player.commands, (std::vector<std::string>{kPlayerOpen, kPlayerPlay}));
  EXPECT_EQ(player.seeks, (std::vector<int64_t>{2 * kTicksPerBar}));
  Click(area, wxPoint(l.XOfTick(kTicksPerBar) - l.scrollX() + 2, 5));
  ASSERT_TRUE(RunUntil([this] { return player.seeks.size() == 2; }, 3000));
  EXPECT_EQ(player.seeks[1], kTicksPerBar);
  EXPECT_EQ(player.commands.size(), 2u);
  // The cursor follows the player.
  player.tick = kTicksPerBar + kTicksPerBar / 2;
  Settle(500);
  const wxImage shot = Shot("roll_clicked");
  ASSERT_TRUE(shot.IsOk());
  EXPECT_GT(CountColours(shot, area->GetScreenRect(), {kCursor}), 100);
  Press(kIdStop);
}

TEST_F(PianoRollClicks, TheRollFillsItsWindowAtAnySizeAndHidesAPart) {
  CPianoRollDlg* roll = ComposeAndOpenRoll();
  ASSERT_NE(roll, nullptr);
  wxWindow* area = roll->DrawingArea();
  const PianoRollLayout& l = roll->layout();
  for (const wxSize size : {wxSize(640, 420), wxSize(1270, 850)}) {
    const std::string name = "roll_" + std::to_string(size.x) + "x" + std::to_string(size.y);
    SCOPED_TRACE(name);
    ASSERT_TRUE(ResizeOnScreen(roll, size));
    Settle(400);
    const wxSize view = area->GetClientSize();
    // The drawing is as large as the drawing area, which takes the window's width and all of
    // its height below the bar of buttons.
    EXPECT_EQ(roll->DrawnSize(), view);
    EXPECT_GE(view.x, roll->GetClientSize().x - 30);  // a scroll bar at most beside it
    EXPECT_GE(view.y, roll->GetClientSize().y - 80);  // the bar of buttons and a scroll bar
    EXPECT_EQ(wxSize(l.viewWidth(), l.viewHeight()), view);
    // The song reaches the right edge; the keys, the bottom (when they fit).
    EXPECT_GE(l.Width(), view.x);
    EXPECT_TRUE(l.MaxScrollY() > 0 || l.Height() > view.y - 40) << l.Height();
    // On the screen: notes in the rightmost part of the area.
    const wxImage shot = Shot(name);
    ASSERT_TRUE(shot.IsOk());
    const wxRect screen = area->GetScreenRect();
    const wxRect rightEnd(screen.GetRight() - 150, screen.y, 150, screen.height);
    EXPECT_GT(CountColours(shot, rightEnd, {kMelody, kBass, kChords}), 200);
  }
  // F: the whole song in the window's width.
  ASSERT_TRUE(ResizeOnScreen(roll, wxSize(1100, 600)));
  Focus(area);
  PressKey('F');
  ASSERT_TRUE(RunUntil([&] { return l.WholeSongInView(); }, 3000));
  EXPECT_EQ(l.Width(), area->GetClientSize().x);

  // The melody's box of the legend hides the melody.
  wxCheckBox* melody = roll->PartBox(RollPart::kMelody);
  ASSERT_NE(melody, nullptr);
  EXPECT_EQ(Utf8(melody->GetLabel()), "旋律");
  Click(melody);
  ASSERT_TRUE(RunUntil([&] { return !l.PartShown(RollPart::kMelody); }, 3000));
  Settle(300);
  const wxImage shot = Shot("roll_without_melody");
  ASSERT_TRUE(shot.IsOk());
  EXPECT_EQ(CountColours(shot, area->GetScreenRect(), {kMelody}), 0);
  EXPECT_GT(CountColours(shot, area->GetScreenRect(), {kBass}), 200);
}

// Bars chosen on the ruler and made again, melody notes chosen and moved or made rests: only
// what was chosen changes, each action is one undo step, and the roll keeps its choice.
TEST_F(PianoRollClicks, ChosenBarsAreMadeAgainAndChosenNotesEditedOneStepEach) {
  CPianoRollDlg* roll = ComposeAndOpenRoll();
  ASSERT_NE(roll, nullptr);
  wxWindow* area = roll->DrawingArea();
  const PianoRollLayout& l = roll->layout();
  ASSERT_GE(l.song()->bars, 6);
  const auto melody = [this] { return NotesOfSong(dir).melody; };
  // Waits for the files to change from what they were, and gives what they are now.
  const auto changedFrom = [&](const OutputFiles& before) {
    EXPECT_TRUE(RunUntil([&] { return ReadOutputFiles(dir) != before; }, 10000));
    Settle(200);
    return ReadOutputFiles(dir);
  };

  // A drag across bars 3 and 4 of the ruler chooses them and plays nothing.
  const auto ruler = [&](int bar) {
    return wxPoint(l.XOfTick(bar * kTicksPerBar + kTicksPerBar / 2) - l.scrollX(),
                   PianoRollLayout::kRowHeight / 2);
  };
  Drag(area, ruler(2), ruler(3));
  Settle(200);
  ASSERT_TRUE(roll->selection().bars());
  EXPECT_EQ(*roll->selection().bars(), (BarRange{2, 3}));
  EXPECT_TRUE(player.commands.empty());
  EXPECT_TRUE(roll->RemakeButton()->IsEnabled());
  Screenshot("roll_bars_chosen");

  // "この小節を作り直す": the chosen bars and the bars the form ties to them change, no other.
  const auto byBar = [](const std::vector<ScoreNote>& notes) {
    std::map<int, std::vector<ScoreNote>> bars;
    for (const ScoreNote& n : notes) bars[n.start / kTicksPerBar].push_back(n);
    return bars;
  };
  auto before = byBar(melody());
  Press(roll->RemakeButton());
  Settle(200);
  const std::vector<ScoreNote> remade = melody();
  const std::vector<int> tied = BarsTiedTo(session().midiImage.form, 2, 3);
  auto after = byBar(remade);
  int changed = 0;
  for (int bar = 0; bar < l.song()->bars; ++bar) {
    const bool remadeBar = std::find(tied.begin(), tied.end(), bar) != tied.end();
    EXPECT_TRUE(remadeBar || before[bar] == after[bar]) << "bar " << bar + 1;
    changed += remadeBar && before[bar] != after[bar] ? 1 : 0;
  }
  EXPECT_GT(changed, 0);
  EXPECT_EQ(l.song()->notes.melody, remade);  // the roll shows the new song
  ASSERT_TRUE(roll->selection().bars());
  EXPECT_EQ(*roll->selection().bars(), (BarRange{2, 3}));
  const size_t dialogs = modals.seen().size();
  Focus(area);
  PressKey(WXK_ESCAPE);  // Esc clears the choice and leaves the window open
  ASSERT_TRUE(RunUntil([roll] { return roll->selection().Empty(); }, 3000));
  EXPECT_TRUE(roll->IsShown());

  // The melody notes in view, in time order.
  const auto shownMelody = [&] {
    std::vector<RollNote> notes;
    for (const RollNote& n : l.Notes()) {
      const int x = n.rect.x - l.scrollX(), y = n.rect.y - l.scrollY();
      if (n.part == RollPart::kMelody && x > PianoRollLayout::kKeyboardWidth + 4 &&
          x + n.rect.width < l.viewWidth() - 4 && y > PianoRollLayout::kHeaderHeight + 4 &&
          y + n.rect.height < l.viewHeight() - 4) {
        notes.push_back(n);
      }
    }
    return notes;
  };

  // A click on a note and Up: that note alone a scale step up in out.mid and out.mml; Ctrl+Z
  // gives the files back byte for byte.
  std::vector<RollNote> shown = shownMelody();
  ASSERT_GE(shown.size(), 4u);
  const RollNote target = shown[1];
  Click(area, Centre(*roll, target));
  ASSERT_TRUE(RunUntil([&] { return roll->selection().notes() == std::set<int32_t>{target.start}; }, 3000));
  const OutputFiles unedited = ReadOutputFiles(dir);
  const std::vector<ScoreNote> notesBefore = melody();
  PressKey(WXK_UP);
  const OutputFiles edited = changedFrom(unedited);
  EXPECT_NE(edited.mml, unedited.mml);
  EXPECT_NE(edited.work, unedited.work);  // work.txt tells of the edit
  const std::vector<ScoreNote> notesAfter = melody();
  ASSERT_EQ(notesAfter.size(), notesBefore.size());
  for (size_t i = 0; i < notesAfter.size(); ++i) {
    if (notesBefore[i].start != target.start) {
      EXPECT_EQ(notesAfter[i], notesBefore[i]) << i;
    } else {
      EXPECT_GT(notesAfter[i].key, notesBefore[i].key);
      EXPECT_LE(notesAfter[i].key, notesBefore[i].key + 2);
    }
  }
  EXPECT_EQ(roll->selection().notes(), std::set<int32_t>{target.start});  // still chosen
  PressKey('Z', wxMOD_CONTROL);
  EXPECT_TRUE(changedFrom(edited) == unedited);

  // A box dragged from empty space over two neighbouring notes chooses both; Delete makes
  // them rests, in one undo step.
  shown = shownMelody();
  const RollNote& a = shown[1];
  const RollNote& b = shown[2];
  const int top = std::min(a.rect.y, b.rect.y) - 2;
  const int bottom = std::max(a.rect.y + a.rect.height, b.rect.y + b.rect.height) + 1;
  const bool down = a.rect.y == top + 2;
  Drag(area, ViewPoint(*roll, a.rect.x + 1, down ? top : bottom),
       ViewPoint(*roll, b.rect.x + 1, down ? bottom : top));
  ASSERT_TRUE(RunUntil([&] { return roll->selection().notes() == std::set<int32_t>{a.start, b.start}; }, 3000))
      << roll->selection().notes().size();
  Settle(200);
  Screenshot("roll_notes_chosen");
  const OutputFiles twoNotes = ReadOutputFiles(dir);
  std::vector<ScoreNote> expected = melody();
  std::erase_if(expected,
                [&](const ScoreNote& n) { return n.start == a.start || n.start == b.start; });
  PressKey(WXK_DELETE);
  const OutputFiles deleted = changedFrom(twoNotes);
  EXPECT_EQ(melody(), expected);
  EXPECT_TRUE(roll->selection().notes().empty());  // rests are not shown, nor chosen
  // A double-click where the first of them was gives that rest the key under the pointer.
  DoubleClick(area, ViewPoint(*roll, a.rect.x + 1, a.rect.y + a.rect.height / 2));
  const OutputFiles keyedFiles = changedFrom(deleted);
  expected.insert(std::find_if(expected.begin(), expected.end(),
                               [&](const ScoreNote& n) { return n.start > a.start; }),
                  ScoreNote{a.start, a.length, a.key});
  EXPECT_EQ(melody(), expected);
  Focus(area);
  PressKey('Z', wxMOD_CONTROL);
  EXPECT_TRUE(changedFrom(keyedFiles) == deleted);
  PressKey('Z', wxMOD_CONTROL);
  EXPECT_TRUE(changedFrom(deleted) == twoNotes);
  EXPECT_EQ(modals.seen().size(), dialogs);  // no message box for any edit
}

TEST_F(PianoRollClicks, FortyFramesDuringPlayAreAllWhole) {
  CPianoRollDlg* roll = ComposeAndOpenRoll();
  ASSERT_NE(roll, nullptr);
  ASSERT_TRUE(ResizeOnScreen(roll, wxSize(900, 560)));
  Settle(300);
  // Zoomed in, at four times the speed: the roll turns pages while the frames are taken.
  Focus(roll->DrawingArea());
  PressKey('+');
  PressKey('+');
  ASSERT_TRUE(RunUntil([roll] { return roll->layout().PixelsPerQuarter() == 32; }, 3000));
  Press(kIdPlay);
  ASSERT_EQ(session().playing, 1);
  const wxRect screen = roll->DrawingArea()->GetScreenRect();
  const auto framePath = [](int i) {
    return std::string(VEMA_SHOT_DIR) + "/roll_frame" + std::to_string(i) + ".png";
  };
  std::atomic<int> taken = 0;
  std::thread frames([&] {
    for (int i = 0; i < 40; ++i) {
      if (std::system(("import -window root '" + framePath(i) + "' 2>/dev/null").c_str()) != 0)
        break;
      ++taken;
    }
    taken = taken == 40 ? 40 : -1;
  });
  // The windows go on working while the frames are taken; the song plays at four times its
  // speed (48 ticks a quarter, 120 quarters a minute), again and again; the roll turns its pages.
  const auto start = std::chrono::steady_clock::now();
  const int end = roll->layout().song()->EndTick();
  std::set<int> pages;
  RunUntil(
      [&] {
        const std::chrono::duration<double> played = std::chrono::steady_clock::now() - start;
        player.tick = static_cast<int>(played.count() * 96 * 4) % end;
        pages.insert(roll->layout().scrollX());
        return taken == 40 || taken < 0;
      },
      90000);
  frames.join();
  ASSERT_EQ(taken, 40);
  EXPECT_GE(pages.size(), 3u);

  const int keyboard = PianoRollLayout::kKeyboardWidth;
  for (int i = 0; i < 40; ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    const wxImage frame(framePath(i), wxBITMAP_TYPE_PNG);
    ASSERT_TRUE(frame.IsOk());
    // Notes, the chord names of the header, the keyboard and the cursor are all there.
    EXPECT_GT(CountColours(frame, screen, {kMelody, kBass, kChords}), 1000);
    // One cursor, two pixels wide: none left behind where it was.
    const int cursor = CountColours(frame, screen, {kCursor});
    EXPECT_GT(cursor, 200);
    EXPECT_LE(cursor, 2 * screen.height);
    const wxRect header(screen.x, screen.y, screen.width, PianoRollLayout::kHeaderHeight);
    EXPECT_GT(CountColours(frame, header, {kChordText}), 20);
    EXPECT_GT(
        CountColours(frame, wxRect(screen.x, screen.y, keyboard, screen.height), {kKeyboardWhite}),
        keyboard * screen.height / 4);
  }
  // The first and the last are kept to be looked at.
  for (int i = 1; i < 39; ++i) std::filesystem::remove(framePath(i));
  Press(kIdStop);
}

}  // namespace
}  // namespace vema::gui_test
