// What the balloons of a message show, for searching: the script's text runs
// as the renderer's tokenizer cuts them (same pattern files), tags and metas
// left out. Runs are joined by LF, so a search never matches across a seam
// the reader does not see as joined text. Searching compares the folded form:
// UTF-8 after NFKC case folding, so full- and half-width forms and letter
// case all meet.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "script/SsParser.h"

namespace hollowmere {

class TVisibleText {
 public:
  TVisibleText(std::vector<std::string> tagPattern, std::vector<std::string> metaPattern);
  ~TVisibleText();
  TVisibleText(TVisibleText&&) noexcept;
  // Loads "tagpat.txt" and "metapat.txt" from a folder (native path ending
  // in "/"); raises EFOpenError when one cannot be read.
  static TVisibleText FromFolder(const std::string& folder);

  // The visible text of a script, CP932, runs joined by LF.
  std::string Visible(std::string_view script);
  // Visible() folded for searching.
  std::string Folded(std::string_view script);

 private:
  TSsParser parser_;
  // CP932 decoding kept open: opening a converter costs more than folding.
  struct TDecoder;
  std::unique_ptr<TDecoder> decoder_;
};

// NFKC case folding of UTF-8 text (ill-formed bytes become U+FFFD first).
std::string FoldForSearch(std::string_view utf8);

}  // namespace hollowmere
