// The program's resources: the window templates, the pictures and the help book.
#pragma once

#include <memory>

#include <wx/bitmap.h>
#include <wx/intl.h>
#include <wx/string.h>

namespace vema::gui {

// Registers the window templates (compiled in) and their handlers; call once at start-up.
void InitResources();

// Everything the windows need before the first one opens: Japanese stock texts when the locale
// is there (no complaint when it is not), the picture handlers and InitResources.  The locale
// returned (empty without one) must live as long as the windows.
std::unique_ptr<wxLocale> InitToolkit();

// A picture of res/images by name ("POWERU", "BACKGROUND"); an empty bitmap when unknown.
wxBitmap LoadPicture(const wxString& name);

// The folder holding help/ (beside the program in the build folder, the installed data folder
// otherwise); empty if none.
wxString ResourceDir();

// A Japanese text for wx: every non-ASCII text goes through here.
inline wxString U8(const char* text) { return wxString::FromUTF8(text); }
inline wxString U8(const std::string& text) { return wxString::FromUTF8(text.c_str()); }

}  // namespace vema::gui
