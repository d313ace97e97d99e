#include "gui/piano_roll_dlg.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/utils.h>

#include <algorithm>
#include <cmath>

#include "gui/resources.h"

using vema::PianoRollLayout;
using vema::RollPart;
using vema::RollRect;
using vema::gui::U8;

namespace {

constexpr int kLineStep = 16;  // pixels per scroll-bar arrow step
constexpr int kTimerMs = 50;       // 20 cursor steps a second while a song plays
constexpr int kIdleTimerMs = 250;  // a look now and then whether one has started
constexpr int kCursorWidth = 2;
constexpr int kDefaultWidth = 1000;
constexpr int kDefaultHeight = 640;

const wxColour kBackground(30, 33, 40);
const wxColour kWhiteRow(40, 44, 53);
const wxColour kBlackRow(33, 36, 44);
const wxColour kHeader(22, 24, 30);
const wxColour kBeatLine(52, 57, 68);
const wxColour kBarLine(96, 104, 120);
const wxColour kBarNumberText(190, 198, 212);
const wxColour kChordText(255, 214, 120);
const wxColour kKeyText(130, 200, 255);
const wxColour kKeyChangeLine(80, 150, 220);
const wxColour kCaptionText(120, 128, 144);
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

const wxColour& PartColour(RollPart part) {
  switch (part) {
    case RollPart::kMelody: return kMelody;
    case RollPart::kBass: return kBass;
    case RollPart::kChords: return kChords;
    case RollPart::kDrums: return kDrumHit;
  }
  return kMelody;
}

wxBitmap Swatch(const wxColour& colour) {
  wxBitmap bitmap(14, 14);
  wxMemoryDC dc(bitmap);
  dc.SetBackground(wxBrush(colour));
  dc.Clear();
  dc.SetPen(wxPen(colour.ChangeLightness(60)));
  dc.SetBrush(*wxTRANSPARENT_BRUSH);
  dc.DrawRectangle(0, 0, 14, 14);
  return bitmap;
}

}  // namespace

