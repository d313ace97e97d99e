#include "song/wav_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace vema {
namespace {

// Samples are handed to the file in pieces of this size (fewer system calls).
constexpr size_t kFileChunkBytes = 256 << 10;
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFu - 36;

}  // namespace

std::vector<uint8_t> WavHeader(uint64_t frames, uint32_t rate) {
  const auto dataBytes = static_cast<uint32_t>(std::min(frames * 4, kMaxDataBytes));
  std::vector<uint8_t> header;
  header.reserve(kWavHeaderBytes);
  const auto add = [&header](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) header.push_back(static_cast<uint8_t>(value >> (8 * i)));
  };
  const auto tag = [&header](const char* text) { header.insert(header.end(), text, text + 4); };
  tag("RIFF");
  add(36 + dataBytes, 4);
  tag("WAVE");
  tag("fmt ");
  add(16, 4);
  add(1, 2);  // PCM
  add(2, 2);  // channels
  add(rate, 4);
  add(rate * 4, 4);  // bytes a second
  add(4, 2);         // bytes a frame
  add(16, 2);        // bits a sample
  tag("data");
  add(dataBytes, 4);
  return header;
}

WavFile::WavFile(const std::filesystem::path& path)
    : name_(path.string()), file_(path), ok_(file_.ok()) {
  buffer_.reserve(kFileChunkBytes);
  buffer_.resize(kWavHeaderBytes);  // the header is written last, when the sizes are known
}

bool WavFile::Flush() {
  ok_ = ok_ && file_.Write(buffer_);
  buffer_.clear();
  return ok_;
}

bool WavFile::Write(std::span<const uint8_t> samples) {
  if (!ok_) return false;
  while (!samples.empty()) {
    const size_t n = std::min(samples.size(), kFileChunkBytes - buffer_.size());
    buffer_.insert(buffer_.end(), samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(n));
    samples = samples.subspan(n);
    if (buffer_.size() == kFileChunkBytes && !Flush()) return false;
  }
  return true;
}

bool WavFile::Finish(uint64_t frames, uint32_t rate) {
  ok_ = Flush() && file_.WriteAt(0, WavHeader(frames, rate)) && file_.Commit();
  return ok_;
}

std::string WavFile::Failure() const { return "File could not created! " + name_; }

WavStream::WavStream(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}

bool WavStream::Write(std::span<const uint8_t> samples) {
  samples_.insert(samples_.end(), samples.begin(), samples.end());
  return true;
}

bool WavStream::Finish(uint64_t frames, uint32_t rate) {
  return WriteAll(fd_, WavHeader(frames, rate)) && WriteAll(fd_, samples_);
}

std::string WavStream::Failure() const { return "File could not created! " + name_; }

}  // namespace vema
