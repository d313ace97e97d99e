// Conversions between the UTF-8 text kept in memory and the CP932 bytes of files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vema {

// UTF-8 to CP932.  A character without a CP932 form becomes "?"; the result is cut at
// max_bytes without splitting a double-byte character.
std::string Utf8ToCp932(std::string_view utf8, size_t max_bytes = std::string::npos);

// Length of the UTF-8 sequence that starts with byte b (1 for ASCII and for a stray byte).
inline size_t Utf8SequenceLength(unsigned char b) {
  if ((b & 0xE0) == 0xC0) return 2;
  if ((b & 0xF0) == 0xE0) return 3;
  if ((b & 0xF8) == 0xF0) return 4;
  return 1;
}

// The CP932 form of single characters, for texts converted piece by piece: one converter, and
// each distinct character converted once.
class Cp932Encoder {
 public:
  Cp932Encoder();
  ~Cp932Encoder();
  Cp932Encoder(const Cp932Encoder&) = delete;
  Cp932Encoder& operator=(const Cp932Encoder&) = delete;

  // character: one UTF-8 sequence (or a piece of one, or a stray byte) of 1 to 4 bytes of 0x80
  // and above; its CP932 form, "?" when it has none.  Valid until the next call.
  std::string_view Convert(std::string_view character) {
    // Those bytes make different characters different numbers, and never 0.
    uint32_t key = 0;
    for (char c : character) key = (key << 8) | static_cast<unsigned char>(c);
    if (!slots_.empty()) {
      const Slot& slot = slots_[Home(key)];
      if (slot.key == key) return {slot.bytes, slot.size};
    }
    return ConvertNew(character, key);
  }
  // The same form written to out, which has room for three bytes; returns the end of the form.
  char* Write(std::string_view character, char* out) {
    const std::string_view form = Convert(character);
    char bytes[3];
    std::memcpy(bytes, form.data(), 3);  // a form lies in a slot of three bytes
    std::memcpy(out, bytes, 3);
    return out + form.size();
  }

 private:
  struct Slot {
    uint32_t key = 0;  // 0: empty
    uint8_t size = 0;
    char bytes[3] = {};
  };
  static constexpr int kSlotBits = 10;
  static constexpr size_t kSlotCount = size_t{1} << kSlotBits;
  static constexpr size_t kProbes = 8;
  static size_t Home(uint32_t key) { return (key * 0x9E3779B1u) >> (32 - kSlotBits); }
  std::string_view ConvertNew(std::string_view character, uint32_t key);

  struct State;
  std::unique_ptr<State> state_;  // made at the first character
  std::vector<Slot> slots_;       // the characters met
};

// What CP932 to UTF-8 makes of a byte that starts no valid CP932 character (0x80, 0xA0,
// 0xFD..0xFF, a lead byte without its trail byte): "?"; U+FFFD, the replacement character (for
// messages); or a stand-in character, U+F700 + the byte, that the conversions back to CP932
// (Utf8ToCp932, Cp932Encoder) turn into the byte itself, for text that goes back into a CP932
// file unchanged (the trace).  No CP932 character is decoded into U+F780..U+F7FF.
enum class Undecodable { kQuestionMark, kReplacement, kKeepByte };
inline constexpr uint32_t kKeptByteBase = 0xF700;

// CP932 to UTF-8.
std::string Cp932ToUtf8(std::string_view cp932, Undecodable undecodable = Undecodable::kQuestionMark);

// The longest prefix of a UTF-8 text whose CP932 form has at most max_bytes bytes.
std::string CutUtf8ToCp932Bytes(std::string_view utf8, size_t max_bytes);

// The first line of a text (up to the first CR or LF).
std::string_view FirstLine(std::string_view text);

}  // namespace vema