// The drawing area.  Everything but the cursor is drawn into a picture of the view's size when
// the view changes (song, size, scroll, zoom, parts); a paint copies the part of it that needs
// repainting and draws the cursor over it, so a moving cursor costs two narrow strips.
class CPianoRollDlg::Canvas : public wxWindow {
 public:
  explicit Canvas(CPianoRollDlg* owner)
      : wxWindow(owner, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                 wxHSCROLL | wxVSCROLL | wxBORDER_NONE | wxWANTS_CHARS),
        owner_(owner),
        labelFont_(wxFontInfo(wxSize(0, 15)).FaceName("IPAGothic")),
        chordFont_(wxFontInfo(wxSize(0, 15)).FaceName("IPAGothic").Bold()),
        keyFont_(wxFontInfo(wxSize(0, 12)).FaceName("IPAGothic")),
        captionFont_(wxFontInfo(wxSize(0, 12)).FaceName("IPAGothic")) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &Canvas::OnPaint, this);
    Bind(wxEVT_SIZE, &Canvas::OnSize, this);
    Bind(wxEVT_MOUSEWHEEL, &Canvas::OnWheel, this);
    Bind(wxEVT_LEFT_DOWN, &Canvas::OnLeftDown, this);
    Bind(wxEVT_MOTION, &Canvas::OnMotion, this);
    Bind(wxEVT_SCROLLWIN_TOP, &Canvas::OnScroll, this);
    Bind(wxEVT_SCROLLWIN_BOTTOM, &Canvas::OnScroll, this);
    Bind(wxEVT_SCROLLWIN_LINEUP, &Canvas::OnScroll, this);
    Bind(wxEVT_SCROLLWIN_LINEDOWN, &Canvas::OnScroll, this);
    Bind(wxEVT_SCROLLWIN_PAGEUP, &Canvas::OnScroll, this);
    Bind(wxEVT_SCROLLWIN_PAGEDOWN, &Canvas::OnScroll, this);
    Bind(wxEVT_SCROLLWIN_THUMBTRACK, &Canvas::OnScroll, this);
    Bind(wxEVT_SCROLLWIN_THUMBRELEASE, &Canvas::OnScroll, this);
    SetToolTip(U8("クリック：音符・鍵盤を試聴　小節の行：そこから再生\n"
                  "Ctrl＋ホイール：拡大・縮小　F：曲全体"));
  }

  PianoRollLayout& layout() { return owner_->layout_; }

  // The view changed: draw it anew.
  void ViewChanged() {
    UpdateScrollbars();
    stale_ = true;
    Refresh(false);
  }
  void ScrollTo(int x, int y) {
    if (x == layout().scrollX() && y == layout().scrollY()) return;
    layout().ScrollTo(x, y);
    ViewChanged();
  }
  wxSize DrawnSize() const { return buffer_.IsOk() ? buffer_.GetSize() : wxSize(); }

  // The playback cursor at a tick (-1: none): the strip it leaves is copied back from the
  // picture and the cursor drawn at its new place, or the whole view repainted when it turns a
  // page.
  void MoveCursor(int tick) {
    if (tick >= 0 && layout().FollowCursor(tick)) {
      cursorTick_ = tick;
      cursorX_ = CursorViewX();
      ViewChanged();
      return;
    }
    cursorTick_ = tick;
    const std::optional<int> x = CursorViewX();
    if (x == cursorX_) return;
    if (drawDirectly_ && !stale_ && buffer_.IsOk() && buffer_.GetSize() == GetClientSize()) {
      // On X11 the two strips are drawn on the window at once: a repaint through the toolkit
      // costs several times as much, twenty times a second.
      wxClientDC dc(this);
      if (cursorX_) {
        wxMemoryDC picture(buffer_);
        dc.Blit(*cursorX_, 0, kCursorWidth, GetClientSize().y, &picture, *cursorX_, 0);
      }
      cursorX_ = x;
      DrawCursor(dc);
      return;
    }
    RefreshCursorStrip(cursorX_);
    cursorX_ = x;
    RefreshCursorStrip(cursorX_);
  }

 private:
  std::optional<int> CursorViewX() const {
    const PianoRollLayout& l = owner_->layout_;
    const std::optional<int> x = l.CursorX(cursorTick_);
    if (!x) return std::nullopt;
    const int viewX = *x - l.scrollX();
    if (viewX < PianoRollLayout::kKeyboardWidth || viewX >= l.viewWidth()) return std::nullopt;
    return viewX;
  }
  void RefreshCursorStrip(std::optional<int> x) {
    if (x) RefreshRect(wxRect(*x - 1, 0, kCursorWidth + 2, GetClientSize().y), false);
  }

  void UpdateScrollbars() {
    const PianoRollLayout& l = layout();
    SetScrollbar(wxHORIZONTAL, l.scrollX(), l.viewWidth(), l.Width());
    SetScrollbar(wxVERTICAL, l.scrollY(), l.viewHeight(), l.Height());
  }

  void OnSize(wxSizeEvent& event) {
    const wxSize size = GetClientSize();
    layout().SetViewSize(size.x, size.y);
    cursorX_ = CursorViewX();
    ViewChanged();
    event.Skip();
  }

  void OnScroll(wxScrollWinEvent& event) {
    const bool across = event.GetOrientation() == wxHORIZONTAL;
    const PianoRollLayout& l = layout();
    const int now = across ? l.scrollX() : l.scrollY();
    const int page = std::max(kLineStep, (across ? l.viewWidth() : l.viewHeight()) - 2 * kLineStep);
    int to = now;
    const wxEventType type = event.GetEventType();
    if (type == wxEVT_SCROLLWIN_TOP) to = 0;
    else if (type == wxEVT_SCROLLWIN_BOTTOM) to = across ? l.MaxScrollX() : l.MaxScrollY();
    else if (type == wxEVT_SCROLLWIN_LINEUP) to = now - kLineStep;
    else if (type == wxEVT_SCROLLWIN_LINEDOWN) to = now + kLineStep;
    else if (type == wxEVT_SCROLLWIN_PAGEUP) to = now - page;
    else if (type == wxEVT_SCROLLWIN_PAGEDOWN) to = now + page;
    else to = event.GetPosition();
    ScrollTo(across ? to : l.scrollX(), across ? l.scrollY() : to);
    cursorX_ = CursorViewX();
  }

  void OnWheel(wxMouseEvent& event) {
    const int steps = event.GetWheelRotation() / std::max(1, event.GetWheelDelta());
    if (steps == 0) return;
    if (event.ControlDown()) {
      owner_->Zoom(steps > 0 ? ZoomStep::kIn : ZoomStep::kOut, event.GetPosition().x);
      return;
    }
    const PianoRollLayout& l = layout();
    const bool vertical = event.GetWheelAxis() == wxMOUSE_WHEEL_VERTICAL;
    // The wheel moves the keys when they need the room; otherwise, and with Shift, the bars.
    if (vertical && !event.ShiftDown() && l.MaxScrollY() > 0) {
      ScrollTo(l.scrollX(), l.scrollY() - steps * 3 * l.KeyHeight());
    } else {
      const int sign = vertical ? -1 : 1;
      ScrollTo(l.scrollX() + sign * steps * std::max(kLineStep, l.BarWidth()), l.scrollY());
    }
    cursorX_ = CursorViewX();
  }

  void OnLeftDown(wxMouseEvent& event) {
    SetFocus();
    const vema::RollClick click = layout().ClickAt(event.GetX(), event.GetY());
    switch (click.kind) {
      case vema::RollClick::Kind::kSound:
        if (owner_->actions_.sound) owner_->actions_.sound(click);
        break;
      case vema::RollClick::Kind::kSeek:
        if (owner_->actions_.seek) owner_->actions_.seek(click.tick);
        break;
      case vema::RollClick::Kind::kNone:
        event.Skip();
        break;
    }
  }

  void OnMotion(wxMouseEvent& event) {
    const vema::RollArea area = layout().AreaAt(event.GetX(), event.GetY());
    const bool hand = layout().HasSong() &&
                      (area == vema::RollArea::kRuler || area == vema::RollArea::kKeyboard);
    if (hand != handCursor_) {
      handCursor_ = hand;
      SetCursor(hand ? wxCursor(wxCURSOR_HAND) : wxNullCursor);
    }
    event.Skip();
  }

  void OnPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    if (stale_ || !buffer_.IsOk() || buffer_.GetSize() != GetClientSize()) Render();
    if (!buffer_.IsOk()) return;
    dc.DrawBitmap(buffer_, 0, 0, false);
    DrawCursor(dc);
  }

  void DrawCursor(wxDC& dc) {
    if (!cursorX_) return;
    const PianoRollLayout& l = layout();
    const int bottom =
        std::min(l.viewHeight(), l.DrumStrip().y + l.DrumStrip().height - l.scrollY());
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(kCursor));
    dc.DrawRectangle(*cursorX_, 0, kCursorWidth, bottom);
  }

  // Draws everything but the cursor into the picture of the view.
  void Render() {
    stale_ = false;
    const wxSize size = GetClientSize();
    if (size.x <= 0 || size.y <= 0) return;
    if (!buffer_.IsOk() || buffer_.GetSize() != size) buffer_.Create(size, 24);
    wxMemoryDC dc(buffer_);
    dc.SetBackground(wxBrush(kBackground));
    dc.Clear();
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    const PianoRollLayout& l = layout();
    constexpr int kbw = PianoRollLayout::kKeyboardWidth;
    constexpr int hh = PianoRollLayout::kHeaderHeight;
    if (!l.HasSong()) {
      dc.SetFont(labelFont_);
      dc.SetTextForeground(kEmptyText);
      dc.DrawText(U8("曲が生成されていません。COMP で作曲すると、ここに曲が表示されます。"),
                  kbw + 12, hh + 12);
      return;
    }
    const int sx = l.scrollX(), sy = l.scrollY();
    // Canvas x range of the bars in view.
    const int left = sx + kbw, right = sx + size.x;
    const auto visible = [&](int x, int width) { return x + width >= left && x <= right; };
    const RollRect strip = l.DrumStrip();
    const int gridBottom = strip.y + strip.height;

    {  // The keys' rows, beats, bars, notes and drums: scrolled both ways.
      wxDCClipper clip(dc, wxRect(kbw, hh, size.x - kbw, size.y - hh));
      dc.SetPen(*wxTRANSPARENT_PEN);
      for (const vema::RollKey& k : l.Keyboard()) {
        const int y = k.rect.y - sy;
        if (y + k.rect.height < hh || y > size.y) continue;
        dc.SetBrush(wxBrush(k.black ? kBlackRow : kWhiteRow));
        dc.DrawRectangle(kbw, y, size.x - kbw, k.rect.height - (k.key % 12 == 0 ? 1 : 0));
      }
      dc.SetPen(wxPen(kBeatLine));
      for (const int x : l.BeatLines()) {
        if (visible(x, 1)) dc.DrawLine(x - sx, hh, x - sx, gridBottom - sy);
      }
      dc.SetPen(wxPen(kBarLine));
      for (const int x : l.BarLines()) {
        if (visible(x, 1)) dc.DrawLine(x - sx, hh, x - sx, gridBottom - sy);
      }
      dc.SetPen(wxPen(kKeyChangeLine, 2));
      for (const vema::RollLabel& mark : l.KeyMarks()) {
        const int x = l.XOfTick(static_cast<int64_t>(mark.bar) * vema::kTicksPerBar);
        if (mark.bar > 0 && visible(x, 2)) dc.DrawLine(x - sx, hh, x - sx, gridBottom - sy);
      }
      for (const vema::RollNote& note : l.Notes()) {
        if (!visible(note.rect.x, note.rect.width)) continue;
        if (note.part == RollPart::kMelody) {
          dc.SetPen(wxPen(kMelodyEdge));
        } else {
          dc.SetPen(*wxTRANSPARENT_PEN);
        }
        dc.SetBrush(wxBrush(PartColour(note.part)));
        dc.DrawRectangle(note.rect.x - sx, note.rect.y - sy, note.rect.width, note.rect.height);
      }
      dc.SetPen(*wxTRANSPARENT_PEN);
      dc.SetBrush(wxBrush(kDrumStrip));
      dc.DrawRectangle(kbw, strip.y - sy, size.x - kbw, strip.height);
      dc.SetBrush(wxBrush(kDrumHit));
      for (const vema::RollNote& hit : l.DrumHits()) {
        if (visible(hit.rect.x, hit.rect.width)) {
          dc.DrawRectangle(hit.rect.x - sx, hit.rect.y - sy, hit.rect.width, hit.rect.height);
        }
      }
    }

    {  // The header: bar numbers, chords and keys, scrolled sideways only.
      wxDCClipper clip(dc, wxRect(kbw, 0, size.x - kbw, hh));
      dc.SetPen(*wxTRANSPARENT_PEN);
      dc.SetBrush(wxBrush(kHeader));
      dc.DrawRectangle(kbw, 0, size.x - kbw, hh);
      dc.SetPen(wxPen(kBarLine));
      for (const int x : l.BarLines()) {
        if (visible(x, 1)) dc.DrawLine(x - sx, 0, x - sx, hh);
      }
      dc.SetPen(wxPen(kKeyChangeLine, 2));
      for (const vema::RollLabel& mark : l.KeyMarks()) {
        const int x = l.XOfTick(static_cast<int64_t>(mark.bar) * vema::kTicksPerBar);
        if (mark.bar > 0 && visible(x, 2)) {
          dc.DrawLine(x - sx, 2 * PianoRollLayout::kRowHeight, x - sx, hh);
        }
      }
      dc.SetFont(labelFont_);
      DrawLabels(dc, l.BarNumbers(), kBarNumberText, sx, visible);
      dc.SetFont(chordFont_);
      DrawLabels(dc, l.ChordLabels(), kChordText, sx, visible);
      dc.SetFont(labelFont_);
      DrawLabels(dc, l.KeyMarks(), kKeyText, sx, visible);
      dc.SetPen(wxPen(kBarLine));
      dc.DrawLine(kbw, hh - 1, size.x, hh - 1);
    }

    {  // The keyboard, scrolled up and down only, and the drum strip's name.
      wxDCClipper clip(dc, wxRect(0, hh, kbw, size.y - hh));
      dc.SetPen(*wxTRANSPARENT_PEN);
      dc.SetBrush(wxBrush(kHeader));
      dc.DrawRectangle(0, hh, kbw, size.y - hh);
      const std::vector<vema::RollKey> keys = l.Keyboard();
      const RollRect top = keys.front().rect;
      const RollRect bottom = keys.back().rect;
      dc.SetBrush(wxBrush(kKeyboardWhite));
      dc.DrawRectangle(0, top.y - sy, kbw, bottom.y + bottom.height - top.y);
      dc.SetFont(keyFont_);
      dc.SetTextForeground(kKeyboardText);
      for (const vema::RollKey& k : keys) {
        const wxRect row(k.rect.x, k.rect.y - sy, k.rect.width, k.rect.height);
        if (row.GetBottom() < hh || row.y > size.y) continue;
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
        if (!k.labelled) continue;
        const wxString name = k.name;
        const wxSize extent = dc.GetTextExtent(name);
        dc.DrawText(name, row.GetRight() - extent.x - 2, row.y + (row.height - extent.y) / 2);
      }
      dc.SetFont(captionFont_);
      dc.SetTextForeground(kCaptionText);
      const wxSize extent = dc.GetTextExtent(U8("ドラム"));
      dc.DrawText(U8("ドラム"), 3, strip.y - sy + (strip.height - extent.y) / 2);
    }

    // The corner names the header's rows.
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(kHeader));
    dc.DrawRectangle(0, 0, kbw, hh);
    dc.SetFont(captionFont_);
    dc.SetTextForeground(kCaptionText);
    const char* rows[] = {"小節", "コード", "調"};
    for (int row = 0; row < 3; ++row) {
      const wxString text = U8(rows[row]);
      const wxSize extent = dc.GetTextExtent(text);
      dc.DrawText(text, kbw - extent.x - 4,
                  row * PianoRollLayout::kRowHeight + (PianoRollLayout::kRowHeight - extent.y) / 2);
    }
    dc.SetPen(wxPen(kBarLine));
    dc.DrawLine(0, hh - 1, kbw, hh - 1);
    dc.DrawLine(kbw - 1, 0, kbw - 1, size.y);
  }

  template <typename Visible>
  void DrawLabels(wxDC& dc, const std::vector<vema::RollLabel>& labels, const wxColour& colour,
                  int sx, const Visible& visible) {
    dc.SetTextForeground(colour);
    for (const vema::RollLabel& label : labels) {
      if (!visible(label.rect.x, label.rect.width)) continue;
      const wxRect rect(label.rect.x - sx, label.rect.y, label.rect.width, label.rect.height);
      const wxString text = U8(label.text);
      const wxSize extent = dc.GetTextExtent(text);
      // A label whose bars began left of the view moves along while it still fits them.
      int x = rect.x;
      const int first = PianoRollLayout::kKeyboardWidth + 4;
      if (x < first && first + extent.x <= rect.GetRight()) x = first;
      wxDCClipper clip(dc, rect);
      dc.DrawText(text, x, rect.y + (rect.height - extent.y) / 2);
    }
  }

  CPianoRollDlg* owner_;
  wxFont labelFont_;
  wxFont chordFont_;
  wxFont keyFont_;
  wxFont captionFont_;
  wxBitmap buffer_;
  bool stale_ = true;
  bool handCursor_ = false;
  // Drawing outside a repaint works on X11 only (not on Wayland).
  const bool drawDirectly_ = wxGetDisplayInfo().type == wxDisplayX11;
  int cursorTick_ = -1;
  std::optional<int> cursorX_;  // view x of the cursor drawn last
};

