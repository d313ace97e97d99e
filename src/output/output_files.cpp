#include "output/output_files.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "output/midi_writer.h"
#include "song/file_io.h"
#include "song/text.h"

namespace vema {

bool WriteOutputFile(const WriterContext& context, const std::string& name,
                     std::span<const uint8_t> bytes) {
  const std::string path = context.PathOf(name);
  if (context.files != nullptr) return context.files->Add(path, bytes);
  if (WriteFileAtomically(path, bytes)) return true;
  context.platform.ShowMessage(kFileNotCreatedMessage, MessageIcon::kStop);
  return false;
}

bool WriteOutputFile(const WriterContext& context, const std::string& name, std::string_view bytes) {
  return WriteOutputFile(
      context, name,
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

namespace {

// The high bit of the first of eight bytes (in memory order, on a little-endian host) that is
// not ASCII or is a line feed, and maybe of later ones; 0 when there is none.
uint64_t NonAsciiOrFeed(uint64_t word) {
  constexpr uint64_t kOnes = 0x0101010101010101ULL;
  constexpr uint64_t kHighBits = 0x8080808080808080ULL;
  const uint64_t feeds = word ^ (kOnes * '\n');  // a zero byte where a line feed was
  return (word | ((feeds - kOnes) & ~feeds)) & kHighBits;
}

}  // namespace

std::string ToCp932TextFile(std::string_view utf8) {
  // CR LF adds a byte to a line feed; a character of two or more UTF-8 bytes has at most two
  // in CP932 ("?" for one without a form), so the text never grows beyond twice its size.
  const auto buffer = std::make_unique_for_overwrite<char[]>(2 * utf8.size() + 1);
  char* out = buffer.get();
  Cp932Encoder encoder;
  const size_t size = utf8.size();
  size_t i = 0;
  while (i < size) {
    // ASCII is the same in CP932: the bytes up to the next line feed or non-ASCII byte are
    // copied eight at a time.
    if (std::endian::native == std::endian::little && i + 8 <= size) {
      uint64_t word;
      std::memcpy(&word, utf8.data() + i, 8);
      const uint64_t special = NonAsciiOrFeed(word);
      const size_t plain = special == 0 ? 8 : static_cast<size_t>(std::countr_zero(special)) / 8;
      std::memcpy(out, &word, 8);  // room: the text so far took at most two bytes each
      out += plain;
      i += plain;
      if (plain == 8) continue;
    }
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      if (c == '\n') *out++ = '\r';
      *out++ = static_cast<char>(c);
      ++i;
      continue;
    }
    // A character; a sequence cut short ends where the non-ASCII bytes end.
    const size_t n = Utf8SequenceLength(c);
    size_t k = 1;
    while (k < n && i + k < size && static_cast<unsigned char>(utf8[i + k]) >= 0x80) ++k;
    // Room for three bytes: the text so far took at most two bytes each, and one is left.
    out = encoder.Write(utf8.substr(i, k), out);
    i += k;
  }
  return std::string(buffer.get(), out);
}

}  // namespace vema
