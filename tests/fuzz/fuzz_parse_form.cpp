// Parser only: one stored form record of arbitrary bytes.  Read and written again it gives the
// same bytes; its accessors stay inside the form.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "song/binary_io.h"
#include "song/form.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vema;
  SongForm form{};
  FieldReader in({data, size});
  DecodeForm(in, form);
  FieldWriter out;
  EncodeForm(form, out);
  const size_t compared = std::min(size, kFormRecordBytes);
  if (out.bytes().size() != kFormRecordBytes ||
      (compared > 0 && std::memcmp(out.bytes().data(), data, compared) != 0)) {
    std::fprintf(stderr, "form record of %zu bytes not written back as read\n", size);
    std::abort();
  }
  if (form.PeriodCount() < 1 || form.PeriodCount() > kMaxPeriods) std::abort();
  for (int bar = 0; bar < kMaxBars; ++bar) {
    if (form.Chord(bar).size() > static_cast<size_t>(kChordBytes)) std::abort();
  }
  return 0;
}
