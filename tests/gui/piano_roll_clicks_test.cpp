// The piano roll clicked as a person clicks it, over a player that records what it is asked:
// a clicked note or key sounds on its part's instrument, a click on the ruler plays from there,
// the roll fills its window at any size, a part can be hidden, and the screen shows the whole
// roll in every one of 40 frames taken while a song plays.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/image.h>

#include "app/piano_roll.h"
#include "app/playback.h"
#include "app/roll_edit.h"
#include "critic/bar_reroll.h"
#include "app/song_player.h"
#include "gui/piano_roll_dlg.h"
#include "gui/vema_dlg.h"
#include "gui/window_harness.h"

namespace vema::gui_test {
namespace {

// Plays nothing: it keeps the commands, the notes asked for and the seeks, and plays a song in
// its head, `speed` times as fast as real time (48 ticks a quarter at 120 to the minute), again
// and again when `loop` is set.
class RecordingPlayer : public SongPlayer {
 public:
  struct Sound {
    int channel, program, key, velocity, milliseconds;
  };
  void Command(const std::string& command) override {
    commands.push_back(command);
    if (command == kPlayerPlay) {
      start_ = std::chrono::steady_clock::now();
      playing_ = true;
    } else if (command == kPlayerStop) {
      playing_ = false;
      from_ = 0;
    }
  }
  bool WaitUntilEnd(std::string&) override { return true; }
  int PlayingTick() override {
    if (!playing_) return -1;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const int64_t tick = from_ + static_cast<int64_t>(seconds * 96 * speed);
    return static_cast<int>(loop > 0 ? tick % loop : tick);
  }
  bool RenderWav(const std::string&, const std::string&, std::string& error,
                 const RenderProgress&) override {
    error = "no sound here";
    return false;
  }
  void SoundNote(int channel, int program, int key, int velocity, int milliseconds) override {
    sounds.push_back({channel, program, key, velocity, milliseconds});
  }
  void Seek(int64_t tick) override {
    seeks.push_back(tick);
    from_ = tick;
    start_ = std::chrono::steady_clock::now();
  }

  std::vector<std::string> commands;
  std::vector<Sound> sounds;
  std::vector<int64_t> seeks;
  double speed = 1;
  int64_t loop = 0;  // ticks after which the song starts again (0: never)

 private:
  bool playing_ = false;
  int64_t from_ = 0;
  std::chrono::steady_clock::time_point start_;
};

class PianoRollClicks : public ProgramTest {
 protected:
  PianoRollClicks() {
    mainWindow().SetPlayer([this] { return &player; });
    platform.SetPlayer([this](const std::string& command) { player.Command(command); });
  }

  // COMP (the feel dialog and the completion message answered), then ROLL.
  CPianoRollDlg* ComposeAndOpenRoll() {
    modals.Queue(Key(WXK_RETURN));
    modals.AnswerOtherMessages(ClickButton(wxID_OK));
    Press(kIdComp);
    Click(MainControl(kIdRoll));
    RunUntil([] { return ShownWindow(CPianoRollDlg::kTitle) != nullptr; });
    auto* roll = dynamic_cast<CPianoRollDlg*>(ShownWindow(CPianoRollDlg::kTitle));
    if (roll == nullptr) return nullptr;
    RunUntil([roll] { return roll->IsShownOnScreen() && roll->DrawnSize().x > 0; });
    Settle(300);
    return roll;
  }

  // A point of the drawing area over a canvas point.
  static wxPoint ViewPoint(const CPianoRollDlg& roll, int canvasX, int canvasY) {
    return wxPoint(canvasX - roll.layout().scrollX(), canvasY - roll.layout().scrollY());
  }

