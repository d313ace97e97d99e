// The whole path of vema-cli export from the bytes of out.mid to the MusicXML score: the notes
// read, the song checked against each stored form of the shipped default.db until one matches
// (as a person names the form), the score built and written.  A score must be well-formed with
// every bar of every part exactly full and as many bars as the form; reading must never crash
// or take more than linear time, whatever the bytes.
#include <span>

#include "app/export_command.h"
#include "editors/custom_form_store.h"
#include "harness.h"
#include "output/musicxml_writer.h"
#include "song/file_io.h"

namespace {

const vema::CustomFormTable& StoredForms() {
  static const vema::CustomFormTable table = [] {
    vema::CustomFormTable forms;
    const auto bytes = vema::ReadFileBytes(VEMA_SOURCE_DIR "/data/default.db", SIZE_MAX);
    if (!bytes) vema::fuzz::Fail("data/default.db cannot be read", 0);
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
    if (!score) return 0;                       // refused: no song of this program
    if (score->bars != form.BarCount()) {
      vema::fuzz::Fail("the score has other bars than the form", size);
    }
    vema::fuzz::CheckScoreXml(vema::BuildMusicXml(*score), score->bars, size);
    return 0;
  }
  return 0;
}
