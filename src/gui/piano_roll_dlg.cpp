#include "gui/piano_roll_dlg.h"

#include <wx/button.h>
#include <wx/dcbuffer.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include <algorithm>
#include <cmath>

#include "gui/resources.h"

using vema::PianoRollLayout;
using vema::RollRect;
using vema::gui::U8;

namespace {

constexpr int kScrollStep = 8;
constexpr int kTimerMs = 40;
constexpr int kCursorWidth = 2;
constexpr int kDefaultWidth = 980;
constexpr int kMaxHeight = 720;

const wxColour kBackground(30, 33, 40);
const wxColour kWhiteRow(40, 44, 53);
const wxColour kBlackRow(33, 36, 44);
const wxColour kHeader(22, 24, 30);
const wxColour kBeatLine(52, 57, 68);
const wxColour kBarLine(96, 104, 120);
const wxColour kBarNumberText(170, 178, 192);
const wxColour kChordText(255, 214, 120);
const wxColour kKeyText(130, 200, 255);
const wxColour kKeyChangeLine(80, 150, 220);
// The melody stands out; bass and chords stay in the background.
const wxColour kMelody(255, 150, 40);
const wxColour kMelodyEdge(150, 70, 0);
const wxColour kBass(62, 92, 140);
const wxColour kChords(66, 104, 84);
const wxColour kDrumStrip(26, 28, 34);
const wxColour kDrumHit(150, 154, 162);
const wxColour kKeyboardWhite(226, 228, 232);
const wxColour kKeyboardBlack(40, 42, 48);
const wxColour kKeyboardText(60, 64, 72);
const wxColour kCursor(255, 70, 70);
const wxColour kEmptyText(170, 178, 192);

wxRect ToWx(const RollRect& r) { return wxRect(r.x, r.y, r.width, r.height); }

}  // namespace