  RecordingPlayer player;
};

// Pixels of some colours in a part of a picture.
int CountColours(const wxImage& image, const wxRect& area, std::initializer_list<wxColour> colours) {
  int count = 0;
  const wxRect inside = area.Intersect(wxRect(image.GetSize()));
  for (int y = inside.GetTop(); y <= inside.GetBottom(); ++y) {
    for (int x = inside.GetLeft(); x <= inside.GetRight(); ++x) {
      const wxColour c(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y));
      for (const wxColour& wanted : colours) {
        if (c == wanted) {
          ++count;
          break;
        }
      }
    }
  }
  return count;
}

const wxColour kMelody(255, 150, 40), kBass(62, 92, 140), kChords(66, 104, 84);
const wxColour kKeyboardWhite(226, 228, 232), kChordText(255, 214, 120), kCursor(255, 70, 70);

// Resizes a top-level window as a window manager does, through the X server (xdotool), which
// also tells the program.  Three resizes in a row from inside the program (SetSize) left the
// drawing area of the resized window unpainted on the screen under Xvfb, where no window manager
// answers them; resized from outside, as here or by hand, it is painted every time.
bool ResizeOnScreen(wxWindow* window, wxSize size) {
  const wxRect now = window->GetScreenRect();
  FILE* list = popen(("xdotool search --onlyvisible --pid " + std::to_string(getpid()) +
                      " 2>/dev/null").c_str(), "r");
  if (list == nullptr) return false;
  std::string id, found;
  char line[64];
  while (std::fgets(line, sizeof line, list) != nullptr) {
    id = std::string(line, std::strcspn(line, "\n"));
    FILE* geometry = popen(("xdotool getwindowgeometry --shell " + id).c_str(), "r");
    int x = -1, y = -1, width = -1, height = -1;
    char field[64];
    while (geometry != nullptr && std::fgets(field, sizeof field, geometry) != nullptr) {
      std::sscanf(field, "X=%d", &x);
      std::sscanf(field, "Y=%d", &y);
      std::sscanf(field, "WIDTH=%d", &width);
      std::sscanf(field, "HEIGHT=%d", &height);
    }
    if (geometry != nullptr) pclose(geometry);
    if (wxRect(x, y, width, height) == now) found = id;
  }
  pclose(list);
  if (found.empty()) return false;
  const std::string command = "xdotool windowsize " + found + " " + std::to_string(size.x) +
                              " " + std::to_string(size.y);
  return std::system(command.c_str()) == 0 &&
         RunUntil([&] { return window->GetSize() == size; }, 3000);
}

std::string ShotPath(const std::string& name) {
  return std::string(VEMA_SHOT_DIR) + "/" + name + ".png";
}

TEST_F(PianoRollClicks, NotesAndKeysSoundOnTheirInstrumentsAndTheRulerPlaysFromThere) {
  session().instrumentPrograms = {73, 33, 48};  // flute, fingered bass, slow strings
  CPianoRollDlg* roll = ComposeAndOpenRoll();
  ASSERT_NE(roll, nullptr);
  const PianoRollLayout& l = roll->layout();
  ASSERT_TRUE(l.HasSong());
  wxWindow* area = roll->DrawingArea();
  // The first note of each part in view: a click sounds it on its channel and instrument.
  const struct {
    RollPart part;
    int channel, program;
  } parts[] = {{RollPart::kMelody, 0, 73}, {RollPart::kBass, 2, 33}, {RollPart::kChords, 1, 48}};
  for (const auto& p : parts) {
    SCOPED_TRACE(PartName(p.part));
    std::optional<RollNote> target;
    for (const RollNote& note : l.Notes()) {
      const wxPoint at = ViewPoint(*roll, note.rect.x + note.rect.width / 2,
                                   note.rect.y + note.rect.height / 2);
      if (note.part == p.part && note.rect.width >= 6 && l.AreaAt(at.x, at.y) == RollArea::kNotes &&
          l.NoteAt(note.rect.x + note.rect.width / 2, note.rect.y + note.rect.height / 2)->part ==
              p.part) {
        target = note;
        break;
      }
    }
    ASSERT_TRUE(target);
    player.sounds.clear();
    Click(area, ViewPoint(*roll, target->rect.x + target->rect.width / 2,
                          target->rect.y + target->rect.height / 2));
    ASSERT_TRUE(RunUntil([this] { return !player.sounds.empty(); }, 3000));
    EXPECT_EQ(player.sounds[0].channel, p.channel);
    EXPECT_EQ(player.sounds[0].program, p.program);
    EXPECT_EQ(player.sounds[0].key, target->key);
    EXPECT_GT(player.sounds[0].velocity, 0);
    EXPECT_GE(player.sounds[0].milliseconds, 150);
  }
  // A key of the keyboard sounds on the melody's instrument.
  player.sounds.clear();
  Click(area, wxPoint(10, l.YOfKey(60) - l.scrollY() + l.KeyHeight() / 2));
  ASSERT_TRUE(RunUntil([this] { return !player.sounds.empty(); }, 3000));
  EXPECT_EQ(player.sounds[0].key, 60);
  EXPECT_EQ(player.sounds[0].program, 73);
  EXPECT_TRUE(player.commands.empty()) << "a click on a note played the song";

  // The ruler over bar 3: PLAY from there; a second click moves the playing song.
  const wxPoint bar3(l.XOfTick(2 * kTicksPerBar) - l.scrollX() + 2, 5);
  Click(area, bar3);
  ASSERT_TRUE(RunUntil([this] { return session().playing == 1; }, 3000));
  EXPECT_EQ(player.commands, (std::vector<std::string>{kPlayerOpen, kPlayerPlay}));
  EXPECT_EQ(player.seeks, (std::vector<int64_t>{2 * kTicksPerBar}));
  const wxPoint bar2(l.XOfTick(kTicksPerBar) - l.scrollX() + 2, 5);
  Click(area, bar2);
  ASSERT_TRUE(RunUntil([this] { return player.seeks.size() == 2; }, 3000));
  EXPECT_EQ(player.seeks[1], kTicksPerBar);
  EXPECT_EQ(player.commands.size(), 2u);
  // The cursor follows the player.
  ASSERT_TRUE(RunUntil([&] {
    return player.PlayingTick() >= kTicksPerBar && roll->DrawnSize().x > 0;
  }));
  Settle(200);
  Screenshot("roll_clicked");
  wxImage shot(ShotPath("roll_clicked"), wxBITMAP_TYPE_PNG);
  ASSERT_TRUE(shot.IsOk());
  const wxRect screen = area->GetScreenRect();
  EXPECT_GT(CountColours(shot, screen, {kCursor}), 100);
  Press(kIdStop);
}

TEST_F(PianoRollClicks, TheRollFillsItsWindowAtAnySizeAndHidesAPart) {
  CPianoRollDlg* roll = ComposeAndOpenRoll();
  ASSERT_NE(roll, nullptr);
  wxWindow* area = roll->DrawingArea();
  for (const wxSize size : {wxSize(640, 420), wxSize(1270, 850)}) {
    SCOPED_TRACE(std::to_string(size.x) + "x" + std::to_string(size.y));
    ASSERT_TRUE(ResizeOnScreen(roll, size));
    Settle(400);
    const wxSize view = area->GetClientSize();
    // The drawing is as large as the drawing area, which takes the window's width and all of
    // its height below the bar of buttons.
    EXPECT_EQ(roll->DrawnSize(), view);
    EXPECT_GE(view.x, roll->GetClientSize().x - 30);  // a scroll bar at most beside it
    EXPECT_GE(view.y, roll->GetClientSize().y - 80);  // the bar of buttons and a scroll bar
    EXPECT_EQ(roll->layout().viewWidth(), view.x);
    EXPECT_EQ(roll->layout().viewHeight(), view.y);
    // The song reaches the right edge; the keys, the bottom (when they fit).
    EXPECT_GE(roll->layout().Width(), view.x);
    if (roll->layout().MaxScrollY() == 0) {
      EXPECT_GT(roll->layout().Height(), view.y - 40);
    }
    // On the screen: notes in the rightmost part of the area.
    const std::string name = "roll_" + std::to_string(size.x) + "x" + std::to_string(size.y);
    Screenshot(name);
    wxImage shot(ShotPath(name), wxBITMAP_TYPE_PNG);
    ASSERT_TRUE(shot.IsOk());
    const wxRect screen = area->GetScreenRect();
    const wxRect rightEnd(screen.GetRight() - 150, screen.y, 150, screen.height);
    EXPECT_GT(CountColours(shot, rightEnd, {kMelody, kBass, kChords}), 200);
  }
  // F: the whole song in the window's width.
  ASSERT_TRUE(ResizeOnScreen(roll, wxSize(1100, 600)));
  Focus(area);
  PressKey('F');
  ASSERT_TRUE(RunUntil([roll] { return roll->layout().WholeSongInView(); }, 3000));
  EXPECT_EQ(roll->layout().Width(), area->GetClientSize().x);

  // The melody's box of the legend hides the melody.
  wxCheckBox* melody = roll->PartBox(RollPart::kMelody);
  ASSERT_NE(melody, nullptr);
  EXPECT_EQ(Utf8(melody->GetLabel()), "旋律");
  Click(melody);
  ASSERT_TRUE(RunUntil([roll] { return !roll->layout().PartShown(RollPart::kMelody); }, 3000));
  Settle(300);
  Screenshot("roll_without_melody");
  wxImage shot(ShotPath("roll_without_melody"), wxBITMAP_TYPE_PNG);
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
  using Files = std::array<std::vector<uint8_t>, 3>;
  const auto files = [this] {
    return Files{testing::ReadAll(dir.File("out.mid")), testing::ReadAll(dir.File("out.mml")),
                 testing::ReadAll(dir.File("work.txt"))};
  };
  const auto melody = [this] {
    std::string error;
    const auto notes = ReadMidiNotes(testing::ReadAll(dir.File("out.mid")), error);
    return notes ? notes->melody : std::vector<ScoreNote>();
  };
  const auto byBar = [](const std::vector<ScoreNote>& notes) {
    std::map<int, std::vector<ScoreNote>> bars;
    for (const ScoreNote& n : notes) bars[n.start / kTicksPerBar].push_back(n);
    return bars;
  };
  const auto changedTo = [&](const Files& before) {
    EXPECT_TRUE(RunUntil([&] { return files() != before; }, 10000));
    Settle(200);
  };

  // A drag across bars 3 and 4 of the ruler chooses them and plays nothing.
  const auto ruler = [&](int bar) {
    return wxPoint(l.XOfTick(bar * kTicksPerBar + kTicksPerBar / 2) - l.scrollX(),
                   PianoRollLayout::kRowHeight / 2);
  };
  const size_t commands = player.commands.size();
  Drag(area, ruler(2), ruler(3));
  Settle(200);
  ASSERT_TRUE(roll->selection().bars());
  EXPECT_EQ(*roll->selection().bars(), (BarRange{2, 3}));
  EXPECT_EQ(player.commands.size(), commands);
  EXPECT_TRUE(roll->RemakeButton()->IsEnabled());
  Screenshot("roll_bars_chosen");

  // "この小節を作り直す": the chosen bars and the bars the form ties to them change, no other.
  const std::vector<ScoreNote> composed = melody();
  Press(roll->RemakeButton());
  Settle(200);
  const std::vector<ScoreNote> remade = melody();
  const std::vector<int> tied = BarsTiedTo(session().midiImage.form, 2, 3);
  auto before = byBar(composed), after = byBar(remade);
  int changed = 0;
  for (int bar = 0; bar < l.song()->bars; ++bar) {
    const bool remadeBar = std::find(tied.begin(), tied.end(), bar) != tied.end();
    if (!remadeBar) {
      EXPECT_EQ(before[bar], after[bar]) << "bar " << bar + 1;
    }
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
      const int x = n.rect.x - l.scrollX();
      if (n.part == RollPart::kMelody && x > PianoRollLayout::kKeyboardWidth + 4 &&
          x + n.rect.width < l.viewWidth() - 4 && n.rect.y - l.scrollY() > PianoRollLayout::kHeaderHeight + 4 &&
          n.rect.y + n.rect.height - l.scrollY() < l.viewHeight() - 4) {
        notes.push_back(n);
      }
    }
    return notes;
  };
  const auto centre = [&](const RollNote& n) {
    return ViewPoint(*roll, n.rect.x + n.rect.width / 2, n.rect.y + n.rect.height / 2);
  };

