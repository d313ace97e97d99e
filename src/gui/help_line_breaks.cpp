// Japanese line breaks in the help viewer, which breaks lines at blanks only.  The pages of
// the help book are served with a type of their own, which only the viewer's filter below
// reads: it shows them through MarkJapaneseLineBreaks, whose mark is a break of no width.
// The help search reads the pages as they are, so that words are found whole.
#include "gui/help_line_breaks.h"

#include <memory>
#include <string>

#include <wx/filesys.h>
#include <wx/html/htmlfilt.h>
#include <wx/html/htmlwin.h>
#include <wx/html/m_templ.h>

#include "app/help_text.h"

namespace {

constexpr const char* kPageType = "text/x-vema-help";

// Local .htm files, with the type of the help pages (UTF-8).  Handlers added later take
// precedence over the standard ones.
class HelpPageHandler : public wxLocalFSHandler {
 public:
  bool CanOpen(const wxString& location) override {
    return wxLocalFSHandler::CanOpen(location) &&
           GetRightLocation(location).Lower().EndsWith(".htm");
  }
  wxFSFile* OpenFile(wxFileSystem& fs, const wxString& location) override {
    const std::unique_ptr<wxFSFile> file(wxLocalFSHandler::OpenFile(fs, location));
    if (!file || file->GetStream() == nullptr) return nullptr;
    return new wxFSFile(file->DetachStream(), file->GetLocation(),
                        wxString(kPageType) + "; charset=UTF-8", file->GetAnchor(),
                        file->GetModificationTime());
  }
};

class HelpPageFilter : public wxHtmlFilter {
 public:
  bool CanRead(const wxFSFile& file) const override {
    return file.GetMimeType().StartsWith(kPageType);
  }
  wxString ReadFile(const wxFSFile& file) const override {
    std::string page;
    if (wxInputStream* in = file.GetStream()) {
      char buffer[4096];
      while (in->Read(buffer, sizeof buffer).LastRead() > 0) page.append(buffer, in->LastRead());
    }
    return wxString::FromUTF8(vema::MarkJapaneseLineBreaks(page));
  }
};

}  // namespace

// <wbr>: an empty word, which (unlike the words of a run of text) may start a new line.
TAG_HANDLER_BEGIN(WBR, "WBR")
  TAG_HANDLER_CONSTR(WBR) {}
  TAG_HANDLER_PROC(WXUNUSED(tag)) {
    m_WParser->GetContainer()->InsertCell(new wxHtmlWordCell(wxString(), *m_WParser->GetDC()));
    return false;
  }
TAG_HANDLER_END(WBR)

TAGS_MODULE_BEGIN(VemaLineBreaks)
  TAGS_MODULE_ADD(WBR)
TAGS_MODULE_END(VemaLineBreaks)

namespace vema::gui {

void UseJapaneseLineBreaksInHelp() {
  static const bool added = [] {
    wxFileSystem::AddHandler(new HelpPageHandler);
    wxHtmlWindow::AddFilter(new HelpPageFilter);
    return true;
  }();
  (void)added;
}

}  // namespace vema::gui