class CPianoRollDlg::Canvas : public wxScrolledCanvas {
 public:
  explicit Canvas(CPianoRollDlg* owner)
      : wxScrolledCanvas(owner, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                         wxHSCROLL | wxVSCROLL | wxBORDER_NONE),
        owner_(owner),
        labelFont_(wxFontInfo(wxSize(0, 12)).FaceName("IPAGothic")),
        keyFont_(wxFontInfo(wxSize(0, 9)).FaceName("IPAGothic")) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetScrollRate(kScrollStep, kScrollStep);
    // The keyboard stays at the left edge: every scroll repaints the whole view.
    EnableScrolling(false, false);
    Bind(wxEVT_PAINT, &Canvas::OnPaint, this);
    Bind(wxEVT_MOUSEWHEEL, &Canvas::OnWheel, this);
  }

  const PianoRollLayout& layout() const { return owner_->layout_; }

  void Resize() {
    SetVirtualSize(layout().Width(), layout().Height());
    Refresh(false);
  }
  int ViewLeft() const { return CalcUnscrolledPosition(wxPoint(0, 0)).x; }
  void ScrollTo(int left) {
    Scroll(std::max(0, left) / kScrollStep, -1);
    Refresh(false);
  }
  void RefreshCursor(int tick) {
    const std::optional<int> x = layout().CursorX(tick);
    if (!x) return;
    const wxPoint at = CalcScrolledPosition(wxPoint(*x - 1, 0));
    RefreshRect(wxRect(at.x, 0, kCursorWidth + 2, GetClientSize().y), false);
  }

 private:
  void OnWheel(wxMouseEvent& event) {
    const int steps = event.GetWheelRotation() / std::max(1, event.GetWheelDelta());
    if (steps == 0) return;
    if (event.ControlDown()) {
      owner_->Zoom(steps > 0, event.GetPosition().x);
      return;
    }
    // Without Ctrl the wheel runs through the song, unless the keys need the room.
    if (event.GetWheelAxis() == wxMOUSE_WHEEL_VERTICAL && layout().Height() > GetClientSize().y) {
      event.Skip();
      return;
    }
    const int sign = event.GetWheelAxis() == wxMOUSE_WHEEL_VERTICAL ? -1 : 1;
    ScrollTo(ViewLeft() + sign * steps * layout().BarWidth());
  }

  void OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    DoPrepareDC(dc);
    const wxRect view(CalcUnscrolledPosition(wxPoint(0, 0)), GetClientSize());
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(kBackground));
    dc.DrawRectangle(view);
    const PianoRollLayout& l = layout();
    if (!l.HasSong()) {
      dc.SetFont(labelFont_);
      dc.SetTextForeground(kEmptyText);
      dc.DrawText(U8("曲が生成されていません。COMP で作曲すると、ここに曲が表示されます。"),
                  view.x + PianoRollLayout::kKeyboardWidth + 12, view.y + 12);
      return;
    }
    // Only what the repaint needs is drawn (the cursor repaints a narrow strip many times a
    // second).
    wxRect update = GetUpdateRegion().GetBox();
    update.SetPosition(CalcUnscrolledPosition(update.GetPosition()));
    update.Intersect(view);
    const int left = std::max(update.GetLeft(), PianoRollLayout::kKeyboardWidth);
    const int right = std::min(update.GetRight() + 1, l.Width());
    const auto visible = [&](int x, int width) { return x + width >= left && x <= right; };

    // The rows of the keys, the beats and the bars.
    const std::vector<vema::RollKey> keys = l.Keyboard();
    for (const vema::RollKey& k : keys) {
      dc.SetBrush(wxBrush(k.black ? kBlackRow : kWhiteRow));
      dc.DrawRectangle(left, k.rect.y, right - left, k.rect.height - (k.key % 12 == 0 ? 1 : 0));
    }
    const int gridTop = PianoRollLayout::kHeaderHeight;
    const int gridBottom = l.DrumStrip().y + l.DrumStrip().height;
    dc.SetPen(wxPen(kBeatLine));
    for (const int x : l.BeatLines()) {
      if (visible(x, 1)) dc.DrawLine(x, gridTop, x, gridBottom);
    }
    dc.SetPen(wxPen(kBarLine));
    for (const int x : l.BarLines()) {
      if (visible(x, 1)) dc.DrawLine(x, 0, x, gridBottom);
    }

    // The header: bar numbers, chord names, keys.
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(kHeader));
    dc.DrawRectangle(left, 0, right - left, gridTop - 1);
    dc.SetPen(wxPen(kBarLine));
    for (const int x : l.BarLines()) {
      if (visible(x, 1)) dc.DrawLine(x, 0, x, gridTop);
    }
    dc.SetFont(labelFont_);
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    DrawLabels(dc, l.BarNumbers(), kBarNumberText, visible);
    DrawLabels(dc, l.ChordLabels(), kChordText, visible);
    const std::vector<vema::RollLabel> marks = l.KeyMarks();
    dc.SetPen(wxPen(kKeyChangeLine, 2));
    for (const vema::RollLabel& mark : marks) {
      const int x = l.XOfTick(static_cast<int64_t>(mark.bar) * vema::kTicksPerBar);
      if (mark.bar > 0 && visible(x, 2))
        dc.DrawLine(x, 2 * PianoRollLayout::kRowHeight, x, gridBottom);
    }
    DrawLabels(dc, marks, kKeyText, visible);

    // The notes, melody last, and the drum hits.
    for (const vema::RollNote& note : l.Notes()) {
      if (!visible(note.rect.x, note.rect.width)) continue;
      switch (note.part) {
        case vema::RollPart::kMelody:
          dc.SetPen(wxPen(kMelodyEdge));
          dc.SetBrush(wxBrush(kMelody));
          break;
        case vema::RollPart::kBass:
          dc.SetPen(*wxTRANSPARENT_PEN);
          dc.SetBrush(wxBrush(kBass));
          break;
        case vema::RollPart::kChords:
          dc.SetPen(*wxTRANSPARENT_PEN);
          dc.SetBrush(wxBrush(kChords));
          break;
      }
      dc.DrawRectangle(ToWx(note.rect));
    }
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(kDrumStrip));
    const RollRect strip = l.DrumStrip();
    dc.DrawRectangle(left, strip.y, right - left, strip.height);
    dc.SetBrush(wxBrush(kDrumHit));
    for (const RollRect& hit : l.DrumHits()) {
      if (visible(hit.x, hit.width)) dc.DrawRectangle(ToWx(hit));
    }

    // The keyboard, fixed at the view's left edge.
    dc.SetFont(keyFont_);
    dc.SetBrush(wxBrush(kHeader));
    dc.DrawRectangle(view.x, 0, PianoRollLayout::kKeyboardWidth, gridTop);
    dc.DrawRectangle(view.x, strip.y - PianoRollLayout::kDrumGap, PianoRollLayout::kKeyboardWidth,
                     strip.height + 2 * PianoRollLayout::kDrumGap);
    const RollRect top = keys.front().rect;
    const RollRect bottom = keys.back().rect;
    dc.SetBrush(wxBrush(kKeyboardWhite));
    dc.DrawRectangle(view.x, top.y, top.width, bottom.y + bottom.height - top.y);
    dc.SetTextForeground(kKeyboardText);
    for (const vema::RollKey& k : keys) {
      wxRect row = ToWx(k.rect);
      row.x += view.x;
      if (k.black) {
        // A black key: a bar over the left part of the keyboard.
        dc.SetPen(*wxTRANSPARENT_PEN);
        dc.SetBrush(wxBrush(kKeyboardBlack));
        dc.DrawRectangle(row.x, row.y + 1, row.width * 3 / 5, row.height - 2);
        continue;
      }
      // White keys meet below B and E, where no black key lies between them.
      const int pitchClass = k.key % 12;
      if (pitchClass == 0 || pitchClass == 5) {
        dc.SetPen(wxPen(kBeatLine));
        dc.DrawLine(row.x, row.GetBottom(), row.GetRight() + 1, row.GetBottom());
      }
      const wxString name = U8(k.name);
      const wxSize size = dc.GetTextExtent(name);
      wxDCClipper clip(dc, row);
      dc.DrawText(name, row.GetRight() - size.x - 1, row.y + (row.height - size.y) / 2);
    }
    dc.SetTextForeground(kDrumHit);
    dc.DrawText("Drums", view.x + 3, strip.y + 2);

    // The playback cursor.
    if (const std::optional<int> x = l.CursorX(owner_->cursorTick_)) {
      dc.SetPen(*wxTRANSPARENT_PEN);
      dc.SetBrush(wxBrush(kCursor));
      dc.DrawRectangle(*x, 0, kCursorWidth, gridBottom);
    }
  }

  template <typename Visible>
  void DrawLabels(wxDC& dc, const std::vector<vema::RollLabel>& labels, const wxColour& colour,
                  const Visible& visible) {
    dc.SetTextForeground(colour);
    for (const vema::RollLabel& label : labels) {
      if (!visible(label.rect.x, label.rect.width)) continue;
      wxDCClipper clip(dc, ToWx(label.rect));
      dc.DrawText(U8(label.text), label.rect.x, label.rect.y);
    }
  }

  CPianoRollDlg* owner_;
  wxFont labelFont_;
  wxFont keyFont_;
};

