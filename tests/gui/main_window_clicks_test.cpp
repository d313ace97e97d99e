// The main window clicked as a person clicks it: the buttons' places, message boxes, Escape in
// the feel dialog, SAVE over an existing file, and the wait for a folder another run writes in.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>
#include <wx/choice.h>
#include <wx/filedlg.h>
#include <wx/filesys.h>
#include <wx/html/helpdata.h>

#include <filesystem>

#include "app/compose_command.h"
#include "app/folder_wait_view.h"
#include "app/main_window_logic.h"
#include "app/scripted_platform.h"
#include "critic/melody_critic.h"
#include "gui/best_of_config.h"
#include "gui/help_line_breaks.h"
#include "gui/instrument_dlg.h"
#include "gui/vema_dlg.h"
#include "gui/window_harness.h"

namespace vema::gui_test {
namespace {

using MainWindowClicks = ProgramTest;

TEST_F(MainWindowClicks, ButtonsLieWholeInsideTheWindowAndMessagesHaveNoCaption) {
  EXPECT_EQ(mainWindow().GetClientSize(), wxSize(kBackgroundWidth, kBackgroundHeight));
  ExpectButtonsInPlace(kMainButtons);
  // SAVE before the first song: the message box, over the main window, without caption text.
  modals.Queue(ClickButton(wxID_OK));
  Press(kIdSave);
  ASSERT_EQ(modals.seen().size(), 1u);
  EXPECT_EQ(modals.seen()[0].message, "曲が生成されていません。");
  EXPECT_EQ(modals.seen()[0].title, "");
  EXPECT_EQ(modals.seen()[0].parent, &mainWindow());
}

TEST_F(MainWindowClicks, EscapeClosesTheFeelDialogAndTheSongKeepsTheLastFeel) {
  session().accompanimentFeel = 2;  // blues, chosen in an earlier composition
  Compose(Key(WXK_ESCAPE));
  ASSERT_GE(modals.seen().size(), 2u);
  EXPECT_EQ(modals.seen()[0].title, "伴奏の曲調選択");
  EXPECT_FALSE(modals.seen()[0].stuck) << "Escape did not close the feel dialog";
  EXPECT_EQ(session().accompanimentFeel, 2);
  EXPECT_EQ(modals.Messages().back(), "作曲完了！！");
  EXPECT_EQ(testing::ReadAll(dir.File("out.mid")), session().midiImage.bytes);
}

// A name typed without extension over an existing file, with the file type left or picked in
// the dialog's list: the question names the file with the type's extension; "いいえ" brings
// the dialog back, which Escape cancels, and "はい" replaces the file.
TEST_F(MainWindowClicks, SaveAsksBeforeReplacingTheFileNamedWithTheExtensionOfItsType) {
  const std::vector<uint8_t> song = {'M', 'T', 'h', 'd', 0, 0, 0, 6};
  const std::vector<uint8_t> old = {'o', 'l', 'd'};
  session().midiImage = {song, static_cast<int32_t>(song.size())};
  const struct {
    int type;  // picked in the list (-1: left)
    const char* file;
    int answer;
  } cases[] = {{-1, "mysong.mid", wxID_NO},
               {-1, "mysong.mid", wxID_YES},
               {1, "mysong.musicxml", wxID_NO},
               {2, "mysong.wav", wxID_NO}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file + std::string(c.answer == wxID_NO ? " no" : " yes"));
    if (c.answer == wxID_NO) testing::WriteAll(dir.File(c.file), old);
    modals.Queue([type = c.type](wxDialog& dialog) {
      if (type >= 0) wxDynamicCast(&dialog, wxFileDialog)->SetFilterIndex(type);
      TypeName("mysong")(dialog);
    });
    modals.Queue(ShotThen(std::string("save_question_") + c.file, ClickButton(c.answer)));
    if (c.answer == wxID_NO) modals.Queue(Key(WXK_ESCAPE));
    Press(kIdSave);
    const auto& seen = modals.seen();
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[seen.size() - (c.answer == wxID_NO ? 2 : 1)].message,
              c.file + std::string(gui::kOverwriteQuestion));
    EXPECT_EQ(testing::ReadAll(dir.File(c.file)), c.answer == wxID_NO ? old : song);
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("mysong")));
}

// COMP while another run holds the folder: the wait shows after a moment with a cancel button;
// cancelling it gives up with a message, and nothing is written.
TEST_F(MainWindowClicks, AWaitForABusyFolderShowsAndCancelGivesUp) {
  const int held = ::open(dir.File(kFolderLockFile).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  modals.Queue(Key(WXK_ESCAPE));  // the feel dialog
  modals.AnswerOtherMessages(ClickButton(wxID_OK));
  bool cancelled = false;
  wxTimer watch;
  watch.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
    wxWindow* wait = ShownWindow(kFolderWaitTitle);
    if (wait == nullptr || cancelled) return;
    cancelled = true;
    Screenshot("folder_wait");
    Click(wait->FindWindow(wxID_CANCEL));
  });
  watch.Start(200);
  Press(MainControl(kIdComp), 40000);
  watch.Stop();
  ::close(held);
  EXPECT_TRUE(cancelled) << "the wait was not shown";
  ASSERT_FALSE(modals.Messages().empty());
  EXPECT_EQ(modals.Messages().back(), FolderProblemTextForWindow(FolderProblem::kBusy, dir.str()));
  EXPECT_EQ(ShownWindow(kFolderWaitTitle), nullptr);
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.mid")));
}

