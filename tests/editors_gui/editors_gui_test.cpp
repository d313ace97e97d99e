// The editor windows on a display: the templates carry the controls the windows need, the
// controls drive the editors' rules, and the modal dialogs open from their windows.
// Set VEMA_SHOT_DIR to a folder to get a screenshot of every window there.
#include <cstdlib>
#include <functional>
#include <string>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/choice.h>
#include <wx/frame.h>
#include <wx/listbox.h>
#include <wx/log.h>
#include <wx/notebook.h>
#include <wx/radiobut.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>
#include <wx/xrc/xmlres.h>

#include "editors/custom_form_store.h"
#include "editors/gui/custom_form_dlg.h"
#include "editors/gui/editor_windows.h"
#include "editors/gui/style_edit_dlg.h"
#include "support/test_support.h"

void InitEditorsXmlResource();

namespace vema {
namespace {

template <typename T>
T* Find(wxWindow& window, int id) {
  return dynamic_cast<T*>(window.FindWindow(id));
}

std::string Utf8(const wxString& text) { return std::string(text.utf8_str()); }

void Settle() {
  for (int i = 0; i < 15; ++i) {
    wxTheApp->Yield(true);
    wxMilliSleep(20);
  }
}

void Shot(const std::string& name) {
  const char* dir = std::getenv("VEMA_SHOT_DIR");
  if (dir == nullptr) return;
  Settle();
  const std::string command = "import -window root '" + std::string(dir) + "/" + name + ".png'";
  if (std::system(command.c_str()) != 0) ADD_FAILURE() << "screenshot failed: " << name;
}

void Click(wxWindow& window, int id) {
  wxWindow* control = window.FindWindow(id);
  ASSERT_NE(control, nullptr) << id;
  wxCommandEvent event(wxEVT_BUTTON, id);
  event.SetEventObject(control);
  control->GetEventHandler()->ProcessEvent(event);
}

void CheckRadio(wxWindow& window, int id) {
  auto* radio = Find<wxRadioButton>(window, id);
  ASSERT_NE(radio, nullptr) << id;
  radio->SetValue(true);
  wxCommandEvent event(wxEVT_RADIOBUTTON, id);
  event.SetEventObject(radio);
  event.SetInt(1);
  radio->GetEventHandler()->ProcessEvent(event);
}

void Choose(wxWindow& window, int id, int position) {
  auto* choice = Find<wxChoice>(window, id);
  ASSERT_NE(choice, nullptr) << id;
  choice->SetSelection(position);
  wxCommandEvent event(wxEVT_CHOICE, id);
  event.SetEventObject(choice);
  event.SetInt(position);
  choice->GetEventHandler()->ProcessEvent(event);
}

// Runs action inside the next modal dialog of type T, then ends it.
template <typename T>
void InNextModal(std::function<void(T&)> action, bool& ran) {
  wxTheApp->CallAfter([action, &ran] {
    for (wxWindow* window : wxTopLevelWindows) {
      if (auto* dialog = dynamic_cast<T*>(window); dialog != nullptr && dialog->IsModal()) {
        ran = true;
        action(*dialog);
        if (dialog->IsModal()) dialog->EndModal(2);
        return;
      }
    }
  });
}

// Errors and warnings logged by wx (a broken template, say) fail the test.
class FailingLog : public wxLog {
 protected:
  void DoLogTextAtLevel(wxLogLevel level, const wxString& text) override {
    if (level <= wxLOG_Warning) ADD_FAILURE() << "wx: " << text;
  }
};

class EditorWindowsTest : public ::testing::Test {
 protected:
  EditorWindowsTest() : ts(dir.str()) {
    ReadCustomFormFile(session());  // leaves an empty "default.db"
    session().form = BlankForm();
    session().form.lastPeriod = 1;
    session().dbFiles[0] = "default.mld";
    session().dbFiles[1] = "default.ton";
    frame = new wxFrame(nullptr, wxID_ANY, "main");
  }
  ~EditorWindowsTest() override { frame->Destroy(); Settle(); }
  Session& session() { return *ts.session; }

