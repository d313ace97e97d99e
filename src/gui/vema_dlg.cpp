#include "gui/vema_dlg.h"

#include <algorithm>

#include <wx/dcclient.h>
#include <wx/filename.h>
#include <wx/frame.h>
#include <wx/html/helpctrl.h>
#include <wx/iconbndl.h>
#include <wx/progdlg.h>
#include <wx/settings.h>
#include <wx/xrc/xmlres.h>

#include "gui/instrument_dlg.h"
#include "app/compose_command.h"
#include "gui/help_line_breaks.h"
#include "app/export_command.h"
#include "gui/piano_roll_dlg.h"
#include "gui/resources.h"
#include "app/main_window_logic.h"
#include "app/name_prompt.h"
#include "app/piano_roll.h"
#include "app/playback.h"
#include "app/roll_edit.h"
#include "app/session.h"
#include "app/song_player.h"
#include "app/song_state.h"
#include "gui/editor_windows.h"

using vema::gui::U8;

wxBEGIN_EVENT_TABLE(CVemaDlg, wxDialog)
  EVT_PAINT(CVemaDlg::OnPaint)
  EVT_SHOW(CVemaDlg::OnShow)
  EVT_CLOSE(CVemaDlg::OnClose)
  EVT_CHAR_HOOK(CVemaDlg::OnCharHook)
  EVT_BUTTON(vema::kIdPower, CVemaDlg::OnPower)
  EVT_BUTTON(vema::kIdSave, CVemaDlg::OnSave)
  EVT_BUTTON(vema::kIdForm, CVemaDlg::OnForm)
  EVT_BUTTON(vema::kIdStyle, CVemaDlg::OnStyle)
  EVT_BUTTON(vema::kIdTone, CVemaDlg::OnTone)
  EVT_BUTTON(vema::kIdPlay, CVemaDlg::OnPlay)
  EVT_BUTTON(vema::kIdStop, CVemaDlg::OnStop)
  EVT_BUTTON(vema::kIdHelp, CVemaDlg::OnHelp)
  EVT_BUTTON(vema::kIdIcon, CVemaDlg::OnIcon)
  EVT_BUTTON(vema::kIdComp, CVemaDlg::OnComp)
  EVT_BUTTON(vema::kIdTitle, CVemaDlg::OnTitle)
  EVT_BUTTON(vema::kIdRoll, CVemaDlg::OnRoll)
  EVT_BUTTON(vema::kIdHistoryBack, CVemaDlg::OnHistoryBack)
  EVT_BUTTON(vema::kIdHistoryForward, CVemaDlg::OnHistoryForward)
  EVT_BUTTON(vema::kIdNewMelody, CVemaDlg::OnNewMelody)
  EVT_BUTTON(vema::kIdNewRhythm, CVemaDlg::OnNewRhythm)
  EVT_BUTTON(vema::kIdNewFeel, CVemaDlg::OnNewFeel)
wxEND_EVENT_TABLE()

namespace {

const wxColour kTitleBackground(0, 0, 0);
const wxColour kTitleText(255, 255, 0);
const wxColour kStatusBackground(204, 102, 0);
const wxColour kStatusText(0, 0, 0);
const wxColour kHistoryText(0xaa, 0xb2, 0xc0);
const wxColour kSoundingMark(80, 230, 110);
// How often the window looks at playback (the playing mark, messages of the player).
constexpr int kPlaybackLookMs = 200;

wxRect RectOf(const vema::TextArea& area) {
  return wxRect(area.left, area.top, area.right - area.left, area.bottom - area.top);
}

// Shows, hides or creates a tool window by the toggle protocol.
template <typename Window, typename Create>
void Toggle(Window*& window, int& shownFlag, Create create) {
  switch (vema::ToggleToolWindow(window != nullptr, shownFlag)) {
    case vema::ToolWindowAction::kCreate:
      window = create();
      window->Show();
      break;
    case vema::ToolWindowAction::kShow:
      window->Show();
      window->Raise();
      break;
    case vema::ToolWindowAction::kHide:
      window->Hide();
      break;
  }
}

// The progress of a WAV rendering, shown from its first report (made before the synthesizer is
// loaded); its cancel button stops it.
class WavProgress {
 public:
  explicit WavProgress(wxWindow* parent) : parent_(parent) {}

