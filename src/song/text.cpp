#include "song/text.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <vector>

namespace vema {
namespace {

// An iconv converter, opened at its first use (most texts are ASCII and never need one).
class Converter {
 public:
  Converter(const char* to, const char* from) : to_(to), from_(from) {}
  ~Converter() {
    if (opened_ && cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts one whole character; false when it has no form in the target.
  bool ConvertOne(std::string_view in, std::string& out) {
    if (!opened_) {
      cd_ = iconv_open(to_, from_);
      opened_ = true;
    }
    if (cd_ == reinterpret_cast<iconv_t>(-1)) return false;
    char buffer[16];
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    char* dst = buffer;
    size_t dst_left = sizeof buffer;
    if (iconv(cd_, &src, &src_left, &dst, &dst_left) == static_cast<size_t>(-1) || src_left != 0) {
      return false;
    }
    out.append(buffer, static_cast<size_t>(dst - buffer));
    return true;
  }

 private:
  const char* to_;
  const char* from_;
  bool opened_ = false;
  iconv_t cd_ = reinterpret_cast<iconv_t>(-1);
};

// Length of the CP932 character that starts with byte b.
size_t Cp932SequenceLength(unsigned char b) {
  if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) return 2;
  return 1;
}

}  // namespace

struct Cp932Encoder::State {
  Converter converter{"CP932", "UTF-8"};
  Slot spare;  // a character converted when its slots are taken (a text of many kinds)
};

Cp932Encoder::Cp932Encoder() = default;
Cp932Encoder::~Cp932Encoder() = default;

std::string_view Cp932Encoder::ConvertNew(std::string_view character, uint32_t key) {
  if (!state_) {
    state_ = std::make_unique<State>();
    slots_.resize(kSlotCount);
  }
  // Open addressing: a character lies in its slot or in one of the next few.
  Slot* slot = &state_->spare;
  for (size_t probe = 0; probe < kProbes; ++probe) {
    Slot& candidate = slots_[(Home(key) + probe) % kSlotCount];
    if (candidate.key == key) return {candidate.bytes, candidate.size};
    if (candidate.key == 0) {
      slot = &candidate;
      break;
    }
  }
  std::string converted;
  // A stand-in for a CP932 byte that was kept undecoded goes back to that byte.
  const uint32_t code = character.size() == 3
                            ? ((key >> 16 & 0x0F) << 12) | ((key >> 8 & 0x3F) << 6) | (key & 0x3F)
                            : 0;
  const bool kept = (key >> 16) == 0xEF && (key >> 8 & 0xC0) == 0x80 && (key & 0xC0) == 0x80 &&
                    code >= kKeptByteBase + 0x80 && code <= kKeptByteBase + 0xFF;
  if (kept) converted = std::string(1, static_cast<char>(code - kKeptByteBase));
  const bool known =
      kept || (state_->converter.ConvertOne(character, converted) &&
               converted.size() <= sizeof slot->bytes);
  const std::string_view form = known ? std::string_view(converted) : std::string_view("?");
  slot->key = key;
  slot->size = static_cast<uint8_t>(form.size());
  std::copy(form.begin(), form.end(), slot->bytes);
  return {slot->bytes, slot->size};
}

std::string Utf8ToCp932(std::string_view utf8, size_t max_bytes) {
  Cp932Encoder encoder;
  std::string out;
  out.reserve(std::min(utf8.size(), max_bytes));
  size_t i = 0;
  while (i < utf8.size()) {
    // Runs of ASCII are the same bytes in both encodings.
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      if (out.size() + 1 > max_bytes) break;
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    const size_t n = std::min(Utf8SequenceLength(c), utf8.size() - i);
    const std::string_view converted = encoder.Convert(utf8.substr(i, n));
    if (out.size() + converted.size() > max_bytes) break;
    out += converted;
    i += n;
  }
  return out;
}

std::string Cp932ToUtf8(std::string_view cp932, Undecodable undecodable) {
  Converter converter("UTF-8", "CP932");
  std::string out;
  size_t i = 0;
  out.reserve(cp932.size());
  while (i < cp932.size()) {
    if (static_cast<unsigned char>(cp932[i]) < 0x80) {  // ASCII is the same in both
      out += cp932[i++];
      continue;
    }
    size_t n = Cp932SequenceLength(static_cast<unsigned char>(cp932[i]));
    if (i + n > cp932.size()) n = 1;
    if (!converter.ConvertOne(cp932.substr(i, n), out)) {
      const auto byte = static_cast<unsigned char>(cp932[i]);
      switch (undecodable) {
        case Undecodable::kQuestionMark: out += '?'; break;
        case Undecodable::kReplacement: out += "\xEF\xBF\xBD"; break;
        case Undecodable::kKeepByte: {
          // U+F780..U+F7FF: EF 9E 80..BF, EF 9F 80..BF.
          const uint32_t code = kKeptByteBase + byte;
          out += static_cast<char>(0xE0 | (code >> 12));
          out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
          out += static_cast<char>(0x80 | (code & 0x3F));
          break;
        }
      }
      n = 1;
    }
    i += n;
  }
  return out;
}

std::string CutUtf8ToCp932Bytes(std::string_view utf8, size_t max_bytes) {
  Converter converter("CP932", "UTF-8");
  size_t bytes = 0;
  size_t i = 0;
  while (i < utf8.size()) {
    size_t n = Utf8SequenceLength(static_cast<unsigned char>(utf8[i]));
    if (i + n > utf8.size()) n = utf8.size() - i;
    std::string piece;
    const bool ascii = static_cast<unsigned char>(utf8[i]) < 0x80;
    const size_t width =
        ascii || !converter.ConvertOne(utf8.substr(i, n), piece) ? 1 : piece.size();
    if (bytes + width > max_bytes) break;
    bytes += width;
    i += n;
  }
  return std::string(utf8.substr(0, i));
}

std::string_view FirstLine(std::string_view text) {
  const size_t end = text.find_first_of("\r\n");
  return end == std::string_view::npos ? text : text.substr(0, end);
}

}  // namespace vema