wxBEGIN_EVENT_TABLE(CPianoRollDlg, wxFrame) EVT_CLOSE(CPianoRollDlg::OnCloseWindow)
    EVT_CHAR_HOOK(CPianoRollDlg::OnCharHook) EVT_SHOW(CPianoRollDlg::OnShowWindow)
        EVT_TIMER(wxID_ANY, CPianoRollDlg::OnTimer) wxEND_EVENT_TABLE()

            CPianoRollDlg::CPianoRollDlg(wxWindow* parent, int* shownFlag,
                                         std::function<int()> playingTick)
    : wxFrame(parent, wxID_ANY, U8(kTitle), wxDefaultPosition, wxDefaultSize,
              wxDEFAULT_FRAME_STYLE | wxFRAME_FLOAT_ON_PARENT),
      shownFlag_(shownFlag),
      playingTick_(std::move(playingTick)),
      timer_(this) {
  auto* panel = new wxPanel(this);
  auto* bar = new wxBoxSizer(wxHORIZONTAL);
  zoomOut_ = new wxButton(panel, wxID_ZOOM_OUT, U8("－"), wxDefaultPosition, wxSize(36, -1));
  zoomIn_ = new wxButton(panel, wxID_ZOOM_IN, U8("＋"), wxDefaultPosition, wxSize(36, -1));
  zoomOut_->SetToolTip(U8("縮小（Ctrl＋ホイール）"));
  zoomIn_->SetToolTip(U8("拡大（Ctrl＋ホイール）"));
  caption_ = new wxStaticText(panel, wxID_ANY, "");
  bar->Add(zoomOut_, 0, wxALL, 4);
  bar->Add(zoomIn_, 0, wxTOP | wxBOTTOM | wxRIGHT, 4);
  bar->Add(caption_, 1, wxALIGN_CENTER_VERTICAL | wxLEFT, 8);
  panel->SetSizer(bar);
  canvas_ = new Canvas(this);
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(panel, 0, wxEXPAND);
  sizer->Add(canvas_, 1, wxEXPAND);
  SetSizer(sizer);
  zoomOut_->Bind(wxEVT_BUTTON, &CPianoRollDlg::OnZoomOut, this);
  zoomIn_->Bind(wxEVT_BUTTON, &CPianoRollDlg::OnZoomIn, this);
  ShowSong(std::nullopt);
}