  bool Update(double share) {
    if (!dialog_) {
      dialog_ = std::make_unique<wxProgressDialog>(
          U8("WAVファイルの書き出し"), U8("曲を音にしています…"), kSteps, parent_,
          wxPD_APP_MODAL | wxPD_CAN_ABORT | wxPD_ELAPSED_TIME | wxPD_REMAINING_TIME);
    }
    // The last step is left for the end, which closes the dialog with this object.
    return dialog_->Update(std::clamp(static_cast<int>(share * kSteps), 0, kSteps - 1));
  }

 private:
  static constexpr int kSteps = 1000;
  wxWindow* parent_;
  std::unique_ptr<wxProgressDialog> dialog_;
};

}  // namespace

CVemaDlg::CVemaDlg(vema::Session& session)
    : session_(session),
      background_(vema::gui::LoadPicture("BACKGROUND")),
      textFont_(wxFontInfo(wxSize(0, 16)).FaceName("IPAGothic")) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  wxXmlResource::Get()->LoadDialog(this, nullptr, "CVemaDlg");
  wxIconBundle icons;
  for (const char* name : {"APPICON16", "APPICON32", "APPICON48"}) {
    const wxBitmap picture = vema::gui::LoadPicture(name);
    if (picture.IsOk()) {
      wxIcon icon;
      icon.CopyFromBitmap(picture);
      icons.AddIcon(icon);
    }
  }
  SetIcons(icons);
  SetClientSize(vema::kBackgroundWidth, vema::kBackgroundHeight);
  const std::pair<int, const char*> tips[] = {
      {vema::kIdHistoryBack, "前の曲（Alt+←）"},
      {vema::kIdHistoryForward, "次の曲（Alt+→）"},
      {vema::kIdNewMelody, "新しい旋律（リズムはそのまま）"},
      {vema::kIdNewRhythm, "新しいリズムと旋律（楽式・楽器・伴奏はそのまま）"},
      {vema::kIdNewFeel, "別の伴奏（旋律はそのまま）"}};
  for (const auto& [id, tip] : tips) {
    if (wxWindow* button = FindWindow(id)) button->SetToolTip(U8(tip));
  }
  playbackTimer_.SetOwner(this);
  Bind(wxEVT_TIMER, &CVemaDlg::OnPlaybackTimer, this, playbackTimer_.GetId());
}

CVemaDlg::~CVemaDlg() { DestroyToolWindows(); }

void CVemaDlg::DestroyToolWindows() {
  if (toolWindowsDestroyed_) return;
  toolWindowsDestroyed_ = true;
  if (help_) help_->Quit();
  if (formEditor_) formEditor_->Destroy();
  if (styleWindow_) styleWindow_->Destroy();
  if (instrumentWindow_) instrumentWindow_->Destroy();
  if (pianoRoll_) pianoRoll_->Destroy();
  pianoRoll_ = nullptr;
  formEditor_ = nullptr;
  styleWindow_ = nullptr;
  instrumentWindow_ = nullptr;
}

void CVemaDlg::OnShow(wxShowEvent& event) {
  event.Skip();
  if (!event.IsShown() || placed_) return;
  placed_ = true;
  // Top-left corner of the screen, the size of the background, every button in its place.
  SetClientSize(vema::kBackgroundWidth, vema::kBackgroundHeight);
  Move(0, 0);
  for (const auto& entry : vema::kMainButtons) {
    if (wxWindow* button = FindWindow(entry.id)) {
      button->Move(entry.x, entry.y);
      button->Show();
    }
  }
  if (wxWindow* button = FindWindow(vema::kRollButton.id)) {
    button->Move(vema::kRollButton.x, vema::kRollButton.y);
    button->Show();
  }
  for (const auto& entry : vema::kHistoryButtons) {
    if (wxWindow* button = FindWindow(entry.id)) {
      button->Move(entry.x, entry.y);
      button->Show();
    }
  }
  // The song history of the folder, for "N/M" below the status line.
  vema::ReadHistoryForList(session_);
  Raise();
  SetFocus();  // no button takes the focus, so the window itself gets the keys (Escape)
}

