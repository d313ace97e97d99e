// Where a rendered song goes: 16-bit stereo samples wrapped as a WAV file, written into a file
// (replaced whole once complete) or into an open stream such as the standard output.  This is
// the one place that knows where the samples of a rendering end up.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "song/file_io.h"

namespace vema {

inline constexpr size_t kWavHeaderBytes = 44;

// The header of a 16-bit stereo PCM WAV file of so many frames (sizes capped at 4 GiB).
std::vector<uint8_t> WavHeader(uint64_t frames, uint32_t rate);

class WavSink {
 public:
  virtual ~WavSink() = default;
  // Appends samples: interleaved left and right, 16-bit little-endian.
  virtual bool Write(std::span<const uint8_t> samples) = 0;
  // Completes the WAV of so many frames at this rate.
  virtual bool Finish(uint64_t frames, uint32_t rate) = 0;
  // The message for a failed step ("File could not created! NAME").
  virtual std::string Failure() const = 0;
};

// A WAV file: the samples go into a fresh file beside it that replaces it only when Finish
// succeeds; until then, and after any failure, the old file stays as it was.
class WavFile : public WavSink {
 public:
  explicit WavFile(const std::filesystem::path& path);
  bool Write(std::span<const uint8_t> samples) override;
  bool Finish(uint64_t frames, uint32_t rate) override;
  std::string Failure() const override;

 private:
  bool Flush();

  std::string name_;
  FileReplacement file_;
  std::vector<uint8_t> buffer_;
  bool ok_;
};

// A WAV written into an open file descriptor that may not seek (a pipe): the samples are kept
// until Finish, which writes the header with the true sizes and then the samples.
class WavStream : public WavSink {
 public:
  // name: what the messages call the stream (e.g. "-").
  WavStream(int fd, std::string name);
  bool Write(std::span<const uint8_t> samples) override;
  bool Finish(uint64_t frames, uint32_t rate) override;
  std::string Failure() const override;

 private:
  int fd_;
  std::string name_;
  std::vector<uint8_t> samples_;
};

}  // namespace vema
