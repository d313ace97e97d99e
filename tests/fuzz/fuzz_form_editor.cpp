// The form editor driven by arbitrary user actions over an arbitrary stored form, then a
// composition of the form it leaves.
#include <algorithm>
#include <string>

#include "editors/form_editor.h"
#include "harness.h"
#include "song/binary_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vema;
  size = std::min(size, kFormRecordBytes + 3 * 4000);  // at most about 4000 actions
  fuzz::Run run(1);
  Session& s = *run.session;
  const size_t form_bytes = std::min(size, kFormRecordBytes);
  FieldReader reader({data, form_bytes});
  DecodeForm(reader, s.form);

  FormEditor editor(s.Editors());
  editor.Initialise();
  size_t at = form_bytes;
  auto next = [&]() -> int { return at < size ? data[at++] : 0; };
  while (at < size) {
    const int action = next() % 13;
    const int a = next();
    const int b = next();
    switch (action) {
      case 0: editor.SelectPeriodCount(a % 14); break;          // includes 0 and 13
      case 1: editor.SelectTab(a % 14 - 1); break;
      case 2: editor.PressCopyPeriod(); break;
      case 3: editor.PressNewPeriod(); break;
      case 4: editor.SelectCopySource(a % 14 - 1); break;
      case 5: editor.OnMelodyChanged(a % 10 - 1, b - 1); break;
      case 6: editor.OnMotifChanged(a % 10 - 1, b - 1); break;
      case 7: editor.OnNoteLengthChanged(a % 10 - 1, b - 1); break;
      case 8: editor.OnKeyChanged(a % 10 - 1, b % 34 - 2); break;
      case 9: {
        std::string text;
        for (int i = 0; i < b % 16; ++i) text += static_cast<char>(next());
        editor.OnChordChanged(a % 10 - 1, text);
        break;
      }
      case 10: editor.AfterCustomFormLoad(); break;
      case 11: editor.AfterCustomFormSave(); break;
      default: editor.ShowPeriod(); break;
    }
  }
  fuzz::ComposeAndCheck(run, static_cast<int>(size % 4));
  return 0;
}