CPianoRollDlg::~CPianoRollDlg() { timer_.Stop(); }

void CPianoRollDlg::ShowSong(std::optional<vema::SongScore> score) {
  layout_.SetSong(std::move(score));
  cursorTick_ = -1;
  canvas_->Resize();
  canvas_->ScrollTo(0);
  UpdateCaption();
  // As wide as the song up to a limit, as high as all its keys.
  const int scrollbar = 20;
  const int width = std::min(kDefaultWidth, layout_.Width() + scrollbar);
  const int height = std::min(kMaxHeight, layout_.Height() + scrollbar);
  const wxSize bar = GetSizer()->GetItem(size_t{0})->GetSize();
  // A width the user chose stays when it is larger; the height follows the song's keys.
  const wxSize wanted(std::max({width, 480, IsShown() ? GetClientSize().x : 0}),
                      height + std::max(bar.y, 30));
  SetClientSize(wanted);
}

void CPianoRollDlg::UpdateCaption() {
  wxString text;
  if (const auto& song = layout_.song()) {
    if (!song->title.empty()) text << U8("「" + song->title + "」　");
    text << song->bars << U8("小節　♩＝")
         << static_cast<int>(std::lround(song->QuarterNotesPerMinute()));
  }
  text << U8("　（Ctrl＋ホイールで拡大・縮小）");
  caption_->SetLabel(text);
  zoomIn_->Enable(layout_.zoomLevel() + 1 < static_cast<int>(PianoRollLayout::kZoomLevels.size()));
  zoomOut_->Enable(layout_.zoomLevel() > 0);
}

void CPianoRollDlg::Zoom(bool in, int viewX) {
  const int64_t tick = layout_.TickAtX(canvas_->ViewLeft() + viewX);
  if (!(in ? layout_.ZoomIn() : layout_.ZoomOut())) return;
  canvas_->Resize();
  canvas_->ScrollTo(layout_.KeepTickAt(tick, viewX));
  UpdateCaption();
}

void CPianoRollDlg::OnZoomIn(wxCommandEvent&) { Zoom(true, canvas_->GetClientSize().x / 2); }

void CPianoRollDlg::OnZoomOut(wxCommandEvent&) { Zoom(false, canvas_->GetClientSize().x / 2); }

void CPianoRollDlg::OnTimer(wxTimerEvent&) {
  const int tick = playingTick_ ? playingTick_() : -1;
  if (tick == cursorTick_) return;
  canvas_->RefreshCursor(cursorTick_);
  cursorTick_ = tick;
  if (tick < 0) return;
  const int left = canvas_->ViewLeft();
  const int wanted = layout_.FollowCursor(tick, left, canvas_->GetClientSize().x);
  if (wanted != left) {
    canvas_->ScrollTo(wanted);
  } else {
    canvas_->RefreshCursor(tick);
  }
}

void CPianoRollDlg::OnShowWindow(wxShowEvent& event) {
  event.Skip();
  if (event.IsShown()) {
    timer_.Start(kTimerMs);
  } else {
    timer_.Stop();
  }
}

void CPianoRollDlg::OnCloseWindow(wxCloseEvent& event) {
  if (!event.CanVeto()) {
    event.Skip();
    return;
  }
  event.Veto();
  if (shownFlag_) *shownFlag_ = 0;
  Hide();
}

void CPianoRollDlg::OnCharHook(wxKeyEvent& event) {
  if (event.GetKeyCode() == WXK_ESCAPE && event.GetModifiers() == wxMOD_NONE) {
    Close();
    return;
  }
  event.Skip();
}