wxBEGIN_EVENT_TABLE(CPianoRollDlg, wxFrame)
  EVT_CLOSE(CPianoRollDlg::OnCloseWindow)
  EVT_CHAR_HOOK(CPianoRollDlg::OnCharHook)
  EVT_SHOW(CPianoRollDlg::OnShowWindow)
  EVT_TIMER(wxID_ANY, CPianoRollDlg::OnTimer)
wxEND_EVENT_TABLE()

CPianoRollDlg::CPianoRollDlg(wxWindow* parent, int* shownFlag, Actions actions)
    : wxFrame(parent, wxID_ANY, U8(kTitle), wxDefaultPosition, wxDefaultSize,
              wxDEFAULT_FRAME_STYLE | wxFRAME_FLOAT_ON_PARENT),
      shownFlag_(shownFlag),
      actions_(std::move(actions)),
      timer_(this) {
  auto* panel = new wxPanel(this);
  auto* bar = new wxBoxSizer(wxHORIZONTAL);
  zoomOut_ = new wxButton(panel, wxID_ZOOM_OUT, U8("－"), wxDefaultPosition, wxSize(36, -1));
  zoomIn_ = new wxButton(panel, wxID_ZOOM_IN, U8("＋"), wxDefaultPosition, wxSize(36, -1));
  zoomFit_ = new wxButton(panel, wxID_ZOOM_FIT, U8("全体"), wxDefaultPosition, wxSize(56, -1));
  zoomOut_->SetToolTip(U8("縮小（－ キー、Ctrl＋ホイール）"));
  zoomIn_->SetToolTip(U8("拡大（＋ キー、Ctrl＋ホイール）"));
  zoomFit_->SetToolTip(U8("曲全体を窓の幅に（F キー）"));
  bar->Add(zoomOut_, 0, wxALL, 4);
  bar->Add(zoomIn_, 0, wxTOP | wxBOTTOM | wxRIGHT, 4);
  bar->Add(zoomFit_, 0, wxTOP | wxBOTTOM | wxRIGHT, 4);
  bar->AddSpacer(12);
  // The legend: each part's colour, and whether it is shown.
  for (const RollPart part : vema::kRollParts) {
    auto* swatch = new wxStaticBitmap(panel, wxID_ANY, Swatch(PartColour(part)));
    auto* box = new wxCheckBox(panel, wxID_ANY, U8(vema::PartName(part)));
    box->SetValue(true);
    box->SetToolTip(U8("このパートを表示する"));
    box->Bind(wxEVT_CHECKBOX, [this, part](wxCommandEvent& event) {
      layout_.ShowPart(part, event.IsChecked());
      canvas_->ViewChanged();
    });
    partBoxes_[static_cast<size_t>(part)] = box;
    bar->Add(swatch, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 8);
    bar->Add(box, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 4);
  }
  caption_ = new wxStaticText(panel, wxID_ANY, "");
  bar->Add(caption_, 1, wxALIGN_CENTER_VERTICAL | wxLEFT, 16);
  panel->SetSizer(bar);
  canvas_ = new Canvas(this);
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(panel, 0, wxEXPAND);
  sizer->Add(canvas_, 1, wxEXPAND);
  SetSizer(sizer);
  zoomOut_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
    Zoom(ZoomStep::kOut, canvas_->GetClientSize().x / 2);
  });
  zoomIn_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
    Zoom(ZoomStep::kIn, canvas_->GetClientSize().x / 2);
  });
  zoomFit_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Zoom(ZoomStep::kFit, 0); });
  SetMinClientSize(wxSize(480, 300));
  SetClientSize(kDefaultWidth, kDefaultHeight);
  ShowSong(std::nullopt);
}

