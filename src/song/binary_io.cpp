#include "song/binary_io.h"

#include <algorithm>
#include <bit>

namespace vema {

size_t FieldReader::Fetch(std::span<uint8_t> into) {
  const size_t at = offset_;
  offset_ += into.size();
  if (at >= size_ || into.empty()) return 0;
  const size_t count = static_cast<size_t>(std::min<uint64_t>(into.size(), size_ - at));
  if (file_ == nullptr) {
    std::memcpy(into.data(), bytes_.data() + at, count);
    return count;
  }
  const ptrdiff_t got = file_->ReadAt(at, into.first(count));
  if (got < 0) {
    failed_ = true;
    return 0;
  }
  return static_cast<size_t>(got);
}

void FieldReader::Byte(uint8_t& value) { Fetch(std::span(&value, 1)); }

void FieldReader::Int32(int32_t& value) {
  uint8_t bytes[4];
  const size_t present = Fetch(bytes);
  uint32_t bits = static_cast<uint32_t>(value);
  for (size_t i = 0; i < present; ++i) {
    bits &= ~(0xFFu << (8 * i));
    bits |= static_cast<uint32_t>(bytes[i]) << (8 * i);
  }
  value = static_cast<int32_t>(bits);
}

void FieldReader::Int32Words(std::span<std::byte> storage) {
  if constexpr (std::endian::native == std::endian::little) {
    // The file's byte order is the host's: read in place.  An integer cut by the end of the file
    // gets its low bytes, which come first.
    Fetch(std::span(reinterpret_cast<uint8_t*>(storage.data()), storage.size()));
  } else {
    for (size_t at = 0; at + 4 <= storage.size(); at += 4) {
      int32_t value;
      std::memcpy(&value, storage.data() + at, 4);
      Int32(value);
      std::memcpy(storage.data() + at, &value, 4);
    }
  }
}

void FieldReader::Int32s(std::span<int32_t> values) { Int32Words(std::as_writable_bytes(values)); }

void FieldReader::Int32sByBytes(std::span<int32_t> values) {
  for (int32_t& v : values) Int32(v);
}

void FieldReader::Chars(std::span<char> values) {
  Fetch(std::span(reinterpret_cast<uint8_t*>(values.data()), values.size()));
}

void FieldWriter::Int32(int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

void FieldWriter::Int32s(std::span<const int32_t> values) {
  for (int32_t v : values) Int32(v);
}

void FieldWriter::Chars(std::span<const char> values) {
  for (char c : values) bytes_.push_back(static_cast<uint8_t>(c));
}

}  // namespace vema
