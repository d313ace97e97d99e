// A form store of arbitrary bytes, then a composition of each stored form (at most eight, to
// keep the runs fast: the forms are independent of each other).
#include <algorithm>

#include "editors/custom_form_store.h"
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vema::fuzz;
  WriteWorkFile("default.db", data, size);
  Run run(static_cast<uint32_t>(size));
  ComposeAndCheck(run, 0);  // the start-up form (form 0 or the blank form)
  const int forms = std::min(run.session->customForms.Count(), 8);
  for (int i = 0; i < forms; ++i) {
    Run one(static_cast<uint32_t>(i));
    vema::LoadCustomForm(one.session->Editors(), i);
    ComposeAndCheck(one, i % 4);
  }
  RestoreDefaults();
  return 0;
}