  // A click on a note and Up: that note alone a scale step up in out.mid and out.mml; Ctrl+Z
  // gives the files back byte for byte.
  std::vector<RollNote> shown = shownMelody();
  ASSERT_GE(shown.size(), 4u);
  const RollNote target = shown[1];
  Click(area, centre(target));
  ASSERT_TRUE(RunUntil([&] { return roll->selection().notes() == std::set<int32_t>{target.start}; }, 3000));
  const Files unedited = files();
  const std::vector<ScoreNote> notesBefore = melody();
  PressKey(WXK_UP);
  changedTo(unedited);
  const Files edited = files();
  EXPECT_NE(edited[1], unedited[1]);  // out.mml
  const std::vector<ScoreNote> notesAfter = melody();
  ASSERT_EQ(notesAfter.size(), notesBefore.size());
  for (size_t i = 0; i < notesAfter.size(); ++i) {
    if (notesBefore[i].start == target.start) {
      EXPECT_GT(notesAfter[i].key, notesBefore[i].key);
      EXPECT_LE(notesAfter[i].key, notesBefore[i].key + 2);
    } else {
      EXPECT_EQ(notesAfter[i], notesBefore[i]) << i;
    }
  }
  EXPECT_EQ(roll->selection().notes(), std::set<int32_t>{target.start});  // still chosen
  EXPECT_NE(edited[2], unedited[2]);  // work.txt tells of the edit
  PressKey('Z', wxMOD_CONTROL);
  changedTo(edited);
  EXPECT_TRUE(files() == unedited);