void CVemaDlg::DrawText(wxDC& dc, const vema::TextArea& area, const std::string& text,
                        const wxColour& background, const wxColour& foreground) {
  const wxRect rect = RectOf(area);
  wxDCClipper clip(dc, rect);
  dc.SetPen(*wxTRANSPARENT_PEN);
  dc.SetBrush(wxBrush(background));
  dc.DrawRectangle(rect);
  dc.SetFont(textFont_);
  dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
  dc.SetTextForeground(foreground);
  dc.DrawText(U8(text), area.x, area.y);
}

void CVemaDlg::OnPaint(wxPaintEvent&) {
  // Playback is looked at once the window is on the screen (the player is made on first use).
  if (!playbackTimer_.IsRunning() && !toolWindowsDestroyed_) playbackTimer_.Start(kPlaybackLookMs);
  wxPaintDC dc(this);
  if (background_.IsOk()) {
    dc.DrawBitmap(background_, 0, 0, false);
  } else {
    dc.SetBackground(wxBrush(wxColour(40, 44, 52)));
    dc.Clear();
  }
  DrawText(dc, vema::kTitleArea, vema::ShownTitle(session_.title), kTitleBackground, kTitleText);
  DrawText(dc, vema::kStatusArea, session_.statusText, kStatusBackground, kStatusText);
  const vema::HistoryPlace place = vema::PlaceInHistory(session_);
  const wxRect history = RectOf(vema::kHistoryArea);
  wxDCClipper clip(dc, history);
  dc.SetFont(textFont_);
  dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
  dc.SetTextForeground(kHistoryText);
  dc.DrawText(U8(vema::HistoryPlaceText(place.index, place.count)), vema::kHistoryArea.x,
              vema::kHistoryArea.y);
  dc.DestroyClippingRegion();
  if (soundingShown_) {
    // A lit lamp and the word in the corner of the status line, as on a display.
    const wxRect area = RectOf(vema::kSoundingArea);
    dc.SetPen(wxPen(kStatusText));
    dc.SetBrush(wxBrush(kSoundingMark));
    dc.DrawCircle(area.GetLeft() + 6, area.GetTop() + area.GetHeight() / 2, 5);
    dc.SetFont(wxFontInfo(wxSize(0, 12)).FaceName("IPAGothic"));
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    dc.SetTextForeground(kStatusText);
    dc.DrawText(U8(vema::kSoundingText), vema::kSoundingArea.x, vema::kSoundingArea.y);
  }
}

void CVemaDlg::OnPlaybackTimer(wxTimerEvent&) { LookAtPlayback(); }

void CVemaDlg::LookAtPlayback() {
  vema::SongPlayer* player = player_ ? player_() : nullptr;
  const vema::PlaybackView view = vema::LookAtPlayback(session_, player);
  if (view.sounding != soundingShown_) {
    soundingShown_ = view.sounding;
    RefreshRect(RectOf(vema::kSoundingArea), false);
  }
  if (!view.message.empty()) {
    // No look meanwhile: the message box runs its own event loop.
    playbackTimer_.Stop();
    session_.platform().ShowMessage(
        view.message, view.error ? vema::MessageIcon::kStop : vema::MessageIcon::kPlain);
    playbackTimer_.Start(kPlaybackLookMs);
  }
}

void CVemaDlg::DrawStatusNow(const std::string& status) {
  // The paint handler draws the session's status text, which the command set just before.
  if (status != session_.statusText) session_.statusText = status;
  RefreshRect(RectOf(vema::kStatusArea), false);
  Update();
}

void CVemaDlg::OnClose(wxCloseEvent&) {
  playbackTimer_.Stop();
  DestroyToolWindows();
  vema::StopCommand(session_);
  Destroy();
}

void CVemaDlg::OnPower(wxCommandEvent&) { Close(); }

