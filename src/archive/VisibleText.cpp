// Visible text and folding. The tokenizer is the renderer's own, so what is
// searched is what the balloons show; a pattern file fault mid-script keeps
// the runs found before it rather than losing the message from the index.
#include "archive/VisibleText.h"

#include <unicode/normalizer2.h>
#include <unicode/ucnv.h>
#include <unicode/unistr.h>

#include "platform/FileSystem.h"
#include "text/Encoding.h"
#include "text/Sjis.h"

namespace hollowmere {

struct TVisibleText::TDecoder {
  UConverter* Cnv = nullptr;
  TDecoder() {
    UErrorCode status = U_ZERO_ERROR;
    Cnv = ucnv_open("windows-31j", &status);
    if (U_FAILURE(status)) Cnv = nullptr;
  }
  ~TDecoder() {
    if (Cnv) ucnv_close(Cnv);
  }
};

TVisibleText::~TVisibleText() = default;
TVisibleText::TVisibleText(TVisibleText&&) noexcept = default;

TVisibleText::TVisibleText(std::vector<std::string> tagPattern, std::vector<std::string> metaPattern)
    : decoder_(std::make_unique<TDecoder>()) {
  parser_.SetTagPattern(std::move(tagPattern));
  parser_.SetMetaPattern(std::move(metaPattern));
}

TVisibleText TVisibleText::FromFolder(const std::string& folder) {
  return TVisibleText(LoadPatternFile(ProgramPath(folder + "tagpat.txt")),
                      LoadPatternFile(ProgramPath(folder + "metapat.txt")));
}

namespace {

// A text run as its balloon shows it: each pair of backslashes is one.
void AppendAsShown(std::string& out, std::string_view run) {
  for (std::size_t i = 0; i < run.size(); ++i) {
    const char c = run[i];
    if (text::IsLeadByte(c) && i + 1 < run.size()) {
      out += c;
      out += run[++i];
      continue;
    }
    out += c;
    if (c == '\\' && i + 1 < run.size() && run[i + 1] == '\\') ++i;
  }
}

}  // namespace

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
    AppendAsShown(out, m.Str);
  }
  return out;
}

namespace {

std::string FoldUnicode(const icu::UnicodeString& in) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* fold = icu::Normalizer2::getNFKCCasefoldInstance(status);
  std::string result;
  if (U_FAILURE(status)) {
    in.toUTF8String(result);
    return result;
  }
  const icu::UnicodeString out = fold->normalize(in, status);
  (U_FAILURE(status) ? in : out).toUTF8String(result);
  return result;
}

}  // namespace

std::string TVisibleText::Folded(std::string_view script) {
  const std::string visible = Visible(script);
  if (!decoder_->Cnv) return FoldForSearch(text::Cp932ToUtf8Lossy(visible));
  UErrorCode status = U_ZERO_ERROR;
  ucnv_reset(decoder_->Cnv);
  const icu::UnicodeString in(visible.data(), static_cast<int32_t>(visible.size()), decoder_->Cnv, status);
  if (U_FAILURE(status)) return FoldForSearch(text::Cp932ToUtf8Lossy(visible));
  return FoldUnicode(in);
}

std::string FoldForSearch(std::string_view utf8) {
  return FoldUnicode(icu::UnicodeString::fromUTF8(
      icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size()))));
}

}  // namespace hollowmere