  testing::TempDir dir;
  testing::TestSession ts;
  wxFrame* frame = nullptr;
};

TEST_F(EditorWindowsTest, FormEditorControlsDriveTheForm) {
  int shown = 1;
  auto* editor = new CFormEditDlg(frame, session(), &shown);
  editor->Show();
  EXPECT_EQ(Utf8(editor->GetTitle()), "楽式、コード進行の直接指定モード");
  ASSERT_NE(Find<wxRadioButton>(*editor, 1007), nullptr);
  EXPECT_TRUE(Find<wxRadioButton>(*editor, 1007)->GetValue());  // two periods
  auto* tabs = Find<wxNotebook>(*editor, 1294);
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(tabs->GetPageCount(), 2u);
  EXPECT_EQ(Utf8(tabs->GetPageText(1)), "楽式02");
  EXPECT_EQ(Find<wxChoice>(*editor, 1305)->GetCount(), 1u);
  EXPECT_EQ(Utf8(Find<wxChoice>(*editor, 1305)->GetString(0)), " 新規");
  EXPECT_EQ(Find<wxChoice>(*editor, 1329)->GetCount(), 30u);
  EXPECT_FALSE(Find<wxRadioButton>(*editor, 1295)->IsEnabled());
  Shot("form_editor");

  Choose(*editor, 1309, 3);  // bar 5 repeats bar 3
  EXPECT_EQ(session().form.melodySource[4], 2);
  EXPECT_FALSE(Find<wxChoice>(*editor, 1317)->IsEnabled());
  EXPECT_FALSE(Find<wxTextCtrl>(*editor, 1183)->IsEnabled());

  Find<wxTextCtrl>(*editor, 1181)->SetValue("Am7-5add9x");  // typing into bar 3
  EXPECT_EQ(session().form.Chord(2), "Am7-5add9");
  EXPECT_EQ(session().form.Chord(4), "Am7-5add9");
  EXPECT_EQ(Utf8(Find<wxTextCtrl>(*editor, 1183)->GetValue()), "Am7-5add9");

  CheckRadio(*editor, 1009);  // four periods
  EXPECT_EQ(session().form.lastPeriod, 3);
  EXPECT_EQ(tabs->GetPageCount(), 4u);
  tabs->SetSelection(2);  // raises the page-change event like a click
  Settle();
  EXPECT_EQ(Utf8(Find<wxStaticText>(*editor, 1292)->GetLabel()), "楽節  3");
  CheckRadio(*editor, 1295);
  EXPECT_EQ(session().form.periodSource[2], 0);
  EXPECT_TRUE(Find<wxChoice>(*editor, 1337)->IsEnabled());
  EXPECT_FALSE(Find<wxChoice>(*editor, 1305)->IsEnabled());
  Shot("form_editor_copied_period");

  Click(*editor, 1);
  EXPECT_EQ(shown, 0);
  EXPECT_FALSE(editor->IsShown());
  shown = 1;
  editor->Show();
  EXPECT_EQ(tabs->GetSelection(), 2);  // kept for the next showing
}

TEST_F(EditorWindowsTest, FormEditorShowsADamagedFormWithoutFailing) {
  SongForm& form = session().form;
  form = SongForm{};  // every source 0: bar 0 refers to itself
  form.lastPeriod = 99;
  form.periodSource[0] = 5;
  form.periodSource[11] = 11;
  form.melodySource[95] = 400;
  form.keyIndex[3] = -7;
  for (auto& chord : form.chordSymbol) chord.fill('\x81');  // half characters, no NUL
  int shown = 1;
  auto* editor = new CFormEditDlg(frame, session(), &shown);
  editor->Show();
  EXPECT_EQ(Find<wxNotebook>(*editor, 1294)->GetPageCount(), 12u);
  EXPECT_TRUE(Find<wxRadioButton>(*editor, 1017)->GetValue());
  EXPECT_EQ(Find<wxChoice>(*editor, 1332)->GetSelection(), wxNOT_FOUND);
  Find<wxNotebook>(*editor, 1294)->SetSelection(11);
  Settle();
  EXPECT_TRUE(Find<wxRadioButton>(*editor, 1296)->GetValue());
  EXPECT_EQ(Find<wxChoice>(*editor, 1312)->GetSelection(), 0);
  Shot("form_editor_damaged");
  editor->Destroy();
}

TEST_F(EditorWindowsTest, CustomFormDialogsOpenFromTheFormEditor) {
  int shown = 1;
  auto* editor = new CFormEditDlg(frame, session(), &shown);
  editor->Show();
  session().form.SetChord(0, "Dm");
  ts.platform.promptAnswers.push_back("ＡＢメロ");
  bool ran = false;
  InNextModal<CCustomFormDlg>([this](CCustomFormDlg& dialog) {
    EXPECT_EQ(Utf8(dialog.GetTitle()), "カスタムフォームの保存");
    EXPECT_FALSE(Find<wxButton>(dialog, 3)->IsEnabled());
    EXPECT_FALSE(Find<wxButton>(dialog, 5)->IsEnabled());
    EXPECT_FALSE(Find<wxButton>(dialog, 1)->IsShown());
    Click(dialog, 4);
    EXPECT_EQ(Find<wxListBox>(dialog, 1340)->GetCount(), 1u);
    EXPECT_EQ(Utf8(Find<wxListBox>(dialog, 1340)->GetString(0)), "ＡＢメロ");
    Shot("custom_form_save");
  }, ran);
  Click(*editor, 1275);
  EXPECT_TRUE(ran);
  EXPECT_EQ(session().customForms.count, 1);
  EXPECT_EQ(testing::ReadAll(dir.File("default.db")).size(), kCustomFormFileBytes);

  session().form = BlankForm();
  ran = false;
  InNextModal<CCustomFormDlg>([](CCustomFormDlg& dialog) {
    EXPECT_EQ(Utf8(dialog.GetTitle()), "カスタムフォームの読み込み");
    auto* list = Find<wxListBox>(dialog, 1340);
    list->SetSelection(0);
    Click(dialog, 3);
    Shot("custom_form_load");
  }, ran);
  Click(*editor, 1276);
  EXPECT_TRUE(ran);
  EXPECT_EQ(session().form.lastPeriod, 1);
  EXPECT_EQ(session().form.Chord(0), "Dm");
  EXPECT_EQ(Find<wxNotebook>(*editor, 1294)->GetPageCount(), 2u);
  EXPECT_TRUE(Find<wxRadioButton>(*editor, 1007)->GetValue());
}

TEST_F(EditorWindowsTest, StyleWindowLoadsFilesAndOpensTheStyleEditor) {
  MelodyStyleDb style;
  style.onBeat(0, 0, 0) = 60;
  style.onBeat(0, 0, 1) = 40;
  std::filesystem::create_directory(dir.File("other"));
  const std::string path = dir.File("other/pop.ton");
  const std::string bytes = style.Encode();
  testing::WriteAll(path, std::vector<uint8_t>(bytes.begin(), bytes.end()));

  int shown = 1;
  auto* window = new CStyleSelectDlg(frame, session(), &shown);
  window->Show();
  EXPECT_EQ(Utf8(window->GetTitle()), "作曲スタイルの選択");
  EXPECT_EQ(Utf8(Find<wxTextCtrl>(*window, 1011)->GetValue()), "default.mld");
  EXPECT_FALSE(Find<wxButton>(*window, 1008)->IsShown());
  EXPECT_FALSE(Find<wxTextCtrl>(*window, 1015)->IsShown());
  EXPECT_FALSE(Find<wxButton>(*window, 1120)->IsShown());
  EXPECT_FALSE(Find<wxButton>(*window, 1025)->IsShown());
  ts.platform.fileAnswers.push_back(path);
  Click(*window, 1007);
  EXPECT_EQ(Utf8(Find<wxTextCtrl>(*window, 1012)->GetValue()), "pop.ton");
  EXPECT_EQ(session().style, style);
  Shot("style_select");

  bool ran = false;
  InNextModal<CStyleEditDlg>([](CStyleEditDlg& editor) {
    EXPECT_EQ(Utf8(editor.GetTitle()), "旋律作法ｽﾀｲﾙDBの確率編集＆ｶｽｶﾏｲｽﾞ");
    EXPECT_EQ(Utf8(Find<wxTextCtrl>(editor, 1016)->GetValue()), "60");
    Find<wxTextCtrl>(editor, 1018)->SetValue("30");  // next rule 2
    EXPECT_EQ(editor.model().OnBeatSum(), 130);
    Find<wxTextCtrl>(editor, 1043)->SetValue("12");
    Shot("style_editor");
    Click(editor, 1);  // the run limit is refused: stays open
    EXPECT_TRUE(editor.IsModal());
    Find<wxTextCtrl>(editor, 1043)->SetValue("3");
    Click(editor, 1);
    EXPECT_FALSE(editor.IsModal());
  }, ran);
  Click(*window, 1118);
  EXPECT_TRUE(ran);
  EXPECT_EQ(session().style.onBeat(0, 0, 2), 30);
  EXPECT_EQ(session().style.settings[2], 3);
  EXPECT_EQ(ts.platform.StopMessageCount(), 1);
  EXPECT_EQ(Utf8(Find<wxTextCtrl>(*window, 1012)->GetValue()), "pop.ton");

  Click(*window, 2);
  EXPECT_EQ(shown, 0);
  EXPECT_FALSE(window->IsShown());
}

}  // namespace
}  // namespace vema

int main(int argc, char** argv) {
  if (std::getenv("DISPLAY") == nullptr) return 77;
  ::testing::InitGoogleTest(&argc, argv);
  wxApp::SetInstance(new wxApp);
  if (!wxEntryStart(argc, argv)) return 1;
  wxTheApp->CallOnInit();
  // Messages and failed checks of wx go to stderr and fail the run instead of waiting for a
  // person to close a message box.
  delete wxLog::SetActiveTarget(new vema::FailingLog);
  wxSetAssertHandler([](const wxString& file, int line, const wxString& func, const wxString& cond,
                        const wxString& msg) {
    ADD_FAILURE() << "wx check failed at " << file << ":" << line << " " << func << ": " << cond
                  << " " << msg;
  });
  wxXmlResource::Get()->InitAllHandlers();
  InitEditorsXmlResource();
  const int result = RUN_ALL_TESTS();
  wxEntryCleanup();
  return result;
}
