// One message's SakuraScript as balloon HTML: a table per stretch of speech,
// coloured by speaker, with the speaker's current surface picture beside it.
// The renderer borrows the window's single tokenizer, regular-expression
// component and plugin list; it must not be re-entered while it runs, and the
// tokenizer's token list is overwritten by every call.
#pragma once

#include <array>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

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
  void DecideTokenOutputs();
  void CutSegments();
  void AppendBalloons(const TMessageItem& message);
  void AppendBalloon(const TMessageItem& message, const std::string& text);
  struct BalloonEdges;
  const BalloonEdges& Edges(const TMessageItem& message);
  // img markup of a surface of the message's ghost (see images_).
  const std::string& ImageTag(int surface, const std::string& ghostName);

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
  std::string* out_ = nullptr;  // where the balloons of the message go
  std::string balloons_;        // the balloons while their breaks are tidied
  // Whether a balloon's text holds "<br>" (as bytes); without one the break
  // tidying of the last pass has nothing to do.
  bool balloonBreaks_ = false;

  // Balloon markup before and after the text for the last few render states
  // of the message at hand.
  struct BalloonState {
    bool sync;
    int speaker;
    int surface0;
    int surface1;
    bool operator==(const BalloonState&) const = default;
  };
  struct BalloonEdges {
    bool valid = false;
    BalloonState state{};
    std::string head;
    std::string tail;
  };
  std::array<BalloonEdges, 4> edges_;
  std::size_t nextEdges_ = 0;

  // Buffers kept from message to message so that their storage is reused:
  // the rebuilt script, the segments (one after another, with where each
  // ends), and the text of the segment at hand.
  std::string rebuilt_;
  std::string segmentBytes_;
  std::vector<std::size_t> segmentEnds_;
  std::string segmentText_;

  // Surface files (by surface number and ghost name) already looked at during
  // this renderer's life, one page run: each is checked, and made when
  // missing, once. The plugin list
  // answers a repeated miss from its own memory anyway, and the file system
  // need not be asked again for every message.
  std::unordered_set<std::string> checkedSurfaceFiles_;
  // img markup by ghost name and surface number; it depends on nothing else.
  // images_ points at the entry of the message at hand (entries stay put).
  std::unordered_map<std::string, std::unordered_map<int, std::string>> imageTags_;
  std::unordered_map<int, std::string>* images_ = nullptr;
};

}  // namespace hollowmere
