// Surface tags to numbers, numbers to cache files, cache files to markup.
#include "surfaces/SurfaceFiles.h"

#include <unistd.h>

#include <algorithm>
#include <string_view>

#include "platform/Bitmap.h"
#include "platform/FileSystem.h"
#include "text/Numbers.h"
#include "surfaces/SppList.h"
#include "text/Sjis.h"

namespace hollowmere {

namespace {

// Markup-significant characters of a path or name. None of these bytes can
// be the second byte of a double-byte character, but the scan is
// character-aware all the same.
std::string HtmlEscape(std::string s) {
  s = text::ReplaceAll(s, "&", "&amp;");
  s = text::ReplaceAll(s, "<", "&lt;");
  s = text::ReplaceAll(s, ">", "&gt;");
  s = text::ReplaceAll(s, "\"", "&quot;");
  return s;
}

// A path as the path part of a file URL: characters that would end the path
// ("?", "#") or start an escape ("%") are percent-encoded so the browser
// opens the file that was written; every other byte stays.
std::string UrlPathEscape(std::string s) {
  s = text::ReplaceAll(s, "%", "%25");
  s = text::ReplaceAll(s, "#", "%23");
  s = text::ReplaceAll(s, "?", "%3F");
  return s;
}

std::string AbsolutePath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  std::string cwd(4096, '\0');
  if (getcwd(cwd.data(), cwd.size()) == nullptr) return path;
  cwd.resize(cwd.find('\0'));
  if (cwd.empty() || cwd.back() != '/') cwd += '/';
  return ProgramPath(cwd) + path;
}

}  // namespace

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

std::string EscapeFileName(const std::string& ghostName) {
  static const char* const kTable[][2] = {
      {"\\", "_yen_"},     {"/", "_slash_"},  {":", "_colon_"},
      {"*", "_asterisk_"}, {"?", "_question_"}, {"\"", "_double-c_"},
      {"<", "_litler_"},   {">", "_larger_"}, {"|", "_bar_"},
  };
  std::string name = ghostName;
  for (const auto& [from, to] : kTable) name = text::ReplaceAll(name, from, to);
  return name;
}

std::string SurfaceFilePath(const std::string& cacheDir, const std::string& ghostName,
                            int32_t surfaceNumber) {
  return cacheDir + EscapeFileName(ghostName) + std::to_string(surfaceNumber) + ".bmp";
}

void MakeSurfaceFile(TSppList& plugins, const std::string& cacheDir,
                     const std::string& ghostName, int32_t surfaceNumber) {
  if (surfaceNumber == -1) return;
  const std::string path = SurfaceFilePath(cacheDir, ghostName, surfaceNumber);
  Bitmap picture;
  if (plugins.GetSurface(ghostName, surfaceNumber, picture) && !picture.Empty() &&
      !(picture.Width() == 0 && picture.Height() == 0)) {
    picture.SaveToBmpFile(path);
  }
}

std::string SurfaceImageTag(const std::string& cacheDir, int32_t surfaceNumber,
                            const std::string& ghostName) {
  const std::string path = surfaceNumber == -1
                               ? cacheDir + "General-1.bmp"
                               : SurfaceFilePath(cacheDir, ghostName, surfaceNumber);
  return "<img src=\"file://" + HtmlEscape(UrlPathEscape(AbsolutePath(path))) + "\" alt=\"" +
         HtmlEscape(ghostName) + std::to_string(surfaceNumber) + "\">";
}

}  // namespace hollowmere