CPianoRollDlg::~CPianoRollDlg() { timer_.Stop(); }

wxWindow* CPianoRollDlg::DrawingArea() const { return canvas_; }

wxSize CPianoRollDlg::DrawnSize() const { return canvas_->DrawnSize(); }

void CPianoRollDlg::ShowSong(std::optional<vema::SongScore> score) {
  layout_.SetSong(std::move(score));
  canvas_->MoveCursor(-1);
  canvas_->ViewChanged();
  UpdateCaption();
}

void CPianoRollDlg::UpdateCaption() {
  wxString text;
  if (const auto& song = layout_.song()) {
    if (!song->title.empty()) text << U8("「" + song->title + "」　");
    text << song->bars << U8("小節　♩＝")
         << static_cast<int>(std::lround(song->QuarterNotesPerMinute()));
  }
  caption_->SetLabel(text);
  zoomIn_->Enable(layout_.CanZoomIn());
  zoomOut_->Enable(layout_.CanZoomOut());
  zoomFit_->Enable(layout_.CanZoomOut());
}

void CPianoRollDlg::Zoom(ZoomStep step, int viewX) {
  bool changed = false;
  switch (step) {
    case ZoomStep::kIn: changed = layout_.ZoomIn(viewX); break;
    case ZoomStep::kOut: changed = layout_.ZoomOut(viewX); break;
    case ZoomStep::kFit: changed = layout_.ZoomToFit(); break;
  }
  if (!changed) return;
  canvas_->ViewChanged();
  canvas_->MoveCursor(actions_.playingTick ? actions_.playingTick() : -1);
  UpdateCaption();
}