  // A box dragged from empty space over two neighbouring notes chooses both; Delete makes
  // them rests, in one undo step.
  shown = shownMelody();
  const RollNote& a = shown[1];
  const RollNote& b = shown[2];
  const int top = std::min(a.rect.y, b.rect.y) - 2;
  const int bottom = std::max(a.rect.y + a.rect.height, b.rect.y + b.rect.height) + 1;
  const wxPoint from = ViewPoint(*roll, a.rect.x + 1, a.rect.y == top + 2 ? top : bottom);
  const wxPoint to = ViewPoint(*roll, b.rect.x + 1, a.rect.y == top + 2 ? bottom : top);
  Drag(area, from, to);
  ASSERT_TRUE(RunUntil([&] { return roll->selection().notes() == std::set<int32_t>{a.start, b.start}; }, 3000))
      << roll->selection().notes().size();
  Settle(200);
  Screenshot("roll_notes_chosen");
  const Files twoNotes = files();
  const std::vector<ScoreNote> withTwo = melody();
  PressKey(WXK_DELETE);
  changedTo(twoNotes);
  std::vector<ScoreNote> expected;
  for (const ScoreNote& n : withTwo) {
    if (n.start != a.start && n.start != b.start) expected.push_back(n);
  }
  EXPECT_EQ(melody(), expected);
  EXPECT_TRUE(roll->selection().notes().empty());  // rests are not shown, nor chosen
  // A double-click where the first of them was gives that rest the key under the pointer.
  const Files deleted = files();
  DoubleClick(area, ViewPoint(*roll, a.rect.x + 1, a.rect.y + a.rect.height / 2));
  changedTo(deleted);
  std::vector<ScoreNote> keyed = expected;
  keyed.push_back({a.start, a.length, a.key});
  std::sort(keyed.begin(), keyed.end(), [](const ScoreNote& x, const ScoreNote& y) {
    return x.start < y.start;
  });
  EXPECT_EQ(melody(), keyed);
  const Files keyedFiles = files();
  Focus(area);
  PressKey('Z', wxMOD_CONTROL);
  changedTo(keyedFiles);
  EXPECT_TRUE(files() == deleted);
  PressKey('Z', wxMOD_CONTROL);
  changedTo(deleted);
  EXPECT_TRUE(files() == twoNotes);
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
  player.speed = 4;
  player.loop = roll->layout().song()->EndTick();
  Press(kIdPlay);
  ASSERT_EQ(session().playing, 1);
  const wxRect screen = roll->DrawingArea()->GetScreenRect();
  std::atomic<int> taken = 0;
  std::thread frames([&taken] {
    for (int i = 0; i < 40; ++i) {
      const std::string command =
          "import -window root '" + ShotPath("roll_frame" + std::to_string(i)) + "' 2>/dev/null";
      if (std::system(command.c_str()) != 0) break;
      ++taken;
    }
    taken = taken == 40 ? 40 : -1;
  });
  // The windows go on working while the frames are taken; the roll turns its pages.
  std::set<int> pages;
  RunUntil([&] {
    pages.insert(roll->layout().scrollX());
    return taken == 40 || taken < 0;
  }, 90000);
  frames.join();
  ASSERT_EQ(taken, 40);
  EXPECT_GE(pages.size(), 3u);

