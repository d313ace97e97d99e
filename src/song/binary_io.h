// Little-endian field-by-field encoding and decoding of the program's binary files.
//
// All files are fixed concatenations of raw blocks.  A file that is shorter than its layout is
// read as far as it goes: a field past the end keeps its previous value, and an integer cut in
// the middle only has its low bytes (the ones present) replaced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "song/file_io.h"  // the files these images are read from and written to

namespace vema {

// Reads fields from a byte buffer in file order.  Never reads outside the buffer.
class FieldReader {
 public:
  explicit FieldReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  void Skip(size_t count) { offset_ += count; }
  void Byte(uint8_t& value);
  void Int32(int32_t& value);
  // Little-endian integers; on a little-endian host those present whole are copied at once.
  void Int32s(std::span<int32_t> values);
  // The same, assembled byte by byte: the way of big-endian hosts (and the reference for tests).
  void Int32sByBytes(std::span<int32_t> values);
  void Chars(std::span<char> values);
  size_t offset() const { return offset_; }
  bool exhausted() const { return offset_ >= bytes_.size(); }

 private:
  size_t WholeFieldsLeft(size_t fieldBytes) const;

  std::span<const uint8_t> bytes_;
  size_t offset_ = 0;
};

// Appends fields to a byte vector in file order.
class FieldWriter {
 public:
  void Byte(uint8_t value) { bytes_.push_back(value); }
  void Int32(int32_t value);
  void Int32s(std::span<const int32_t> values);
  void Chars(std::span<const char> values);
  void Zeros(size_t count) { bytes_.insert(bytes_.end(), count, 0); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace vema
