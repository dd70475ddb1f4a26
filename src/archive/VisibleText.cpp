// Visible text and folding. The tokenizer is the renderer's own, so what is
// searched is what the balloons show; a pattern file fault mid-script keeps
// the runs found before it rather than losing the message from the index.
#include "archive/VisibleText.h"

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include "platform/FileSystem.h"
#include "text/Encoding.h"

namespace hollowmere {

TVisibleText::TVisibleText(std::vector<std::string> tagPattern, std::vector<std::string> metaPattern) {
  parser_.SetTagPattern(std::move(tagPattern));
  parser_.SetMetaPattern(std::move(metaPattern));
}

TVisibleText TVisibleText::FromFolder(const std::string& folder) {
  return TVisibleText(LoadPatternFile(ProgramPath(folder + "tagpat.txt")),
                      LoadPatternFile(ProgramPath(folder + "metapat.txt")));
}

std::string TVisibleText::Visible(std::string_view script) {
  try {
    parser_.SetInputString(script);
  } catch (const ESsParserError&) {
    // The tokens before the fault stay; they are what can be shown.
  }
  std::string out;
  for (int i = 0; i < parser_.Count(); ++i) {
    const TSsMarkUp& m = parser_.MarkUp(i);
    if (m.MarkUpType != mtText) continue;
    if (!out.empty()) out += '\n';
    out += m.Str;
  }
  return out;
}

std::string TVisibleText::Folded(std::string_view script) {
  return FoldForSearch(text::Cp932ToUtf8Lossy(Visible(script)));
}

std::string FoldForSearch(std::string_view utf8) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* fold = icu::Normalizer2::getNFKCCasefoldInstance(status);
  if (U_FAILURE(status)) return std::string(utf8);
  const icu::UnicodeString in = icu::UnicodeString::fromUTF8(
      icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
  const icu::UnicodeString out = fold->normalize(in, status);
  if (U_FAILURE(status)) return std::string(utf8);
  std::string result;
  out.toUTF8String(result);
  return result;
}

}  // namespace hollowmere
