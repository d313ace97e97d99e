#include "gui/piano_roll_dlg.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/menu.h>
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
// The chosen bars: a lighter band over the rows and the ruler, edged in blue.
const wxColour kChosenWhiteRow(50, 60, 82);
const wxColour kChosenBlackRow(43, 52, 72);
const wxColour kChosenRuler(48, 78, 130);
const wxColour kChosenEdge(110, 170, 255);
// The chosen melody notes, and the box being dragged.
const wxColour kChosenNote(255, 236, 150);
const wxColour kChosenNoteEdge(255, 255, 255);
const wxColour kBoxEdge(230, 230, 240);
// A drag shorter than this (pixels) is a click.
constexpr int kDragThreshold = 4;

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
    Bind(wxEVT_LEFT_UP, &Canvas::OnLeftUp, this);
    Bind(wxEVT_LEFT_DCLICK, &Canvas::OnDoubleClick, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, [this](wxMouseCaptureLostEvent&) { EndGesture(); });
    Bind(wxEVT_CONTEXT_MENU, [this](wxContextMenuEvent& event) {
      wxPoint at = event.GetPosition();
      at = at == wxDefaultPosition ? wxPoint(GetClientSize().x / 2, GetClientSize().y / 2)
                                   : ScreenToClient(at);
      owner_->ShowChoiceMenu(at);
    });
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
                  "小節の行をドラッグ：小節を選ぶ（R：作り直す）\n"
                  "旋律の音をクリック・Shift＋クリック・囲む：選ぶ\n"
                  "↑↓：音階で1つ　Ctrl＋↑↓：半音　Shift＋↑↓：オクターブ　Delete：休符\n"
                  "休符の所をダブルクリック：その高さの音に\n"
                  "Ctrl＋ホイール：拡大・縮小　F：曲全体"));
  }

  PianoRollLayout& layout() { return owner_->layout_; }

#ifdef __WXGTK__
  ~Canvas() override {
    if (m_imContext == nullptr) m_imContext = imContext_;  // the toolkit's to release
  }

  // The roll takes keys, never text, so it keeps no input method.  The X input method, given
  // the focus, makes the area an X window of its own; until the area's size changes, nothing
  // painted or drawn on it after that reaches the screen, which keeps the picture from before.
  void GTKHandleRealized() override {
    if (m_imContext == nullptr) m_imContext = imContext_;
    wxWindow::GTKHandleRealized();
    imContext_ = m_imContext;
    m_imContext = nullptr;
  }
