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
// out ("\" -> "_yen_", "/" -> "_slash_", ...). Whole characters only: a
// second byte 0x5C or 0x7C of a double-byte character stays.
std::string EscapeFileName(const std::string& ghostName);

// cacheDir + EscapeFileName(ghost) + number + ".bmp".
std::string SurfaceFilePath(const std::string& cacheDir, const std::string& ghostName,
                            int32_t surfaceNumber);

// Asks the plugin list for the picture and saves it as a BMP file at
// SurfaceFilePath when it has one with pixels. Surface -1 is never made.
// Raises EFCreateError when the file cannot be written, and passes on
// ESppException from the list.
void MakeSurfaceFile(TSppList& plugins, const std::string& cacheDir,
                     const std::string& ghostName, int32_t surfaceNumber);

// <img src="file://<absolute path>" alt="<ghost name><number>">, pointing at
// the surface file, or at cacheDir + "General-1.bmp" for surface -1, whether
// or not the file exists.
std::string SurfaceImageTag(const std::string& cacheDir, int32_t surfaceNumber,
                            const std::string& ghostName);

}  // namespace hollowmere