void CVemaDlg::OnCharHook(wxKeyEvent& event) {
  // Escape ends the main window like its close box.
  if (event.GetKeyCode() == WXK_ESCAPE && event.GetModifiers() == wxMOD_NONE) {
    Close();
    return;
  }
  int key = event.GetKeyCode();
  if (key == WXK_LEFT) key = vema::kLeftKey;
  if (key == WXK_RIGHT) key = vema::kRightKey;
  if (key >= 'a' && key <= 'z') key -= 'a' - 'A';
  if (key >= 1 && key <= 26 && event.ControlDown()) key += 'A' - 1;  // a control character
  switch (vema::SongKeyOf(key, event.AltDown(), event.ControlDown(), event.ShiftDown())) {
    case vema::SongKey::kBack:
      ChangeSong([this] { return vema::StepHistory(session_, -1); });
      return;
    case vema::SongKey::kForward:
      ChangeSong([this] { return vema::StepHistory(session_, 1); });
      return;
    case vema::SongKey::kUndo:
      ChangeSong([this] { return vema::UndoSongChange(session_); }, true);
      return;
    case vema::SongKey::kRedo:
      ChangeSong([this] { return vema::RedoSongChange(session_); }, true);
      return;
    case vema::SongKey::kNone:
      break;
  }
  event.Skip();
}

bool CVemaDlg::ChangeSong(const std::function<bool()>& command, bool keepView) {
  if (busy_) return false;
  busy_ = true;
  const bool changed = command();
  busy_ = false;
  Refresh(false);
  // An open piano roll shows the new song.
  if (changed && pianoRoll_ && pianoRollShown_ == 1) {
    ShowSongInRoll(keepView);
    pianoRoll_->Show();
  }
  return changed;
}

void CVemaDlg::OnHistoryBack(wxCommandEvent&) {
  ChangeSong([this] { return vema::StepHistory(session_, -1); });
}

void CVemaDlg::OnHistoryForward(wxCommandEvent&) {
  ChangeSong([this] { return vema::StepHistory(session_, 1); });
}

void CVemaDlg::OnNewMelody(wxCommandEvent&) {
  ChangeSong([this] { return vema::RerollMelody(session_); });
}

void CVemaDlg::OnNewRhythm(wxCommandEvent&) {
  ChangeSong([this] { return vema::RerollRhythm(session_); });
}

void CVemaDlg::OnNewFeel(wxCommandEvent&) {
  // The feel dialog chooses the new feel; closing it changes nothing.
  ChangeSong([this] {
    if (!vema::CurrentSongEntry(session_)) {
      return vema::RerollFeel(session_, 0);  // says that there is no song yet
    }
    const std::optional<int> feel = session_.platform().ChooseFeel();
    return feel.has_value() && vema::RerollFeel(session_, *feel);
  });
}

void CVemaDlg::OnSave(wxCommandEvent&) {
  vema::WavOutput wav;
  if (player_) {
    wav.render = [this](const std::string& midi, const std::string& file, std::string& error,
                        const vema::RenderProgress& progress) {
      return player_()->RenderWav(midi, file, error, progress);
    };
  }
  auto progress = std::make_shared<WavProgress>(this);
  wav.progress = [progress](double share) { return progress->Update(share); };
  vema::SaveSongCommand(session_, wav);
}

void CVemaDlg::OnForm(wxCommandEvent&) {
  Toggle(formEditor_, formEditorShown_, [this] {
    auto* window = new CFormEditDlg(this, session_, &formEditorShown_);
    // Below the main window, which sits in the screen's top-left corner.
    window->Move(GetScreenRect().GetLeft(), GetScreenRect().GetBottom() + 8);
    return window;
  });
}

void CVemaDlg::OnStyle(wxCommandEvent&) {
  Toggle(styleWindow_, styleWindowShown_, [this] {
    auto* window = new CStyleSelectDlg(this, session_, &styleWindowShown_);
    // Below the main window, and below the form editor when that was opened first.
    int top = GetScreenRect().GetBottom() + 8;
    if (formEditor_) top = std::max(top, formEditor_->GetScreenRect().GetBottom() + 8);
    window->Move(GetScreenRect().GetLeft(), top);
    return window;
  });
}

void CVemaDlg::OnTone(wxCommandEvent&) {
  Toggle(instrumentWindow_, instrumentWindowShown_, [this] {
    auto* window = new CInstrumentDlg(nullptr, session_, &instrumentWindowShown_);
    window->SetPlayer(player_);
    // Beside the main window, which sits in the screen's top-left corner.
    window->Move(GetScreenRect().GetRight() + 8, GetScreenRect().GetTop());
    return window;
  });
}

void CVemaDlg::OnPlay(wxCommandEvent&) {
  vema::PlayCommand(session_);
  LookAtPlayback();  // the mark at once, and a missing MIDI output told
}

