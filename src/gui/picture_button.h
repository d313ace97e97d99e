// A button drawn entirely by two pictures, "up" (caption + "U") and "down" (caption + "D"),
// exactly as large as its pictures.  A click sends wxEVT_BUTTON with the button's id.
#pragma once

#include <wx/bitmap.h>
#include <wx/window.h>
#include <wx/xrc/xmlres.h>

namespace vema::gui {

class PictureButton : public wxWindow {
 public:
  PictureButton(wxWindow* parent, wxWindowID id, const wxString& caption, const wxPoint& pos);

  bool AcceptsFocus() const override { return false; }
  bool pressed() const { return pressed_; }

 private:
  void OnPaint(wxPaintEvent& event);
  void OnLeftDown(wxMouseEvent& event);
  void OnLeftUp(wxMouseEvent& event);
  void OnMotion(wxMouseEvent& event);
  void OnCaptureLost(wxMouseCaptureLostEvent& event);
  void SetPressed(bool pressed);

  wxBitmap up_;
  wxBitmap down_;
  bool pressed_ = false;
  wxDECLARE_EVENT_TABLE();
};

// Builds a PictureButton from a window template:
//   <object class="PictureButton" name="1001"><caption>SAVE</caption><pos>8,126</pos></object>
class PictureButtonXmlHandler : public wxXmlResourceHandler {
 public:
  wxObject* DoCreateResource() override;
  bool CanHandle(wxXmlNode* node) override;
};

}  // namespace vema::gui
