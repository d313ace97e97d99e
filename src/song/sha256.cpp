#include "song/sha256.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace vema {

namespace {

constexpr std::array<uint32_t, 64> kRound = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
    0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
    0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
    0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
    0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
    0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
    0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
    0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
    0xc67178f2};

uint32_t Rotate(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

#if defined(__x86_64__)
bool HasShaInstructions() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d) == 0) return false;
  const bool sse41 = (c & bit_SSE4_1) != 0, ssse3 = (c & bit_SSSE3) != 0;
  if (__get_cpuid_count(7, 0, &a, &b, &c, &d) == 0) return false;
  return sse41 && ssse3 && (b & (1u << 29)) != 0;
}

// The rounds with the SHA instructions: the state as ABEF and CDGH, four rounds a step, the
// message schedule in four registers that take turns.
__attribute__((target("sha,sse4.1,ssse3"))) void ShaBlocks(uint32_t* h, const uint8_t* data,
                                                           size_t count) {
  const __m128i mask = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
  __m128i tmp = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h)), 0xB1);
  __m128i state1 = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h + 4)), 0x1B);
  __m128i state0 = _mm_alignr_epi8(tmp, state1, 8);
  state1 = _mm_blend_epi16(state1, tmp, 0xF0);
  for (; count > 0; --count, data += 64) {
    const __m128i abef = state0, cdgh = state1;
    __m128i m[4];
    for (int j = 0; j < 16; ++j) {
      if (j < 4) {
        m[j] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * j)),
                                mask);
      }
      __m128i msg = _mm_add_epi32(
          m[j & 3], _mm_loadu_si128(reinterpret_cast<const __m128i*>(&kRound[static_cast<size_t>(4 * j)])));
      state1 = _mm_sha256rnds2_epu32(state1, state0, msg);
      if (j >= 3 && j <= 14) {
        __m128i& next = m[(j + 1) & 3];
        next = _mm_add_epi32(next, _mm_alignr_epi8(m[j & 3], m[(j - 1) & 3], 4));
        next = _mm_sha256msg2_epu32(next, m[j & 3]);
      }
      msg = _mm_shuffle_epi32(msg, 0x0E);
      state0 = _mm_sha256rnds2_epu32(state0, state1, msg);
      if (j >= 1 && j <= 12) m[(j - 1) & 3] = _mm_sha256msg1_epu32(m[(j - 1) & 3], m[j & 3]);
    }
    state0 = _mm_add_epi32(state0, abef);
    state1 = _mm_add_epi32(state1, cdgh);
  }
  tmp = _mm_shuffle_epi32(state0, 0x1B);
  state1 = _mm_shuffle_epi32(state1, 0xB1);
  state0 = _mm_blend_epi16(tmp, state1, 0xF0);
  state1 = _mm_alignr_epi8(state1, tmp, 8);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(h), state0);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(h + 4), state1);
}
#endif

}  // namespace

Sha256::Sha256(bool mayAccelerate)
    : h_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab,
         0x5be0cd19} {
#if defined(__x86_64__)
  static const bool kHasSha = HasShaInstructions();
  accelerated_ = mayAccelerate && kHasSha;
#else
  (void)mayAccelerate;
#endif
}

void Sha256::Blocks(const uint8_t* data, size_t count) {
#if defined(__x86_64__)
  if (accelerated_) {
    ShaBlocks(h_.data(), data, count);
    return;
  }
#endif
  for (size_t i = 0; i < count; ++i) Block(data + 64 * i);
}

void Sha256::Block(const uint8_t* block) {
  std::array<uint32_t, 64> w;
  for (size_t i = 0; i < 16; ++i) {
    w[i] = static_cast<uint32_t>(block[4 * i]) << 24 | static_cast<uint32_t>(block[4 * i + 1]) << 16 |
           static_cast<uint32_t>(block[4 * i + 2]) << 8 | block[4 * i + 3];
  }
  for (size_t i = 16; i < 64; ++i) {
    const uint32_t s0 = Rotate(w[i - 15], 7) ^ Rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const uint32_t s1 = Rotate(w[i - 2], 17) ^ Rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4], f = h_[5], g = h_[6], h = h_[7];
  for (size_t i = 0; i < 64; ++i) {
    const uint32_t t1 = h + (Rotate(e, 6) ^ Rotate(e, 11) ^ Rotate(e, 25)) + ((e & f) ^ (~e & g)) +
                        kRound[i] + w[i];
    const uint32_t t2 = (Rotate(a, 2) ^ Rotate(a, 13) ^ Rotate(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  h_[0] += a;
  h_[1] += b;
  h_[2] += c;
  h_[3] += d;
  h_[4] += e;
  h_[5] += f;
  h_[6] += g;
  h_[7] += h;
}

void Sha256::Add(std::span<const uint8_t> bytes) {
  length_ += bytes.size();
  size_t i = 0;
  if (buffered_ > 0) {
    const size_t take = std::min(bytes.size(), buffer_.size() - buffered_);
    std::memcpy(buffer_.data() + buffered_, bytes.data(), take);
    buffered_ += take;
    i = take;
    if (buffered_ < buffer_.size()) return;
    Blocks(buffer_.data(), 1);
    buffered_ = 0;
  }
  const size_t whole = (bytes.size() - i) / 64;
  Blocks(bytes.data() + i, whole);
  i += whole * 64;
  buffered_ = bytes.size() - i;
  if (buffered_ > 0) std::memcpy(buffer_.data(), bytes.data() + i, buffered_);
}

std::array<uint8_t, 32> Sha256::Finish() {
  const uint64_t bits = length_ * 8;
  std::array<uint8_t, 72> tail{};
  tail[0] = 0x80;
  const size_t pad = (buffered_ < 56 ? 56 : 120) - buffered_;
  for (int i = 0; i < 8; ++i) tail[pad + static_cast<size_t>(i)] = static_cast<uint8_t>(bits >> (56 - 8 * i));
  Add({tail.data(), pad + 8});
  std::array<uint8_t, 32> digest;
  for (size_t i = 0; i < 8; ++i) {
    for (size_t j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<uint8_t>(h_[i] >> (24 - 8 * j));
  }
  return digest;
}

std::string Sha256Hex(std::span<const uint8_t> bytes) {
  Sha256 sha;
  sha.Add(bytes);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (uint8_t b : sha.Finish()) {
    text += kHex[b >> 4];
    text += kHex[b & 15];
  }
  return text;
}

}  // namespace vema