void CVemaDlg::OnStop(wxCommandEvent&) {
  vema::StopCommand(session_);
  LookAtPlayback();
}

void CVemaDlg::OnHelp(wxCommandEvent&) {
  if (!help_) {
    const wxString dir = vema::gui::ResourceDir();
    if (dir.empty()) {
      session_.platform().ShowMessage("ヘルプファイルが見つかりません。", vema::MessageIcon::kStop);
      return;
    }
    vema::gui::UseJapaneseLineBreaksInHelp();
    help_ = std::make_unique<wxHtmlHelpController>(wxHF_DEFAULT_STYLE, this);
    help_->AddBook(wxFileName(dir + "/help/vema.hhp"));
  }
  const bool first = help_->GetFrame() == nullptr;
  help_->DisplayContents();
  if (wxFrame* frame = help_->GetFrame(); frame && first) {
    // Below the main window, which sits in the screen's top-left corner.
    frame->SetSize(GetScreenRect().GetLeft(), GetScreenRect().GetBottom() + 8, 980, 640);
  }
}

void CVemaDlg::OnIcon(wxCommandEvent&) { Iconize(true); }

void CVemaDlg::OnComp(wxCommandEvent&) {
  ChangeSong([this] {
    vema::ComposeAndRecord(session_);
    return true;
  });
}

void CVemaDlg::ShowSongInRoll(bool keepView) {
  std::string error;
  std::optional<vema::SongScore> score = vema::ScoreOfLastSong(session_, error);
  if (keepView) {
    pianoRoll_->SongChanged(std::move(score));
  } else {
    pianoRoll_->ShowSong(std::move(score));
  }
}

void CVemaDlg::OnRoll(wxCommandEvent&) {
  const bool created = pianoRoll_ != nullptr;
  Toggle(pianoRoll_, pianoRollShown_, [this] {
    CPianoRollDlg::Actions actions;
    actions.playingTick = [this] {
      return session_.playing == 1 && player_ ? player_()->PlayingTick() : -1;
    };
    actions.sound = [this](const vema::RollClick& click) {
      if (player_) {
        player_()->SoundNote(click.channel, click.program, click.key, click.velocity,
                             click.milliseconds);
      }
    };
    actions.seek = [this](int64_t tick) {
      vema::PlayFromCommand(session_, player_ ? player_() : nullptr, tick);
    };
    // Changes made from the roll keep its view and its choice.
    actions.remakeBars = [this](int first, int last) {
      return ChangeSong([&] { return vema::RemakeBarsCommand(session_, first, last); }, true);
    };
    actions.editNotes = [this](const std::set<int32_t>& ticks, vema::MelodyEditKind kind,
                               int amount) {
      std::string refusal;
      ChangeSong([&] { return vema::EditChosenNotes(session_, ticks, kind, amount, refusal); },
                 true);
      return refusal;
    };
    actions.giveRestKey = [this](int64_t tick, int key) {
      std::string refusal;
      ChangeSong([&] { return vema::GiveRestKey(session_, tick, key, refusal); }, true);
      return refusal;
    };
    actions.songKey = [this](vema::SongKey key) {
      ChangeSong([this, key] {
        switch (key) {
          case vema::SongKey::kBack: return vema::StepHistory(session_, -1);
          case vema::SongKey::kForward: return vema::StepHistory(session_, 1);
          case vema::SongKey::kUndo: return vema::UndoSongChange(session_);
          case vema::SongKey::kRedo: return vema::RedoSongChange(session_);
          case vema::SongKey::kNone: break;
        }
        return false;
      }, key == vema::SongKey::kUndo || key == vema::SongKey::kRedo);
    };
    auto* window = new CPianoRollDlg(this, &pianoRollShown_, std::move(actions));
    // Below the main window, which sits in the screen's top-left corner.
    window->Move(GetScreenRect().GetLeft(), GetScreenRect().GetBottom() + 8);
    return window;
  });
  // A window shown again catches up with the songs composed while it was hidden.
  if (!created || pianoRollShown_ == 1) ShowSongInRoll();
}

void CVemaDlg::OnTitle(wxCommandEvent&) {
  vema::NameSongCommand(session_);
  vema::KeepTitleOfCurrentSong(session_);
  RefreshRect(RectOf(vema::kTitleArea), false);
  Update();
}
