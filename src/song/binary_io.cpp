#include "song/binary_io.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace vema {

void FieldReader::Byte(uint8_t& value) {
  if (offset_ < bytes_.size()) value = bytes_[offset_];
  offset_ += 1;
}

void FieldReader::Int32(int32_t& value) {
  uint32_t bits = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) {
    const size_t at = offset_ + static_cast<size_t>(i);
    if (at >= bytes_.size()) break;
    bits &= ~(0xFFu << (8 * i));
    bits |= static_cast<uint32_t>(bytes_[at]) << (8 * i);
  }
  value = static_cast<int32_t>(bits);
  offset_ += 4;
}

size_t FieldReader::WholeFieldsLeft(size_t fieldBytes) const {
  return offset_ < bytes_.size() ? (bytes_.size() - offset_) / fieldBytes : 0;
}

void FieldReader::Int32s(std::span<int32_t> values) {
  if constexpr (std::endian::native != std::endian::little) {
    Int32sByBytes(values);
    return;
  }
  // The file's byte order is the host's: the integers present whole are copied at once.
  const size_t whole = std::min(values.size(), WholeFieldsLeft(4));
  if (whole > 0) std::memcpy(values.data(), bytes_.data() + offset_, whole * 4);
  offset_ += whole * 4;
  Int32sByBytes(values.subspan(whole));
}

void FieldReader::Int32sByBytes(std::span<int32_t> values) {
  for (int32_t& v : values) Int32(v);
}

void FieldReader::Chars(std::span<char> values) {
  const size_t whole = std::min(values.size(), WholeFieldsLeft(1));
  if (whole > 0) std::memcpy(values.data(), bytes_.data() + offset_, whole);
  offset_ += values.size();
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
