// The first/last-byte vector filter. Blocks are loaded only where the whole
// block, shifted by the needle's length, lies inside the text; the rest is
// searched byte by byte. Every kernel comes in two forms: looking for the
// needle alone, or for the needle or a NUL byte, whichever comes first (one
// more compare a block, so a search that must end at a NUL needs no pass of
// its own to find it).
#include "regex/SubstringFinder.h"

#include <immintrin.h>

#include <cstring>

namespace hollowmere::regex {

TSubstringFinder::TSubstringFinder(std::string needle, int vectorWidth) : needle_(std::move(needle)) {
  avx2_ = vectorWidth >= 32 && __builtin_cpu_supports("avx2") != 0;
}

namespace {

template <bool kNul>
std::size_t FindScalar(const std::string& needle, const unsigned char* text, std::size_t size, std::size_t from) {
  const std::size_t n = needle.size();
  const auto first = static_cast<unsigned char>(needle[0]);
  for (std::size_t i = from; i < size; ++i) {
    if (kNul && text[i] == 0) return i;
    if (size - i < n) {
      if (!kNul) break;
      continue;
    }
    if (text[i] == first && std::memcmp(text + i + 1, needle.data() + 1, n - 1) == 0) return i;
  }
  return TSubstringFinder::npos;
}

// Whether the bytes between the needle's first and last agree; a call to
// memcmp costs more than the compare itself for the few bytes patterns have.
inline bool MiddleMatches(const unsigned char* at, const std::string& needle) {
  if (needle.size() <= 2) return true;
  const std::size_t middle = needle.size() - 2;
  if (middle > 16) return std::memcmp(at + 1, needle.data() + 1, middle) == 0;
  for (std::size_t k = 1; k <= middle; ++k) {
    if (at[k] != static_cast<unsigned char>(needle[k])) return false;
  }
  return true;
}

// Checks the candidates of one block: bit k of `mask` marks position base + k.
template <bool kNul>
inline std::size_t Verify(unsigned mask, const unsigned char* text, std::size_t base, const std::string& needle) {
  while (mask != 0) {
    const std::size_t at = base + static_cast<std::size_t>(__builtin_ctz(mask));
    if ((kNul && text[at] == 0) || MiddleMatches(text + at, needle)) return at;
    mask &= mask - 1;
  }
  return TSubstringFinder::npos;
}

template <bool kNul>
std::size_t FindSse2(const std::string& needle, const unsigned char* text, std::size_t size, std::size_t from) {
  const std::size_t n = needle.size();
  const __m128i first = _mm_set1_epi8(needle[0]);
  const __m128i last = _mm_set1_epi8(needle[n - 1]);
  std::size_t i = from;
  for (; i + n - 1 + 16 <= size; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i + n - 1));
    __m128i hits = _mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last));
    if (kNul) hits = _mm_or_si128(hits, _mm_cmpeq_epi8(a, _mm_setzero_si128()));
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
    if (mask != 0) {
      const std::size_t at = Verify<kNul>(mask, text, i, needle);
      if (at != TSubstringFinder::npos) return at;
    }
  }
  return FindScalar<kNul>(needle, text, size, i);
}

template <bool kNul>
__attribute__((target("avx2"))) std::size_t FindAvx2(const std::string& needle, const unsigned char* text,
                                                     std::size_t size, std::size_t from) {
  const std::size_t n = needle.size();
  const __m256i first = _mm256_set1_epi8(needle[0]);
  const __m256i last = _mm256_set1_epi8(needle[n - 1]);
  std::size_t i = from;
  for (; i + n - 1 + 32 <= size; i += 32) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + i + n - 1));
    __m256i hits = _mm256_and_si256(_mm256_cmpeq_epi8(a, first), _mm256_cmpeq_epi8(b, last));
    if (kNul) hits = _mm256_or_si256(hits, _mm256_cmpeq_epi8(a, _mm256_setzero_si256()));
    const auto mask = static_cast<unsigned>(_mm256_movemask_epi8(hits));
    if (mask != 0) {
      const std::size_t at = Verify<kNul>(mask, text, i, needle);
      if (at != TSubstringFinder::npos) return at;
    }
  }
  return FindSse2<kNul>(needle, text, size, i);
}

}  // namespace

std::size_t TSubstringFinder::Find(const unsigned char* text, std::size_t size, std::size_t from) const {
  const std::size_t n = needle_.size();
  if (n == 0) return from <= size ? from : npos;
  if (from >= size || size - from < n) return npos;
  if (n == 1) {
    const void* hit = std::memchr(text + from, static_cast<unsigned char>(needle_[0]), size - from);
    return hit == nullptr ? npos : static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - text);
  }
  return avx2_ ? FindAvx2<false>(needle_, text, size, from) : FindSse2<false>(needle_, text, size, from);
}

std::size_t TSubstringFinder::FindOrNul(const unsigned char* text, std::size_t size, std::size_t from) const {
  if (needle_.empty()) return from <= size ? from : npos;
  if (from >= size) return npos;
  return avx2_ ? FindAvx2<true>(needle_, text, size, from) : FindSse2<true>(needle_, text, size, from);
}

}  // namespace hollowmere::regex
