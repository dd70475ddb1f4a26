// SHA-256 of a byte string (FIPS 180-4), for names that must stay apart
// when they are cut short: two different inputs give the same digest only
// by a collision nobody can make on purpose.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace hollowmere {

std::array<uint8_t, 32> Sha256(std::string_view bytes);

// The first `bytes` bytes of the digest as lowercase hexadecimal.
std::string Sha256Hex(std::string_view bytes, std::size_t digestBytes = 32);

}  // namespace hollowmere
