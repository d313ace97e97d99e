// The whole path of vema-cli export from the bytes of out.mid to the MusicXML score: the notes
// read, the song checked against each stored form of the shipped default.db until one matches
// (as a person names the form), the score built and written.  A score must be well-formed with
// every bar of every part exactly full and as many bars as the form; reading must never crash
// or take more than linear time, whatever the bytes.
#include <cstdio>
#include <cstdlib>
#include <pugixml.hpp>
#include <span>

#include "app/export_command.h"
#include "editors/custom_form_store.h"
#include "output/musicxml_writer.h"
#include "song/file_io.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

const vema::CustomFormTable& StoredForms() {
  static const vema::CustomFormTable table = [] {
    vema::CustomFormTable forms;
    const auto bytes = vema::ReadFileBytes(VEMA_SOURCE_DIR "/data/default.db", SIZE_MAX);
    if (!bytes) Fail("data/default.db cannot be read");
    vema::DecodeCustomFormFile(*bytes, forms);
    return forms;
  }();
  return table;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  const vema::CustomFormTable& forms = StoredForms();
  for (int f = 0; f < forms.Count(); ++f) {
    const vema::SongForm& form = forms.forms[static_cast<size_t>(f)];
    std::string error, mismatch;
    const std::optional<vema::SongScore> score =
        vema::ExportScore(bytes, form, "\x01題名\xff", error, mismatch);
    if (!score && !mismatch.empty()) continue;  // another form may be the song's
    if (!score) return 0;                        // refused: no song of this program
    if (score->bars != form.BarCount()) Fail("the score has other bars than the form");
    const std::string xml = vema::BuildMusicXml(*score);
    pugi::xml_document doc;
    if (!doc.load_string(xml.c_str())) Fail("the score is not well-formed");
    for (pugi::xml_node part : doc.child("score-partwise").children("part")) {
      int measures = 0;
      for (pugi::xml_node measure : part.children("measure")) {
        ++measures;
        int total = 0;
        for (pugi::xml_node note : measure.children("note")) {
          if (!note.child("chord")) total += note.child("duration").text().as_int();
        }
        if (total != vema::kTicksPerBar) Fail("a bar is not exactly full");
      }
      if (measures != score->bars) Fail("a part has the wrong number of bars");
    }
    return 0;
  }
  return 0;
}
