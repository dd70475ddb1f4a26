// One message's SakuraScript as balloon HTML: a table per stretch of speech,
// coloured by speaker, with the speaker's current surface picture beside it.
// The renderer borrows the window's single tokenizer, regular-expression
// component and plugin list; it must not be re-entered while it runs, and the
// tokenizer's token list is overwritten by every call.
#pragma once

#include <string>
#include <unordered_set>

#include "log/MessageItem.h"

namespace hollowmere {

class TSsParser;
class TAWKStr;
class TSppList;

class TScriptRenderer {
 public:
  // `surfaceCacheDir` is CP932 and ends in "/". `emulation` picks the ghost
  // placement layout (main character right, side character left) over the
  // plain left-aligned one.
  TScriptRenderer(TSsParser& parser, TAWKStr& awk, TSppList& plugins, std::string surfaceCacheDir,
                  bool emulation);

  // The balloon lines, each ending in CR LF; empty when nothing shows.
  // Tokenizer and surface-number errors propagate.
  std::string RenderScript(const TMessageItem& message);
  // The same, appended to `out`.
  void AppendRenderedScript(const TMessageItem& message, std::string& out);

 private:
  void FetchMissingSurfaces(const TMessageItem& message);
  std::string DecideTokenOutputs();
  std::vector<std::string> CutSegments();
  void AppendBalloons(const TMessageItem& message, const std::vector<std::string>& segments);
  void AppendBalloon(const TMessageItem& message, const std::string& text);

  TSsParser& parser_;
  TAWKStr& awk_;
  TSppList& plugins_;
  std::string cacheDir_;
  bool emulation_;

  // Per-message render state.
  int speaker_ = 0;
  bool sync_ = false;
  int surface0_ = 0;
  int surface1_ = 10;
  std::string balloons_;

  // Surface files seen to exist during this renderer's life: a file made or
  // found once is not asked of the file system again for every message.
  std::unordered_set<std::string> existingSurfaceFiles_;
};

}  // namespace hollowmere
