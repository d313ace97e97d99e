// Small helpers of the editor windows: Japanese text for wx, finding template controls by id,
// and mirroring the state kept by the editors' rules into wx controls without raising events.
#pragma once

#include <string>

#include <wx/choice.h>
#include <wx/listbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/window.h>

#include "editors/control_state.h"

namespace vema::editors_gui {

inline wxString U8(const std::string& text) { return wxString::FromUTF8(text.c_str()); }
inline wxString U8(const char* text) { return wxString::FromUTF8(text); }
inline std::string ToUtf8(const wxString& text) { return std::string(text.utf8_str()); }

// The control of a window template with the given id; asserts that it exists and has the type.
template <typename T>
T* Control(wxWindow& parent, int id) {
  T* control = dynamic_cast<T*>(parent.FindWindow(id));
  wxASSERT_MSG(control != nullptr, wxString::Format("control %d missing from the template", id));
  return control;
}

// Entries, selection and enabled state; the entries are replaced only when they differ.
template <typename List>
void SyncItems(List* list, const ListState& state) {
  bool same = list->GetCount() == state.items.size();
  for (unsigned i = 0; same && i < state.items.size(); ++i) {
    same = ToUtf8(list->GetString(i)) == state.items[i];
  }
  if (!same) {
    wxArrayString items;
    for (const std::string& item : state.items) items.Add(U8(item));
    list->Set(items);
  }
  const int selection =
      state.selection < static_cast<int>(state.items.size()) ? state.selection : -1;
  if (list->GetSelection() != selection) list->SetSelection(selection);
  if (list->IsEnabled() != state.enabled) list->Enable(state.enabled);
}

// Text and enabled state; the text is replaced only when it differs (keeps the caret), and a
// replaced text has the caret at its end.
inline void SyncText(wxTextCtrl* edit, const TextState& state) {
  if (ToUtf8(edit->GetValue()) != state.text) {
    edit->ChangeValue(U8(state.text));
    edit->SetInsertionPointEnd();
  }
  if (edit->IsEnabled() != state.enabled) edit->Enable(state.enabled);
}

inline void SyncLabel(wxStaticText* label, const TextState& state) {
  if (ToUtf8(label->GetLabel()) != state.text) label->SetLabel(U8(state.text));
  if (label->IsEnabled() != state.enabled) label->Enable(state.enabled);
}

}  // namespace vema::editors_gui
