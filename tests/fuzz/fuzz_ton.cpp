// A melody style of arbitrary bytes, then a composition of the start-up form.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vema::fuzz;
  WriteWorkFile("default.ton", data, size);
  Run run(static_cast<uint32_t>(size));
  ComposeAndCheck(run, static_cast<int>(size % 4));
  RestoreDefaults();
  return 0;
}
