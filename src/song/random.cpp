#include "song/random.h"

#include <ctime>

#include "song/platform.h"

namespace vema {

namespace {
constexpr double kScale = 3.0517578125e-05;  // 1 / 32768
}

int32_t RandomSource::NextInteger() {
  state_ = state_ * 214013u + 2531011u;
  return static_cast<int32_t>((state_ >> 16) & 0x7FFFu);
}

void RandomSource::Fill() {
  filledWith_ = fixedSeed_ ? *fixedSeed_ : static_cast<uint32_t>(std::time(nullptr));
  SeedIntegerGenerator(*filledWith_);
  for (double& slot : table_) slot = NextInteger() * kScale;
  needsFill_ = false;
}

double RandomSource::NextUniform() {
  if (needsFill_) Fill();
  const auto i = static_cast<int32_t>(table_[static_cast<size_t>(lastSlot_)] * 200.0);
  const double value = table_[static_cast<size_t>(i)];
  table_[static_cast<size_t>(i)] = NextInteger() * kScale;
  lastSlot_ = i;
  return value;
}

RandomSource::State RandomSource::Save() const {
  State s;
  for (size_t i = 0; i < table_.size(); ++i) {
    s.table[i] = static_cast<uint16_t>(table_[i] * 32768.0);
  }
  s.integer = state_;
  s.lastSlot = lastSlot_;
  s.filled = !needsFill_;
  s.seed = fixedSeed_;
  s.filledWith = filledWith_;
  return s;
}

bool RandomSource::Load(const State& s) {
  if (s.lastSlot < 0 || s.lastSlot >= static_cast<int32_t>(table_.size())) return false;
  for (uint16_t k : s.table) {
    if (k > 32767) return false;
  }
  for (size_t i = 0; i < table_.size(); ++i) table_[i] = s.table[i] * kScale;
  state_ = s.integer;
  lastSlot_ = s.lastSlot;
  needsFill_ = !s.filled;
  fixedSeed_ = s.seed;
  filledWith_ = s.filledWith;
  return true;
}

int32_t RandomSource::RandomInRange(int32_t low, int32_t high) {
  const double r = NextUniform();
  const auto n = static_cast<int64_t>(r * 32767.0);
  int64_t span = static_cast<int64_t>(high) + 1 - low;
  if (span <= 0) {
    if (platform_ != nullptr) platform_->ShowMessage("Random max error", MessageIcon::kPlain);
    span = 1;
  }
  return static_cast<int32_t>(low + n % span);
}

}  // namespace vema