#endif

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

  // What a press of the left button has begun.
  enum class Gesture { kNone, kRuler, kBars, kNotes, kMoveNotes, kBox, kBoxing };

  void OnLeftDown(wxMouseEvent& event) {
    SetFocus();
    EndGesture();
    const PianoRollLayout& l = layout();
    const vema::RollClick click = l.ClickAt(event.GetX(), event.GetY());
    const vema::RollArea area = l.AreaAt(event.GetX(), event.GetY());
    pressAt_ = event.GetPosition();
    pressCanvas_ = wxPoint(l.CanvasX(event.GetX()), l.CanvasY(event.GetY()));
    shift_ = event.ShiftDown();
    if (l.HasSong() && area == vema::RollArea::kRuler) {
      // A click plays from there; a drag across the bars chooses them.
      gesture_ = Gesture::kRuler;
      pressBar_ = l.BarAtX(pressCanvas_.x);
      CaptureMouse();
      return;
    }
    if (l.HasSong() && area == vema::RollArea::kNotes) {
      const std::optional<vema::RollNote> note = l.NoteAt(pressCanvas_.x, pressCanvas_.y);
      if (click.kind == vema::RollClick::Kind::kSound && owner_->actions_.sound) {
        owner_->actions_.sound(click);
      }
      if (note && note->part == RollPart::kMelody) {
        // A chosen note stays chosen with the others, so that they can be dragged together.
        if (shift_ || !owner_->chosen_.Chosen(*note)) owner_->chosen_.Click(note, shift_);
        gesture_ = owner_->chosen_.Chosen(*note) ? Gesture::kNotes : Gesture::kNone;
        const std::optional<vema::BarRange> bars = owner_->chosen_.bars();
        if (bars && (l.BarAtX(pressCanvas_.x) < bars->first || l.BarAtX(pressCanvas_.x) > bars->last)) {
          owner_->chosen_.ClearBars();
        }
        owner_->ChoiceChanged();
      } else {
        gesture_ = Gesture::kBox;
      }
      CaptureMouse();
      return;
    }
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

  void OnLeftUp(wxMouseEvent& event) {
    const Gesture gesture = gesture_;
    const PianoRollLayout& l = layout();
    const wxPoint canvas(l.CanvasX(event.GetX()), l.CanvasY(event.GetY()));
    EndGesture();
    vema::RollSelection& chosen = owner_->chosen_;
    switch (gesture) {
      case Gesture::kRuler: {
        const vema::RollClick click = l.ClickAt(pressAt_.x, pressAt_.y);
        if (click.kind == vema::RollClick::Kind::kSeek && owner_->actions_.seek) {
          owner_->actions_.seek(click.tick);
        }
        break;
      }
      case Gesture::kMoveNotes: {
        const int semitones = vema::DragSemitones(l, pressCanvas_.y, canvas.y);
        Refresh(false);
        if (semitones != 0) owner_->EditChosenNotes(vema::MelodyEditKind::kSemitones, semitones);
        break;
      }
      case Gesture::kBox:  // a click on no melody note: the choice goes, the bars outside too
        chosen.Click(std::nullopt, shift_);
        if (!shift_ && chosen.bars()) {
          const int bar = l.BarAtX(canvas.x);
          if (bar < chosen.bars()->first || bar > chosen.bars()->last) chosen.ClearBars();
        }
        owner_->ChoiceChanged();
        break;
      case Gesture::kBoxing:
        chosen.Box(l, vema::BoxBetween(pressCanvas_.x, pressCanvas_.y, canvas.x, canvas.y),
                   shift_);
        owner_->ChoiceChanged();
        break;
      default:
        owner_->ChoiceChanged();
        break;
    }
  }

  void OnDoubleClick(wxMouseEvent& event) {
    // The second press of a double-click: a rest of the melody given the key under the pointer.
    EndGesture();
    const PianoRollLayout& l = layout();
    if (!l.HasSong() || l.AreaAt(event.GetX(), event.GetY()) != vema::RollArea::kNotes) return;
    const int x = l.CanvasX(event.GetX()), y = l.CanvasY(event.GetY());
    const std::optional<vema::RollNote> note = l.NoteAt(x, y);
    const std::optional<int> key = l.KeyAtY(y);
    if ((note && note->part == RollPart::kMelody) || !key || !l.PartShown(RollPart::kMelody)) {
      return;
    }
    owner_->GiveRestKey(l.TickAtX(x), *key);
  }

  void EndGesture() {
    const bool drawn = gesture_ == Gesture::kBoxing || gesture_ == Gesture::kMoveNotes;
    gesture_ = Gesture::kNone;
    moveBy_ = 0;
    if (HasCapture()) ReleaseMouse();
    if (drawn) ViewChanged();
  }

  void OnMotion(wxMouseEvent& event) {
    if (gesture_ != Gesture::kNone && event.LeftIsDown()) Drag(event.GetPosition());
    const vema::RollArea area = layout().AreaAt(event.GetX(), event.GetY());
    const bool hand = layout().HasSong() &&
                      (area == vema::RollArea::kRuler || area == vema::RollArea::kKeyboard);
    if (hand != handCursor_) {
      handCursor_ = hand;
      SetCursor(hand ? wxCursor(wxCURSOR_HAND) : wxNullCursor);
    }
    event.Skip();
  }

  void Drag(const wxPoint& at) {
    const PianoRollLayout& l = layout();
    const wxPoint canvas(l.CanvasX(at.x), l.CanvasY(at.y));
    const bool moved = std::abs(at.x - pressAt_.x) >= kDragThreshold ||
                       std::abs(at.y - pressAt_.y) >= kDragThreshold;
    switch (gesture_) {
      case Gesture::kRuler:
        if (!moved && l.BarAtX(canvas.x) == pressBar_) return;
        gesture_ = Gesture::kBars;
        [[fallthrough]];
      case Gesture::kBars:
        owner_->chosen_.SelectBars(*l.song(), pressBar_, l.BarAtX(canvas.x));
        owner_->ChoiceChanged();
        return;
      case Gesture::kNotes:
        if (!moved) return;
        gesture_ = Gesture::kMoveNotes;
        [[fallthrough]];
      case Gesture::kMoveNotes: {
        const int by = vema::DragSemitones(l, pressCanvas_.y, canvas.y);
        if (by != moveBy_) {
          moveBy_ = by;
          ViewChanged();
        }
        return;
      }
      case Gesture::kBox:
        if (!moved) return;
        gesture_ = Gesture::kBoxing;
        [[fallthrough]];
      case Gesture::kBoxing:
        boxTo_ = canvas;
        ViewChanged();
        return;
      case Gesture::kNone:
        return;
    }
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
      const std::optional<vema::BarRange> bars = owner_->chosen_.bars();
      if (bars) {  // the chosen bars: their rows lighter
        const RollRect band = vema::BarBand(l, *bars);
        wxDCClipper inBand(dc, wxRect(band.x - sx, hh, band.width, size.y - hh));
        for (const vema::RollKey& k : l.Keyboard()) {
          const int y = k.rect.y - sy;
          if (y + k.rect.height < hh || y > size.y) continue;
          dc.SetBrush(wxBrush(k.black ? kChosenBlackRow : kChosenWhiteRow));
          dc.DrawRectangle(kbw, y, size.x - kbw, k.rect.height - (k.key % 12 == 0 ? 1 : 0));
        }
        dc.SetBrush(wxBrush(kChosenBlackRow));
        dc.DrawRectangle(kbw, strip.y - sy + strip.height, size.x - kbw, size.y);
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
        const bool chosen = owner_->chosen_.Chosen(note);
        int y = note.rect.y;
        if (chosen) {
          dc.SetPen(wxPen(kChosenNoteEdge, 2));
          y -= moveBy_ * l.KeyHeight();  // where a drag takes it
        } else if (note.part == RollPart::kMelody) {
          dc.SetPen(wxPen(kMelodyEdge));
        } else {
          dc.SetPen(*wxTRANSPARENT_PEN);
        }
        dc.SetBrush(wxBrush(chosen ? kChosenNote : PartColour(note.part)));
        dc.DrawRectangle(note.rect.x - sx, y - sy, note.rect.width, note.rect.height);
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
      if (bars) {  // the band's edges
        const RollRect band = vema::BarBand(l, *bars);
        dc.SetPen(wxPen(kChosenEdge, 2));
        dc.DrawLine(band.x - sx, hh, band.x - sx, size.y);
        dc.DrawLine(band.x + band.width - sx, hh, band.x + band.width - sx, size.y);
      }
      if (gesture_ == Gesture::kBoxing) {
        const RollRect box = vema::BoxBetween(pressCanvas_.x, pressCanvas_.y, boxTo_.x, boxTo_.y);
        dc.SetPen(wxPen(kBoxEdge, 1, wxPENSTYLE_SHORT_DASH));
        dc.SetBrush(*wxTRANSPARENT_BRUSH);
        dc.DrawRectangle(box.x - sx, box.y - sy, box.width, box.height);
      }
    }

    {  // The header: bar numbers, chords and keys, scrolled sideways only.
      wxDCClipper clip(dc, wxRect(kbw, 0, size.x - kbw, hh));
      dc.SetPen(*wxTRANSPARENT_PEN);
      dc.SetBrush(wxBrush(kHeader));
      dc.DrawRectangle(kbw, 0, size.x - kbw, hh);
      if (const std::optional<vema::BarRange> bars = owner_->chosen_.bars()) {
        const RollRect band = vema::BarBand(l, *bars);
        dc.SetBrush(wxBrush(kChosenRuler));
        dc.DrawRectangle(band.x - sx, 0, band.width, hh);
        dc.SetPen(wxPen(kChosenEdge, 2));
        dc.DrawLine(band.x - sx, 0, band.x - sx, hh);
        dc.DrawLine(band.x + band.width - sx, 0, band.x + band.width - sx, hh);
      }
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
  Gesture gesture_ = Gesture::kNone;
  wxPoint pressAt_;      // view point of the press
  wxPoint pressCanvas_;  // canvas point of the press
  wxPoint boxTo_;        // canvas point of the box's other corner
  int pressBar_ = 0;
  int moveBy_ = 0;  // semitones of a drag of the chosen notes so far
  bool shift_ = false;
#ifdef __WXGTK__
  GtkIMContext* imContext_ = nullptr;  // the toolkit's, kept from the focus
#endif
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
  bar->Add(caption_, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 16);
  remake_ = new wxButton(panel, wxID_ANY, U8("この小節を作り直す"));
  remake_->SetToolTip(U8("小節の行をドラッグして選んだ小節を作り直す（R キー）"));
  remake_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { RemakeChosenBars(); });
  bar->Add(remake_, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 16);
  status_ = new wxStaticText(panel, wxID_ANY, "", wxDefaultPosition, wxDefaultSize,
                             wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);
  bar->Add(status_, 1, wxALIGN_CENTER_VERTICAL | wxLEFT | wxRIGHT, 12);
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
  chosen_ = vema::RollSelection();
  canvas_->MoveCursor(-1);
  canvas_->ViewChanged();
  UpdateCaption();
  ChoiceChanged();
}

void CPianoRollDlg::SongChanged(std::optional<vema::SongScore> score) {
  const int x = layout_.scrollX(), y = layout_.scrollY();
  layout_.SetSong(std::move(score));
  layout_.ScrollTo(x, y);
  chosen_.Keep(layout_.song());
  canvas_->MoveCursor(-1);
  canvas_->ViewChanged();
  UpdateCaption();
  ChoiceChanged();
}

std::string CPianoRollDlg::StatusText() const { return status_->GetLabel().utf8_string(); }

void CPianoRollDlg::SetStatus(const std::string& text) {
  status_->SetLabel(U8(text));
  status_->SetToolTip(U8(text));
}

void CPianoRollDlg::ChoiceChanged() {
  const std::optional<vema::BarRange>& bars = chosen_.bars();
  remake_->Enable(bars.has_value() && static_cast<bool>(actions_.remakeBars));
  std::string text;
  if (bars) {
    text = std::to_string(bars->first + 1);
    if (bars->last != bars->first) text += "～" + std::to_string(bars->last + 1);
    text += "小節を選択（R）";
  }
  if (!chosen_.notes().empty()) {
    if (!text.empty()) text += "　";
    text += "旋律 " + std::to_string(chosen_.notes().size()) + " 音を選択";
  }
  SetStatus(text);
  if (!chosen_.notes().empty()) {
    status_->SetToolTip(U8("↑↓：音階で1つ　Ctrl＋↑↓：半音　Shift＋↑↓：オクターブ\n"
                           "上下にドラッグ：半音ずつ　Delete：休符に　Esc：選択を解除"));
  }
  canvas_->ViewChanged();
}

void CPianoRollDlg::RemakeChosenBars() {
  const std::optional<vema::BarRange> bars = chosen_.bars();
  if (!bars || !actions_.remakeBars) return;
  actions_.remakeBars(bars->first, bars->last);
}

void CPianoRollDlg::EditChosenNotes(vema::MelodyEditKind kind, int amount) {
  if (chosen_.notes().empty() || !actions_.editNotes) return;
  const std::string refusal = actions_.editNotes(chosen_.notes(), kind, amount);
  if (!refusal.empty()) SetStatus(refusal);
}

void CPianoRollDlg::GiveRestKey(int64_t tick, int key) {
  if (!actions_.giveRestKey) return;
  const std::string refusal = actions_.giveRestKey(tick, key);
  if (!refusal.empty()) SetStatus(refusal);
}

void CPianoRollDlg::ShowChoiceMenu(const wxPoint& at) {
  if (!layout_.HasSong()) return;
  wxMenu menu;
  enum { kRemake = 1, kRest, kUp, kDown, kClear };
  menu.Append(kRemake, U8("この小節を作り直す\tR"))->Enable(chosen_.bars().has_value());
  const bool notes = !chosen_.notes().empty();
  menu.Append(kUp, U8("音階で1つ上げる\t↑"))->Enable(notes);
  menu.Append(kDown, U8("音階で1つ下げる\t↓"))->Enable(notes);
  menu.Append(kRest, U8("休符にする\tDelete"))->Enable(notes);
  menu.AppendSeparator();
  menu.Append(kClear, U8("選択を解除\tEsc"))->Enable(!chosen_.Empty());
  switch (canvas_->GetPopupMenuSelectionFromUser(menu, at)) {
    case kRemake: RemakeChosenBars(); break;
    case kUp: EditChosenNotes(vema::MelodyEditKind::kScaleSteps, 1); break;
    case kDown: EditChosenNotes(vema::MelodyEditKind::kScaleSteps, -1); break;
    case kRest: EditChosenNotes(vema::MelodyEditKind::kRest, 0); break;
    case kClear:
      chosen_ = vema::RollSelection();
      ChoiceChanged();
      break;
    default: break;
  }
}

void CPianoRollDlg::UpdateCaption() {
  wxString text;
  if (const auto& song = layout_.song()) {
    if (!song->title.empty()) text << U8("「" + song->title + "」　");
    text << song->bars << U8("小節　♩＝")
         << static_cast<int>(std::lround(song->QuarterNotesPerMinute()));
  }
  caption_->SetLabel(text);
  caption_->GetParent()->Layout();
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
  const int modifiers = event.GetModifiers();
  // Undo, redo and the history's steps work here as in the main window.
  int songCode = code >= 'a' && code <= 'z' ? code - 'a' + 'A' : code;
  if (code == WXK_LEFT) songCode = vema::kLeftKey;
  if (code == WXK_RIGHT) songCode = vema::kRightKey;
  const vema::SongKey songKey = vema::SongKeyOf(songCode, event.AltDown(),
                                                event.ControlDown(), event.ShiftDown());
  if (songKey != vema::SongKey::kNone && actions_.songKey) {
    actions_.songKey(songKey);
    return;
  }
  if ((code == WXK_UP || code == WXK_DOWN || code == WXK_NUMPAD_UP ||
       code == WXK_NUMPAD_DOWN) &&
      !chosen_.notes().empty() && !event.AltDown()) {
    const vema::RollMove move = vema::ArrowMove(code == WXK_UP || code == WXK_NUMPAD_UP,
                                                event.ControlDown(), event.ShiftDown());
    EditChosenNotes(move.kind, move.amount);
    return;
  }
  if (modifiers == wxMOD_NONE || modifiers == wxMOD_SHIFT) {
    switch (code) {
      case WXK_ESCAPE:
        if (modifiers == wxMOD_NONE) {
          // The choice goes first; with nothing chosen the window closes.
          if (!chosen_.Empty()) {
            chosen_ = vema::RollSelection();
            ChoiceChanged();
          } else {
            Close();
          }
          return;
        }
        break;
      case WXK_DELETE:
      case WXK_NUMPAD_DELETE:
      case WXK_BACK:
        if (!chosen_.notes().empty()) {
          EditChosenNotes(vema::MelodyEditKind::kRest, 0);
          return;
        }
        break;
      case 'R':
      case 'r':
        if (chosen_.bars()) {
          RemakeChosenBars();
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
