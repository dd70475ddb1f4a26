// Surface tags to numbers, numbers to cache files, cache files to markup.
#include "surfaces/SurfaceFiles.h"

#include <algorithm>
#include <string_view>

#include "platform/Bitmap.h"
#include "platform/DebugTrace.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "surfaces/Sha256.h"
#include "surfaces/SppList.h"
#include "text/Html.h"
#include "text/Numbers.h"
#include "text/Sjis.h"
#include "text/Url.h"

namespace hollowmere {

bool IsSurfaceTag(const std::string& tagText) { return tagText.size() >= 2 && tagText[1] == 's'; }

namespace {

// What is left of a surface tag once its own characters are removed: with a
// "[" anywhere, every "\s[" and then every "]"; otherwise every "\s".
std::string SurfaceNumberText(const std::string& tagText) {
  if (text::Contains(tagText, "[")) {
    return text::ReplaceAll(text::ReplaceAll(tagText, "\\s[", ""), "]", "");
  }
  return text::ReplaceAll(tagText, "\\s", "");
}

// Single-byte characters other than the brackets and the backslash: the
// removal above only ever takes the tag's own head and tail from them.
bool IsPlainNumberByte(char c) {
  return static_cast<unsigned char>(c) < 0x80 && c != '[' && c != ']' && c != '\\';
}

}  // namespace

int32_t SurfaceNumber(const std::string& tagText) {
  return text::StrToInt(SurfaceNumberText(tagText));
}

std::optional<int32_t> TrySurfaceNumber(const std::string& tagText) {
  // Every page asks this of every surface tag several times; the usual
  // forms "\s[12]" and "\s5" are read in place.
  const std::string_view t = tagText;
  if (t.size() > 4 && t.compare(0, 3, "\\s[") == 0 && t.back() == ']') {
    const std::string_view inner = t.substr(3, t.size() - 4);
    if (std::all_of(inner.begin(), inner.end(), IsPlainNumberByte)) return text::TryStrToInt(inner);
  } else if (t.size() > 2 && t.compare(0, 2, "\\s") == 0) {
    const std::string_view rest = t.substr(2);
    if (std::all_of(rest.begin(), rest.end(), IsPlainNumberByte)) return text::TryStrToInt(rest);
  }
  return text::TryStrToInt(SurfaceNumberText(tagText));
}

namespace {

// Bytes of the character at `i` of a name: a lead byte is two with a trail
// byte after it, and alone otherwise, so the byte after it (a "/", say) is
// looked at on its own.
std::size_t NameCharLength(std::string_view name, std::size_t i) {
  return text::IsLeadByte(name[i]) && i + 1 < name.size() && text::IsTrailByte(name[i + 1]) ? 2 : 1;
}

// The longest file name the file system takes, in bytes of its own form.
constexpr std::size_t kMaxFileNameBytes = 255;

}  // namespace

std::string EscapeFileName(const std::string& ghostName) {
  std::string out;
  out.reserve(ghostName.size());
  for (std::size_t i = 0; i < ghostName.size();) {
    const std::size_t len = NameCharLength(ghostName, i);
    if (len == 2) {
      out.append(ghostName, i, 2);
      i += 2;
      continue;
    }
    switch (ghostName[i]) {
      case '\\': out += "_yen_"; break;
      case '/': out += "_slash_"; break;
      case ':': out += "_colon_"; break;
      case '*': out += "_asterisk_"; break;
      case '?': out += "_question_"; break;
      case '"': out += "_double-c_"; break;
      case '<': out += "_litler_"; break;
      case '>': out += "_larger_"; break;
      case '|': out += "_bar_"; break;
      case '\0': out += "_nul_"; break;
      default: out += ghostName[i]; break;
    }
    ++i;
  }
  return out;
}

std::string SurfaceFileName(const std::string& ghostName, int32_t surfaceNumber) {
  const std::string escaped = EscapeFileName(ghostName);
  const std::string tail = std::to_string(surfaceNumber) + ".bmp";
  std::string name = escaped + tail;
  if (NativePath(name).size() <= kMaxFileNameBytes) return name;
  // Too long for the file system: as much of the name as surely fits, in
  // whole characters (each at most three bytes on disk), then "~" and a
  // digest of the whole ghost name, so long names that begin alike stay
  // apart.
  const std::string digest = "~" + Sha256Hex(ghostName, 16);
  const std::size_t budget = kMaxFileNameBytes - digest.size() - tail.size();
  std::size_t cut = 0;
  std::size_t onDisk = 0;
  while (cut < escaped.size()) {
    const std::size_t most = static_cast<unsigned char>(escaped[cut]) < 0x80 ? 1 : 3;
    if (onDisk + most > budget) break;
    onDisk += most;
    cut += NameCharLength(escaped, cut);
  }
  return escaped.substr(0, cut) + digest + tail;
}

std::string SurfaceFilePath(const std::string& cacheDir, const std::string& ghostName,
                            int32_t surfaceNumber) {
  return cacheDir + SurfaceFileName(ghostName, surfaceNumber);
}

void MakeSurfaceFile(TSppList& plugins, const std::string& cacheDir,
                     const std::string& ghostName, int32_t surfaceNumber) {
  if (surfaceNumber == -1) return;
  const std::string path = SurfaceFilePath(cacheDir, ghostName, surfaceNumber);
  Bitmap picture;
  if (plugins.GetSurface(ghostName, surfaceNumber, picture) && !picture.Empty() &&
      !(picture.Width() == 0 && picture.Height() == 0)) {
    try {
      picture.SaveToBmpFile(path);
    } catch (const EFCreateError& e) {
      // A picture that cannot be saved is no picture: the page shows the
      // missing-picture box, and the pages go on.
      DebugTrace(e.what());
    }
  }
}

std::string SurfaceImageTag(const std::string& cacheDir, int32_t surfaceNumber,
                            const std::string& ghostName) {
  const std::string path = surfaceNumber == -1
                               ? cacheDir + "General-1.bmp"
                               : SurfaceFilePath(cacheDir, ghostName, surfaceNumber);
  return "<img src=\"file://" + text::HtmlEscape(text::FileUrlPath(AbsolutePath(path))) + "\" alt=\"" +
         text::HtmlEscape(ghostName) + std::to_string(surfaceNumber) + "\">";
}

}  // namespace hollowmere