void CPianoRollDlg::OnTimer(wxTimerEvent&) {
  const int tick = actions_.playingTick ? actions_.playingTick() : -1;
  canvas_->MoveCursor(tick);
  const int interval = tick >= 0 ? kTimerMs : kIdleTimerMs;
  if (timer_.GetInterval() != interval) timer_.Start(interval);
}

void CPianoRollDlg::OnShowWindow(wxShowEvent& event) {
  event.Skip();
  if (event.IsShown()) {
    timer_.Start(kIdleTimerMs);
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
  const int code = event.GetKeyCode();
  if (event.GetModifiers() == wxMOD_NONE || event.GetModifiers() == wxMOD_SHIFT) {
    switch (code) {
      case WXK_ESCAPE:
        if (event.GetModifiers() == wxMOD_NONE) {
          Close();
          return;
        }
        break;
      case 'F':
      case 'f':
        Zoom(ZoomStep::kFit, 0);
        return;
      case '+':
      case '=':  // "+" without its Shift
      case WXK_NUMPAD_ADD:
        Zoom(ZoomStep::kIn, canvas_->GetClientSize().x / 2);
        return;
      case '-':
      case WXK_NUMPAD_SUBTRACT:
        Zoom(ZoomStep::kOut, canvas_->GetClientSize().x / 2);
        return;
      default:
        break;
    }
  }
  event.Skip();
}
