// The period tabs of the form editor: fixed-width tabs of 100 x 20 pixels in rows of six, so
// that all twelve periods show at once (a GTK notebook would scroll them in one row); the bar is
// as high as the rows it uses, and the window around it follows when that changes.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <wx/window.h>
#include <wx/xrc/xmlres.h>

namespace vema::editors_gui {

class PeriodTabBar : public wxWindow {
 public:
  static constexpr int kTabWidth = 100;
  static constexpr int kTabHeight = 20;
  static constexpr int kTabsPerRow = 6;
  static constexpr int kMaxRows = 2;
  int Rows() const;

  PeriodTabBar(wxWindow* parent, wxWindowID id, const wxPoint& pos = wxDefaultPosition);

  // Shows these tabs with one selected, without calling the selection handler.
  void SetTabs(const std::vector<std::string>& labels, int selection);
  int GetSelection() const { return selection_; }
  size_t GetTabCount() const { return labels_.size(); }
  // Where a tab is drawn (client coordinates).
  wxRect TabRect(int tab) const;
  // Called with the tab the person chose (a click, or the arrow keys).
  void OnSelect(std::function<void(int)> handler) { onSelect_ = std::move(handler); }

  bool AcceptsFocus() const override { return true; }

 protected:
  wxSize DoGetBestClientSize() const override;

 private:
  void OnPaint(wxPaintEvent& event);
  void OnLeftDown(wxMouseEvent& event);
  void OnKeyDown(wxKeyEvent& event);
  void Choose(int tab);

  std::vector<wxString> labels_;
  int selection_ = -1;
  std::function<void(int)> onSelect_;
};

// Builds a PeriodTabBar from a window template: <object class="PeriodTabBar" name="1294"/>.
class PeriodTabBarXmlHandler : public wxXmlResourceHandler {
 public:
  wxObject* DoCreateResource() override;
  bool CanHandle(wxXmlNode* node) override;
};

}  // namespace vema::editors_gui