  const int keyboard = PianoRollLayout::kKeyboardWidth;
  for (int i = 0; i < 40; ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    wxImage frame(ShotPath("roll_frame" + std::to_string(i)), wxBITMAP_TYPE_PNG);
    ASSERT_TRUE(frame.IsOk());
    // Notes, the chord names of the header, the keyboard and the cursor are all there.
    EXPECT_GT(CountColours(frame, screen, {kMelody, kBass, kChords}), 1000);
    // One cursor, two pixels wide: none left behind where it was.
    const int cursor = CountColours(frame, screen, {kCursor});
    EXPECT_GT(cursor, 200);
    EXPECT_LE(cursor, 2 * screen.height);
    EXPECT_GT(CountColours(frame, wxRect(screen.x, screen.y, screen.width,
                                         PianoRollLayout::kHeaderHeight),
                           {kChordText}),
              20);
    EXPECT_GT(CountColours(frame, wxRect(screen.x, screen.y, keyboard, screen.height),
                           {kKeyboardWhite}),
              keyboard * screen.height / 4);
  }
  // The first and the last are kept to be looked at.
  for (int i = 1; i < 39; ++i) std::filesystem::remove(ShotPath("roll_frame" + std::to_string(i)));
  Press(kIdStop);
}

}  // namespace
}  // namespace vema::gui_test
