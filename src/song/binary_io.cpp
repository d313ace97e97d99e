#include "song/binary_io.h"

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

void FieldReader::Int32s(std::span<int32_t> values) {
  for (size_t i = 0; i < values.size(); ++i) {
    if (exhausted()) {  // the rest keep their values
      offset_ += 4 * (values.size() - i);
      return;
    }
    Int32(values[i]);
  }
}

void FieldReader::Chars(std::span<char> values) {
  for (char& c : values) {
    if (offset_ < bytes_.size()) c = static_cast<char>(bytes_[offset_]);
    offset_ += 1;
  }
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
