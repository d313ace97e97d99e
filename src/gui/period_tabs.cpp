#include "gui/period_tabs.h"

#include <algorithm>

#include <wx/dcbuffer.h>
#include <wx/renderer.h>
#include <wx/settings.h>

namespace vema::editors_gui {

PeriodTabBar::PeriodTabBar(wxWindow* parent, wxWindowID id, const wxPoint& pos) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  Create(parent, id, pos, wxDefaultSize, wxBORDER_NONE | wxFULL_REPAINT_ON_RESIZE);
  SetMinClientSize(DoGetBestClientSize());
  Bind(wxEVT_PAINT, &PeriodTabBar::OnPaint, this);
  Bind(wxEVT_LEFT_DOWN, &PeriodTabBar::OnLeftDown, this);
  Bind(wxEVT_LEFT_DCLICK, &PeriodTabBar::OnLeftDown, this);
  Bind(wxEVT_KEY_DOWN, &PeriodTabBar::OnKeyDown, this);
  Bind(wxEVT_SET_FOCUS, [this](wxFocusEvent& event) { Refresh(false); event.Skip(); });
  Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& event) { Refresh(false); event.Skip(); });
}

int PeriodTabBar::Rows() const {
  const int tabs = static_cast<int>(labels_.size());
  return std::clamp((tabs + kTabsPerRow - 1) / kTabsPerRow, 1, kMaxRows);
}

wxSize PeriodTabBar::DoGetBestClientSize() const {
  // One pixel below the last row for the line the tabs stand on.
  return wxSize(kTabsPerRow * kTabWidth, Rows() * kTabHeight + 1);
}

void PeriodTabBar::SetTabs(const std::vector<std::string>& labels, int selection) {
  std::vector<wxString> shown;
  for (const std::string& label : labels) shown.push_back(wxString::FromUTF8(label.c_str()));
  const int chosen = selection >= 0 && selection < static_cast<int>(shown.size()) ? selection : -1;
  if (shown == labels_ && chosen == selection_) return;
  const int rows = Rows();
  labels_ = std::move(shown);
  selection_ = chosen;
  Refresh(false);
  if (Rows() == rows) return;
  // Another number of rows: the bar and the window around it take their new height.
  InvalidateBestSize();
  SetMinClientSize(DoGetBestClientSize());
  if (wxWindow* top = wxGetTopLevelParent(this)) {
    top->Layout();
    top->Fit();
  }
}

wxRect PeriodTabBar::TabRect(int tab) const {
  return wxRect((tab % kTabsPerRow) * kTabWidth, (tab / kTabsPerRow) * kTabHeight, kTabWidth,
                kTabHeight);
}

void PeriodTabBar::OnPaint(wxPaintEvent&) {
  wxAutoBufferedPaintDC dc(this);
  const wxColour face = GetParent()->GetBackgroundColour();
  const wxColour shadow = wxSystemSettings::GetColour(wxSYS_COLOUR_BTNSHADOW);
  const wxColour page = wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOW);
  const wxColour accent = wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHT);
  dc.SetBackground(wxBrush(face));
  dc.Clear();
  dc.SetFont(GetFont());
  for (int tab = 0; tab < static_cast<int>(labels_.size()); ++tab) {
    const bool selected = tab == selection_;
    wxRect r = TabRect(tab);
    r.Deflate(1, 0);
    r.y += 1;
    r.height -= 1;
    dc.SetPen(wxPen(shadow));
    dc.SetBrush(wxBrush(selected ? page : face.ChangeLightness(95)));
    dc.DrawRoundedRectangle(r, 3);
    if (selected) {
      // The chosen tab is marked by a bar along its top edge.
      dc.SetPen(*wxTRANSPARENT_PEN);
      dc.SetBrush(wxBrush(accent));
      dc.DrawRectangle(r.x + 2, r.y, r.width - 4, 2);
    }
    wxFont font = GetFont();
    if (selected) font.MakeBold();
    dc.SetFont(font);
    dc.SetTextForeground(GetForegroundColour());
    dc.DrawLabel(labels_[static_cast<size_t>(tab)], r, wxALIGN_CENTER);
    if (selected && HasFocus()) {
      wxRendererNative::Get().DrawFocusRect(this, dc, r.Deflate(3, 3));
    }
  }
  // The line the tabs stand on.
  dc.SetPen(wxPen(shadow));
  const int bottom = Rows() * kTabHeight;
  dc.DrawLine(0, bottom, GetClientSize().x, bottom);
}

void PeriodTabBar::OnLeftDown(wxMouseEvent& event) {
  for (int tab = 0; tab < static_cast<int>(labels_.size()); ++tab) {
    if (TabRect(tab).Contains(event.GetPosition())) {
      SetFocus();
      Choose(tab);
      return;
    }
  }
  event.Skip();
}

void PeriodTabBar::OnKeyDown(wxKeyEvent& event) {
  const int count = static_cast<int>(labels_.size());
  int tab = selection_;
  switch (event.GetKeyCode()) {
    case WXK_LEFT: tab -= 1; break;
    case WXK_RIGHT: tab += 1; break;
    case WXK_UP: tab -= kTabsPerRow; break;
    case WXK_DOWN: tab += kTabsPerRow; break;
    case WXK_HOME: tab = 0; break;
    case WXK_END: tab = count - 1; break;
    default: event.Skip(); return;
  }
  if (count > 0) Choose(std::clamp(tab, 0, count - 1));
}

void PeriodTabBar::Choose(int tab) {
  if (tab == selection_) return;
  selection_ = tab;
  Refresh(false);
  if (onSelect_) onSelect_(tab);
}

wxObject* PeriodTabBarXmlHandler::DoCreateResource() {
  auto* tabs = new PeriodTabBar(m_parentAsWindow, GetID(), GetPosition());
  SetupWindow(tabs);
  return tabs;
}

bool PeriodTabBarXmlHandler::CanHandle(wxXmlNode* node) { return IsOfClass(node, "PeriodTabBar"); }

}  // namespace vema::editors_gui