// The proposed name with another file type chosen: the type sets the extension, the status line
// says where the song went, and the next proposal is the next free name.
TEST_F(MainWindowClicks, SaveWithTheProposedNameTakesTheExtensionOfTheChosenType) {
  Compose();
  std::string proposed;
  modals.Queue([&proposed](wxDialog& dialog) {
    auto* files = wxDynamicCast(&dialog, wxFileDialog);
    ASSERT_NE(files, nullptr);
    proposed = Utf8(files->GetFilename());
    files->SetFilterIndex(1);  // MusicXML
    Focus(&dialog);
    PressKey(WXK_RETURN);
  });
  Press(kIdSave);
  EXPECT_EQ(proposed, "vema01.mid");
  EXPECT_FALSE(std::filesystem::exists(dir.File("vema01.mid")));
  const std::vector<uint8_t> score = testing::ReadAll(dir.File("vema01.musicxml"));
  EXPECT_NE(std::string(score.begin(), score.end()).find("<score-partwise"), std::string::npos);
  EXPECT_EQ(session().statusText, "保存しました\nvema01.musicxml");
  Screenshot("save_status");
  modals.Queue([&proposed](wxDialog& dialog) {
    proposed = Utf8(wxDynamicCast(&dialog, wxFileDialog)->GetFilename());
    Focus(&dialog);
    PressKey(WXK_ESCAPE);
  });
  Press(kIdSave);
  EXPECT_EQ(proposed, "vema02.mid");
}

// The melody octave is chosen in the instrument window as a person chooses it (the list opened
// with a click, one step down, Return); it takes effect at once, is kept in wx's config store,
// and the next composition is the single one with its melody an octave higher.
TEST_F(MainWindowClicks, TheMelodyOctaveOfTheInstrumentWindowTakesEffectAndIsKept) {
  const std::string file = dir.File("vema.conf");
  auto own = std::make_unique<OwnConfig>(file);
  wxWindow* window = OpenWindow(kIdTone, "音色の設定");
  ASSERT_NE(window, nullptr);
  auto* octave = dynamic_cast<wxChoice*>(window->FindWindow(CInstrumentDlg::kIdMelodyOctave));
  ASSERT_NE(octave, nullptr);
  ASSERT_EQ(octave->GetCount(), 5u);
  EXPECT_EQ(Utf8(octave->GetString(0)), "自動");
  EXPECT_EQ(Utf8(octave->GetStringSelection()), "0");  // the session's setting
  Click(octave);
  Settle(500);
  Screenshot("melody_octave_list");
  PressKey(WXK_DOWN);
  PressKey(WXK_RETURN);
  EXPECT_TRUE(RunUntil([&] { return session().melodyOctave == 1; }, 3000));
  EXPECT_EQ(Utf8(octave->GetStringSelection()), "+1");
  EXPECT_EQ(gui::LoadMelodyOctave(), 1);
  own.reset();
  const std::vector<uint8_t> bytes = testing::ReadAll(file);
  EXPECT_NE(std::string(bytes.begin(), bytes.end()).find("MelodyOctave=1"), std::string::npos);

  constexpr uint32_t kSeed = 4242;
  session().random = RandomSource(kSeed);
  session().random.SetPlatform(&platform);
  Compose(Key(WXK_ESCAPE));  // the feel dialog keeps the last feel
  // The same composition without the shift, composed apart.
  testing::TempDir apart;
  testing::CopyShippedData(apart.str());
  ScriptedPlatform quiet;
  Session single(quiet, SessionOptions{apart.str(), kSeed});
  StartUp(single);
  ComposeCommand(single);
  const std::vector<CriticNote> up = MelodyOfTrack(session().noteTrack);
  const std::vector<CriticNote> plain = MelodyOfTrack(single.noteTrack);
  ASSERT_EQ(up.size(), plain.size());
  ASSERT_FALSE(up.empty());
  for (size_t i = 0; i < up.size(); ++i) {
    EXPECT_EQ(up[i].key, plain[i].key < 0 ? -1 : plain[i].key + 12) << i;
  }
}

// The help viewer shows Japanese with line breaks between characters; the help search still
// reads the pages as written, so a word of two characters is found.
TEST(HelpBook, PagesAreMarkedForTheViewerOnlyAndTheSearchFindsWholeWords) {
  gui::UseJapaneseLineBreaksInHelp();
  wxFileSystem files;
  const std::unique_ptr<wxFSFile> page(files.OpenFile(
      wxFileSystem::FileNameToURL(wxString::FromUTF8(VEMA_SOURCE_DIR "/res/help/panel.htm"))));
  ASSERT_TRUE(page);
  EXPECT_TRUE(page->GetMimeType().StartsWith("text/x-vema-help"));
  wxHtmlSearchEngine search;
  search.LookFor(wxString::FromUTF8("曲名"), false, false);
  EXPECT_TRUE(search.Scan(*page));
}

}  // namespace
}  // namespace vema::gui_test
