#include "song/binary_io.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <system_error>

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

std::optional<std::vector<uint8_t>> ReadFileBytes(const std::filesystem::path& path,
                                                  size_t max_bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<uint8_t> bytes(max_bytes);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(max_bytes));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

bool WriteFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
  std::filesystem::path temp = path;
  temp += ".tmp";
  {
    std::FILE* file = std::fopen(temp.string().c_str(), "wb");
    if (file == nullptr) return false;
    const size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), file);
    const bool flushed = std::fflush(file) == 0;
    const bool closed = std::fclose(file) == 0;
    if (written != bytes.size() || !flushed || !closed) {
      std::error_code ignored;
      std::filesystem::remove(temp, ignored);
      return false;
    }
  }
  std::error_code error;
  std::filesystem::rename(temp, path, error);
  if (error) {
    std::filesystem::remove(temp, error);
    return false;
  }
  return true;
}

}  // namespace vema
