// The first/last-byte vector filter. Blocks are loaded only where the whole
// block, shifted by the needle's length, lies inside the text; the rest is
// searched byte by byte.
#include "regex/SubstringFinder.h"

#include <immintrin.h>

#include <cstring>

namespace hollowmere::regex {

TSubstringFinder::TSubstringFinder(std::string needle, int vectorWidth) : needle_(std::move(needle)) {
  avx2_ = vectorWidth >= 32 && __builtin_cpu_supports("avx2") != 0;
}

std::size_t TSubstringFinder::Find(const unsigned char* text, std::size_t size, std::size_t from) const {
  const std::size_t n = needle_.size();
  if (n == 0) return from <= size ? from : npos;
  if (from >= size || size - from < n) return npos;
  if (n == 1) {
    const void* hit = std::memchr(text + from, static_cast<unsigned char>(needle_[0]), size - from);
    return hit == nullptr ? npos : static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - text);
  }
  return avx2_ ? FindAvx2(text, size, from) : FindSse2(text, size, from);
}

std::size_t TSubstringFinder::FindScalar(const unsigned char* text, std::size_t size, std::size_t from) const {
  const std::size_t n = needle_.size();
  const auto first = static_cast<unsigned char>(needle_[0]);
  for (std::size_t i = from; i + n <= size; ++i) {
    if (text[i] == first && std::memcmp(text + i + 1, needle_.data() + 1, n - 1) == 0) return i;
  }
  return npos;
}

namespace {

// Whether the bytes between the needle's first and last agree; a call to
// memcmp costs more than the compare itself for the few bytes patterns have.
inline bool MiddleMatches(const unsigned char* at, const std::string& needle) {
  const std::size_t middle = needle.size() - 2;
  if (middle > 16) return std::memcmp(at + 1, needle.data() + 1, middle) == 0;
  for (std::size_t k = 1; k <= middle; ++k) {
    if (at[k] != static_cast<unsigned char>(needle[k])) return false;
  }
  return true;
}

// Checks the candidates of one block: bit k of `mask` marks position base + k.
inline std::size_t Verify(unsigned mask, const unsigned char* text, std::size_t base, const std::string& needle) {
  while (mask != 0) {
    const std::size_t at = base + static_cast<std::size_t>(__builtin_ctz(mask));
    if (MiddleMatches(text + at, needle)) return at;
    mask &= mask - 1;
  }
  return TSubstringFinder::npos;
}

}  // namespace

std::size_t TSubstringFinder::FindSse2(const unsigned char* text, std::size_t size, std::size_t from) const {
  const std::size_t n = needle_.size();
  const __m128i first = _mm_set1_epi8(needle_[0]);
  const __m128i last = _mm_set1_epi8(needle_[n - 1]);
  std::size_t i = from;
  for (; i + n - 1 + 16 <= size; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i + n - 1));
    const auto mask = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
    if (mask != 0) {
      const std::size_t at = Verify(mask, text, i, needle_);
      if (at != npos) return at;
    }
  }
  return FindScalar(text, size, i);
}

__attribute__((target("avx2"))) std::size_t TSubstringFinder::FindAvx2(const unsigned char* text,
                                                                       std::size_t size,
                                                                       std::size_t from) const {
  const std::size_t n = needle_.size();
  const __m256i first = _mm256_set1_epi8(needle_[0]);
  const __m256i last = _mm256_set1_epi8(needle_[n - 1]);
  std::size_t i = from;
  for (; i + n - 1 + 32 <= size; i += 32) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + i + n - 1));
    const auto mask = static_cast<unsigned>(
        _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(a, first), _mm256_cmpeq_epi8(b, last))));
    if (mask != 0) {
      const std::size_t at = Verify(mask, text, i, needle_);
      if (at != npos) return at;
    }
  }
  return FindSse2(text, size, i);
}

}  // namespace hollowmere::regex
