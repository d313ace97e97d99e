// Little-endian field-by-field encoding and decoding of the program's binary files.
//
// All files are fixed concatenations of raw blocks.  A file that is shorter than its layout is
// read as far as it goes: a field past the end keeps its previous value, and an integer cut in
// the middle only has its low bytes (the ones present) replaced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "song/file_io.h"  // the files these images are read from and written to

namespace vema {

// Reads fields in file order from a byte buffer, or straight from a file into the fields'
// storage (no buffer in between).  Never reads outside the buffer or the file.
class FieldReader {
 public:
  explicit FieldReader(std::span<const uint8_t> bytes) : bytes_(bytes), size_(bytes.size()) {}
  explicit FieldReader(const ReadableFile& file) : file_(&file), size_(file.size()) {}

  void Skip(size_t count) { offset_ += count; }
  void Byte(uint8_t& value);
  void Int32(int32_t& value);
  // Little-endian integers; on a little-endian host they are read in place, at once.
  void Int32s(std::span<int32_t> values);
  // The same, assembled byte by byte: the way of big-endian hosts (and the reference for tests).
  void Int32sByBytes(std::span<int32_t> values);
  // Records made only of 32-bit integer fields, in the order of the file's fields (a record of
  // three fields is twelve bytes of the file).
  template <typename Record>
  void Int32Records(std::span<Record> records) {
    static_assert(std::is_trivially_copyable_v<Record> &&
                      std::has_unique_object_representations_v<Record> &&
                      sizeof(Record) % sizeof(int32_t) == 0,
                  "a record of 32-bit integer fields without padding");
    Int32Words(std::as_writable_bytes(records));
  }
  void Chars(std::span<char> values);
  size_t offset() const { return offset_; }
  bool exhausted() const { return offset_ >= size_; }
  // True after a file could not be read (the fields read before keep what they got).
  bool failed() const { return failed_; }

 private:
  // Copies the bytes at the offset into the storage as far as there are any, and moves on by
  // the whole size: the count copied.
  size_t Fetch(std::span<uint8_t> into);
  void Int32Words(std::span<std::byte> storage);

  std::span<const uint8_t> bytes_;
  const ReadableFile* file_ = nullptr;
  uint64_t size_;
  size_t offset_ = 0;
  bool failed_ = false;
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

// Far larger than any valid file of a fixed layout of so many bytes: a file above this size is
// refused (TooLargeMessage) rather than read as far as its layout goes.
constexpr uint64_t FarLargerThan(uint64_t layoutBytes) {
  constexpr uint64_t kMegabyte = 1 << 20;
  return layoutBytes * 4 > kMegabyte ? layoutBytes * 4 : kMegabyte;
}

}  // namespace vema
