// Parser only: form stores judged as start-up judges them.  A store is whole only at its full
// size with a count in 0..200; a damaged one keeps only the forms it holds whole.  The first
// three bytes of the input give the store's length (up to a little more than the full size), the
// rest its first bytes (the count and the names); what lies past them is zero.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "harness.h"
#include "editors/custom_form_store.h"
#include "song/text.h"

using vema::fuzz::Fail;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vema;
  static CustomFormTable table;  // large: made once, reset by every input
  table.count = 0;
  std::fill(table.names.begin(), table.names.end(), std::string());
  if (size < 3) return 0;
  const size_t length = (data[0] | data[1] << 8 | data[2] << 16) % (kCustomFormFileBytes + 1024);
  static std::vector<uint8_t> file(kCustomFormFileBytes + 1024);
  const size_t head = std::min(length, size - 3);
  if (head > 0) std::memcpy(file.data(), data + 3, head);
  std::memset(file.data() + head, 0, length - head);
  size = length;
  const CustomFormFileState state = DecodeCustomFormFile({file.data(), length}, table);
  constexpr size_t kRecordsStart = 4 + kNameBytes * kMaxCustomForms;
  const size_t whole = size < kRecordsStart ? 0 : (size - kRecordsStart) / kFormRecordBytes;
  if (size == 0) {
    if (state != CustomFormFileState::kEmpty || table.count != 0) Fail("empty store", size);
    return 0;
  }
  if (table.count < 0 || table.count > kMaxCustomForms) Fail("count outside 0..200", size);
  if (state == CustomFormFileState::kRead && size < kCustomFormFileBytes) Fail("short store read", size);
  if (state == CustomFormFileState::kDamaged && static_cast<size_t>(table.count) > whole) {
    Fail("a form counted that is not in the file", size);
  }
  if (state != CustomFormFileState::kRead && state != CustomFormFileState::kDamaged) {
    Fail("no judgement", size);
  }
  // Every counted name is text that fits its field again.
  for (int i = 0; i < table.Count(); ++i) {
    const std::string& name = table.names[static_cast<size_t>(i)];
    if (!name.empty() && Utf8ToCp932(name).size() > kNameBytes - 1) Fail("name too long", size);
  }
  return 0;
}
