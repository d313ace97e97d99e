// Clicks inside the editor windows, opened (and hidden) from the main window as a person opens
// them.
#include <gtest/gtest.h>

#include <algorithm>

#include <wx/choice.h>
#include <wx/listbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "gui/vema_dlg.h"
#include "app/main_window_logic.h"
#include "editors/custom_form_dialog.h"
#include "editors/form_editor.h"
#include "gui/editor_windows.h"
#include "gui/period_tabs.h"
#include "editors/style_editor.h"
#include "editors/style_select.h"
#include "gui/window_harness.h"
#include "song/text.h"

namespace vema::gui_test {
namespace {

constexpr const char* kFormTitle = "楽式、コード進行の直接指定モード";
constexpr const char* kStyleTitle = "作曲スタイルの選択";

class EditorWindowClicks : public ProgramTest {
 protected:
  template <typename T>
  static T* Find(wxWindow* window, int id) {
    T* control = window ? dynamic_cast<T*>(window->FindWindow(id)) : nullptr;
    EXPECT_NE(control, nullptr) << id;
    return control;
  }
};

TEST_F(EditorWindowClicks, TheSpinButtonOfTheStyleEditorStepsTheSourceRule) {
  wxWindow* styleWindow = OpenWindow(kIdStyle, kStyleTitle);
  ASSERT_NE(styleWindow, nullptr);
  bool ruleOneShown = false;
  std::string top, bottom, onBeatOfRule10, openedCaption;
  modals.Queue([&](wxDialog& editor) {
    wxWindow* spin = editor.FindWindow(style_edit_ids::kScroll);
    auto* field = dynamic_cast<wxTextCtrl*>(editor.FindWindow(style_edit_ids::kSourceRule));
    if (spin == nullptr || field == nullptr) return;
    // The rows name their source rule from the start.
    openedCaption = Utf8(dynamic_cast<wxTextCtrl*>(
        editor.FindWindow(style_edit_ids::kOffCaptionFirst + 10))->GetValue());
    // GTK draws the arrows of a horizontal spin button as "-" and "+", "+" on the right.
    const wxSize size = spin->GetClientSize();
    const wxPoint plus(size.x - size.y / 2, size.y / 2);
    const wxPoint minus(size.x - size.y - size.y / 2, size.y / 2);
    Click(spin, plus);
    ruleOneShown = RunUntil([&] { return field->GetValue() == "1"; }, 1000);
    Settle(300);
    Screenshot("style_editor_after_plus");
    for (int i = 0; i < 11; ++i) {
      Click(spin, plus);
      Settle(150);
    }
    RunUntil([&] { return field->GetValue() == "10"; }, 2000);
    top = Utf8(field->GetValue());
    onBeatOfRule10 = Utf8(dynamic_cast<wxTextCtrl*>(
        editor.FindWindow(style_edit_ids::kOnBeatFirst + 4))->GetValue());
    for (int i = 0; i < 12; ++i) {
      Click(spin, minus);
      Settle(150);
    }
    RunUntil([&] { return field->GetValue() == "0"; }, 2000);
    bottom = Utf8(field->GetValue());
    Key(WXK_ESCAPE)(editor);
  });
  Press(styleWindow->FindWindow(style_select_ids::kEditStyle));
  EXPECT_EQ(openedCaption, " 0");
  EXPECT_TRUE(ruleOneShown) << "rule 1 was not shown within a second";
  EXPECT_EQ(top, "10");
  EXPECT_EQ(onBeatOfRule10, std::to_string(session().style.onBeat(0, 10, 4)));
  EXPECT_EQ(bottom, "0");
  // STYLE hides the window and shows it again.
  Press(kIdStyle);
  EXPECT_FALSE(styleWindow->IsShown());
  Press(kIdStyle);
  EXPECT_TRUE(styleWindow->IsShown());
}

TEST_F(EditorWindowClicks, AJapaneseChordNameIsNamedInTheMessagesOfCOMPAndInTheTrace) {
  wxWindow* form = OpenWindow(kIdForm, kFormTitle);
  auto* chord = Find<wxTextCtrl>(form, form_ids::kChordFirst + 1);
  ASSERT_NE(chord, nullptr);
  chord->SetValue(wxString::FromUTF8("ド"));  // as an input method enters it
  Settle();
  ASSERT_EQ(session().form.Chord(1), "\x83\x68");
  modals.Queue(ShotThen("chord_message", ClickButton(wxID_OK)));
  Compose(ClickButton(1));  // the feel dialog's "適用"
  const std::vector<std::string> messages = modals.Messages();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.front(), "コード解析error\n[ド]は誤りまたは未対応です");
  // The pitch phase failed: the song is written without a melody, and says so.
  EXPECT_NE(std::find(messages.begin(), messages.end(),
                      "メロディーはまだ生成されていません。\n伴奏パタンのみ作成します。"),
            messages.end());
  const std::vector<uint8_t> trace = testing::ReadAll(dir.File("work.txt"));
  EXPECT_NE(std::string(trace.begin(), trace.end()).find("ato=\x83\x68"), std::string::npos);
}

TEST_F(EditorWindowClicks, TheChordFieldHoldsWhatIsStored) {
  wxWindow* form = OpenWindow(kIdForm, kFormTitle);
  auto* first = Find<wxTextCtrl>(form, form_ids::kChordFirst);
  auto* second = Find<wxTextCtrl>(form, form_ids::kChordFirst + 1);
  ASSERT_TRUE(first && second);
  Focus(first);
  PressKey('A', wxMOD_CONTROL);
  Type("Cmaj7add9b13");
  EXPECT_TRUE(RunUntil([&] { return session().form.Chord(0) == "Cmaj7add9"; }, 3000));
  Settle();
  EXPECT_EQ(Utf8(first->GetValue()), "Cmaj7add9");
  second->SetValue(wxString::FromUTF8("あいうえおかきくけこ"));
  Settle();
  EXPECT_EQ(Utf8(second->GetValue()), "あいうえ");
  EXPECT_EQ(session().form.Chord(1), Utf8ToCp932("あいうえ"));
  // Nine characters of a wide chord name fit the field whole.
  second->SetValue(CFormEditDlg::kWidestChord);
  Settle();
  EXPECT_GE(second->GetSize().x, second->GetSizeFromText(CFormEditDlg::kWidestChord).x);
  EXPECT_GT(second->GetSize().x, second->GetSizeFromText("G#mM7onD").x);
  Screenshot("chord_fields");
}

TEST_F(EditorWindowClicks, AllTwelvePeriodTabsShowAtOnceAndTheFirstPeriodHasNoCopySource) {
  wxWindow* form = OpenWindow(kIdForm, kFormTitle);
  ASSERT_NE(form, nullptr);
  auto* tabs = Find<editors_gui::PeriodTabBar>(form, form_ids::kPeriodTabs);
  ASSERT_NE(tabs, nullptr);
  // The bar is as high as the rows of tabs it shows, and the window follows: no empty row is
  // left after going from twelve periods back to two.
  const int row = editors_gui::PeriodTabBar::kTabHeight;
  int heightWithOneRow = 0;
  for (const int periods : {2, 12, 2, 12}) {
    SCOPED_TRACE(periods);
    Click(form->FindWindow(form_ids::kPeriodCountFirst + periods - 1));
    Settle();
    ASSERT_EQ(tabs->GetTabCount(), static_cast<size_t>(periods));
    EXPECT_EQ(tabs->GetClientSize().y, (periods > 6 ? 2 : 1) * row + 1);
    if (periods == 2 && heightWithOneRow == 0) heightWithOneRow = form->GetSize().y;
    EXPECT_EQ(form->GetSize().y, heightWithOneRow + (periods > 6 ? row : 0));
  }
  ASSERT_EQ(tabs->GetTabCount(), 12u);
  const wxRect shown(tabs->GetClientSize());
  for (int tab = 0; tab < 12; ++tab) EXPECT_TRUE(shown.Contains(tabs->TabRect(tab))) << tab;
  EXPECT_TRUE(wxRect(form->GetClientSize()).Contains(tabs->GetRect()));
  Screenshot("period_tabs");
  const auto clickTab = [&](int tab) {
    const wxRect r = tabs->TabRect(tab);
    Click(tabs, wxPoint(r.x + r.width / 2, r.y + r.height / 2));
    Settle();
  };
  auto* label = Find<wxStaticText>(form, form_ids::kPeriodLabel);
  auto* copySource = Find<wxChoice>(form, form_ids::kCopySource);
  clickTab(11);
  EXPECT_EQ(Utf8(label->GetLabel()), "楽節 12");
  clickTab(2);
  Click(form->FindWindow(form_ids::kCopyPeriod));
  Settle();
  EXPECT_EQ(Utf8(copySource->GetStringSelection()), " 1");
  EXPECT_EQ(session().form.periodSource[2], 0);
  clickTab(0);
  EXPECT_EQ(Utf8(label->GetLabel()), "楽節  1");
  PressKey(WXK_DOWN);  // the arrows move between the tabs
  EXPECT_TRUE(RunUntil([&] { return Utf8(label->GetLabel()) == "楽節  7"; }, 2000));
  PressKey(WXK_UP);
  EXPECT_TRUE(RunUntil([&] { return Utf8(label->GetLabel()) == "楽節  1"; }, 2000));
  EXPECT_EQ(copySource->GetCount(), 0u);
  EXPECT_EQ(copySource->GetSelection(), wxNOT_FOUND);
  EXPECT_FALSE(copySource->IsEnabled());
  // FORM hides the editor and shows it again as it was.
  Press(kIdForm);
  EXPECT_FALSE(form->IsShown());
  Press(kIdForm);
  EXPECT_TRUE(form->IsShown());
  EXPECT_EQ(Utf8(label->GetLabel()), "楽節  1");
}

TEST_F(EditorWindowClicks, TheCustomFormDialogAsksOverItselfAndActsOnASelectedEntry) {
  wxWindow* form = OpenWindow(kIdForm, kFormTitle);
  ASSERT_NE(form, nullptr);
  const unsigned countBefore = static_cast<unsigned>(session().customForms.Count());
  ASSERT_GT(countBefore, 0u);
  wxDialog* custom = nullptr;
  bool enabledBySelection = false;
  unsigned listed = 0;
  int selectedAfterAdding = 0;
  bool overwriteAfterAdding = true;
  modals.Queue([&](wxDialog& dialog) {
    custom = &dialog;
    auto* list = dynamic_cast<wxListBox*>(dialog.FindWindow(custom_form_ids::kList));
    wxWindow* overwrite = dialog.FindWindow(custom_form_ids::kOverwrite);
    EXPECT_FALSE(dialog.FindWindow(custom_form_ids::kLoad)->IsEnabled());
    // GTK selects the first entry when the list takes the keyboard; the button follows.
    EXPECT_EQ(overwrite->IsEnabled(), list->GetSelection() != wxNOT_FOUND);
    Click(list, wxPoint(40, 30));  // the second entry
    enabledBySelection = RunUntil(
        [&] { return list->GetSelection() == 1 && overwrite->IsEnabled(); }, 2000);
    Click(dialog.FindWindow(custom_form_ids::kAdd));
    // The prompt and the message come and go (answered below).
    RunUntil([&] { return modals.seen().size() >= 3 && modals.Depth() == 1; }, 15000);
    Settle();
    listed = list->GetCount();
    selectedAfterAdding = list->GetSelection();
    overwriteAfterAdding = overwrite->IsEnabled();
    Screenshot("custom_form_dialog");
    Key(WXK_ESCAPE)(dialog);
  });
  modals.Queue(TypeLine("mine"));
  modals.Queue(ClickButton(wxID_OK));
  Press(form->FindWindow(form_ids::kSaveData), 40000);
  EXPECT_TRUE(enabledBySelection);
  EXPECT_EQ(listed, countBefore + 1);
  EXPECT_EQ(selectedAfterAdding, wxNOT_FOUND);
  EXPECT_FALSE(overwriteAfterAdding) << "上書き without a selected entry";
  const auto& seen = modals.seen();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[1].title, "入力ダイアログ");
  EXPECT_EQ(seen[2].message, "カスタムフォーム保存完了");
  EXPECT_EQ(seen[1].parent, custom);
  EXPECT_EQ(seen[2].parent, custom);
  EXPECT_EQ(session().customForms.names[countBefore], "mine");
}

TEST_F(EditorWindowClicks, AFileOpenedFromTheStyleWindowKeepsTheNameItWasPickedBy) {
  MelodyStyleDb style;
  style.onBeat(1, 2, 3) = 44;
  const std::string bytes = style.Encode();
  testing::WriteAll(dir.File("ballad"), std::vector<uint8_t>(bytes.begin(), bytes.end()));
  wxWindow* styleWindow = OpenWindow(kIdStyle, kStyleTitle);
  ASSERT_NE(styleWindow, nullptr);
  modals.Queue(TypeName("ballad", 'L'));
  Press(styleWindow->FindWindow(style_select_ids::kChooseFirst + 1));
  EXPECT_TRUE(modals.Messages().empty());
  EXPECT_EQ(Utf8(Find<wxTextCtrl>(styleWindow, style_select_ids::kNameFirst + 1)->GetValue()),
            "ballad");
  EXPECT_EQ(session().style.onBeat(1, 2, 3), 44);
}

}  // namespace
}  // namespace vema::gui_test
