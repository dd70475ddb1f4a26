// Surface pictures as files in the surface cache folder, and the img markup
// that points the pages at them. The cache folder (CP932, ending in "/") is
// long-lived: a file once made is used unchanged in this run and later ones;
// nothing here deletes or refreshes one. All texts are CP932.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace hollowmere {

class TSppList;

// True when the token text has at least two bytes and the second is "s".
bool IsSurfaceTag(const std::string& tagText);

// The surface number of a surface tag: "\s[10]" -> 10, "\s5" -> 5,
// "\s[-1]" -> -1. Raises EConvertError "'%s' is not a valid integer value"
// with what is left after removing the tag's own characters.
int32_t SurfaceNumber(const std::string& tagText);
// The same, or nullopt where SurfaceNumber raises (a number out of the
// 32-bit range, or no number at all).
std::optional<int32_t> TrySurfaceNumber(const std::string& tagText);

// The ghost name with the characters that cannot be in a file name spelled
// out ("\\" -> "_yen_", "/" -> "_slash_", ..., NUL -> "_nul_"). Whole
// characters only: the second byte (0x5C, 0x7C ...) of a double-byte
// character stays, while a lead byte without a valid second byte after it
// stands alone, so a "/" after it is spelled out as well.
std::string EscapeFileName(const std::string& ghostName);

// EscapeFileName(ghost) + number + ".bmp": always one file name. One that
// would be longer than the file system takes (255 bytes in its UTF-8 form)
// is cut, in whole characters, and ends in "~", 32 hexadecimal digits of
// the SHA-256 of the whole ghost name, the number and ".bmp".
std::string SurfaceFileName(const std::string& ghostName, int32_t surfaceNumber);

// cacheDir + SurfaceFileName(ghost, number).
std::string SurfaceFilePath(const std::string& cacheDir, const std::string& ghostName,
                            int32_t surfaceNumber);

// Asks the plugin list for the picture and saves it as a BMP file at
// SurfaceFilePath when it has one with pixels. Surface -1 is never made.
// A picture that cannot be saved counts as none (the reason goes to the
// trace channel). Passes on ESppException from the list.
void MakeSurfaceFile(TSppList& plugins, const std::string& cacheDir,
                     const std::string& ghostName, int32_t surfaceNumber);

// <img src="file://<absolute path>" alt="<ghost name><number>">, pointing at
// the surface file, or at cacheDir + "General-1.bmp" for surface -1, whether
// or not the file exists.
std::string SurfaceImageTag(const std::string& cacheDir, int32_t surfaceNumber,
                            const std::string& ghostName);

}  // namespace hollowmere
