#include "gui/picture_button.h"

#include <wx/dcbuffer.h>

#include "gui/resources.h"

namespace vema::gui {

wxBEGIN_EVENT_TABLE(PictureButton, wxWindow)
  EVT_PAINT(PictureButton::OnPaint)
  EVT_LEFT_DOWN(PictureButton::OnLeftDown)
  EVT_LEFT_DCLICK(PictureButton::OnLeftDown)
  EVT_LEFT_UP(PictureButton::OnLeftUp)
  EVT_MOTION(PictureButton::OnMotion)
  EVT_MOUSE_CAPTURE_LOST(PictureButton::OnCaptureLost)
wxEND_EVENT_TABLE()

PictureButton::PictureButton(wxWindow* parent, wxWindowID id, const wxString& caption,
                             const wxPoint& pos)
    : up_(LoadPicture(caption + "U")), down_(LoadPicture(caption + "D")) {
  const wxSize size = up_.IsOk() ? up_.GetSize() : wxSize(40, 20);
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  Create(parent, id, pos, size, wxBORDER_NONE | wxFULL_REPAINT_ON_RESIZE, caption);
  SetLabel(caption);
  SetMinSize(size);
}

void PictureButton::OnPaint(wxPaintEvent&) {
  wxAutoBufferedPaintDC dc(this);
  const wxBitmap& picture = pressed_ && down_.IsOk() ? down_ : up_;
  if (picture.IsOk()) {
    dc.DrawBitmap(picture, 0, 0, false);
  } else {
    dc.SetBackground(*wxLIGHT_GREY_BRUSH);
    dc.Clear();
    dc.DrawLabel(GetLabel(), GetClientRect(), wxALIGN_CENTER);
  }
}

void PictureButton::SetPressed(bool pressed) {
  if (pressed_ == pressed) return;
  pressed_ = pressed;
  Refresh(false);
  Update();
}

void PictureButton::OnLeftDown(wxMouseEvent&) {
  if (!HasCapture()) CaptureMouse();
  SetPressed(true);
}

void PictureButton::OnMotion(wxMouseEvent& event) {
  if (HasCapture()) SetPressed(GetClientRect().Contains(event.GetPosition()));
}

void PictureButton::OnLeftUp(wxMouseEvent& event) {
  if (!HasCapture()) return;
  ReleaseMouse();
  const bool inside = GetClientRect().Contains(event.GetPosition());
  SetPressed(false);
  if (!inside) return;
  wxCommandEvent click(wxEVT_BUTTON, GetId());
  click.SetEventObject(this);
  // Sent after this mouse event has been handled, so that a modal command (a dialog) does not
  // run inside the button's own mouse handling.
  GetEventHandler()->AddPendingEvent(click);
}

void PictureButton::OnCaptureLost(wxMouseCaptureLostEvent&) { SetPressed(false); }

wxObject* PictureButtonXmlHandler::DoCreateResource() {
  auto* button = new PictureButton(m_parentAsWindow, GetID(), GetText("caption", false),
                                   GetPosition());
  SetupWindow(button);
  return button;
}

bool PictureButtonXmlHandler::CanHandle(wxXmlNode* node) {
  return IsOfClass(node, "PictureButton");
}

}  // namespace vema::gui
