// One message's SakuraScript as balloon HTML: a table per stretch of speech,
// coloured by speaker, with the speaker's current surface picture beside it.
// The renderer borrows a tokenizer and a regular-expression component, and
// sends the surface pictures a script names to an ISurfaceFiles; it must not
// be re-entered while it runs. It takes the tokens of each text as the
// tokenizer scans them, keeping none (the tokenizer's own token list is left
// alone), so a message costs memory in proportion to its length, never per
// token. Renderers on several threads each need a tokenizer and a
// regular-expression component of their own.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "log/MessageItem.h"
#include "script/SsParser.h"

namespace hollowmere {

class TAWKStr;
class TSppList;

// Where the first pass sends each surface picture a script names: the file
// of that ghost's surface is wanted in the cache folder.
class ISurfaceFiles {
 public:
  virtual ~ISurfaceFiles() = default;
  virtual void Want(const std::string& ghostName, int32_t surface) = 0;
};

// Makes a wanted picture at once: when its file is missing, from the plugins.
class TSurfaceFileMaker : public ISurfaceFiles {
 public:
  // `cacheDir` is CP932 and ends in "/".
  TSurfaceFileMaker(TSppList& plugins, std::string cacheDir)
      : plugins_(plugins), cacheDir_(std::move(cacheDir)) {}
  void Want(const std::string& ghostName, int32_t surface) override;

 private:
  TSppList& plugins_;
  std::string cacheDir_;
};

class TScriptRenderer {
 public:
  // `surfaceCacheDir` is CP932 and ends in "/". `emulation` picks the ghost
  // placement layout (main character right, side character left) over the
  // plain left-aligned one. Missing surface pictures are made at once from
  // `plugins`.
  TScriptRenderer(TSsParser& parser, TAWKStr& awk, TSppList& plugins, std::string surfaceCacheDir,
                  bool emulation);
  // The same, with the wanted surface pictures sent to `surfaces`.
  TScriptRenderer(TSsParser& parser, TAWKStr& awk, ISurfaceFiles& surfaces,
                  std::string surfaceCacheDir, bool emulation);

  // The balloon lines, each ending in CR LF; empty when nothing shows.
  // Tokenizer and surface-number errors propagate.
  std::string RenderScript(const TMessageItem& message);
  // The same, appended to `out`.
  void AppendRenderedScript(const TMessageItem& message, std::string& out);
  // Once `out` holds `bytes` or more after a balloon, everything in it goes
  // to `spill`, which takes it and leaves `out` empty; the bytes spilled and
  // those left make what would have been drawn. Balloons are the pieces, as
  // the break tidying never reaches across a balloon's edge. Without a spill,
  // a message is drawn in memory whole.
  void SetSpill(std::function<void(std::string& out)> spill, std::size_t bytes);

 private:
  class TOutputs;
  class TSegments;
  class TBalloonText;
  void WantSurfaces(const TMessageItem& message);
  void DrawSegment(const char* segment, const TMessageItem& message);
  void UpdateState(std::string_view tag);
  void TidyBreaks(std::string& out, std::size_t start);
  void SpillIfLarge();
  struct BalloonEdges;
  const BalloonEdges& Edges(const TMessageItem& message);
  // img markup of a surface of the message's ghost (see images_).
  const std::string& ImageTag(int surface, const std::string& ghostName);

  TSsParser& parser_;
  TAWKStr& awk_;
  std::unique_ptr<TSurfaceFileMaker> ownMaker_;  // when made from a plugin list
  ISurfaceFiles& surfaces_;
  std::string cacheDir_;
  bool emulation_;

  // Per-message render state.
  int speaker_ = 0;
  bool sync_ = false;
  int surface0_ = 0;
  int surface1_ = 10;
  std::string* out_ = nullptr;  // where the balloons of the message go
  // Whether a balloon's text holds "<br>" (as bytes); without one the break
  // tidying of the last pass has nothing to do.
  bool balloonBreaks_ = false;
  // Where the message's balloons in `out_` begin: their tidying starts there.
  std::size_t tidyFrom_ = 0;
  // A NUL has been met: nothing more of the message is tidied.
  bool tidyEnded_ = false;
  std::function<void(std::string&)> spill_;
  std::size_t spillBytes_ = 0;

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
  // the rebuilt script (followed by two NUL bytes, scanned where it lies),
  // a segment that is not a stretch of it as it stands, the surface numbers
  // a script names, and what the scans work in (one for the script and the
  // rebuilt script in turn, one for the segments scanned meanwhile).
  std::string rebuilt_;
  std::string segment_;
  std::vector<int32_t> named_;
  TSsScanBuffers scanBuffers_;
  TSsScanBuffers segmentBuffers_;

  // Surface files (by surface number and ghost name) already wanted during
  // this renderer's life, one page run: each is asked for once. The plugin
  // list answers a repeated miss from its own memory anyway, and the file
  // system need not be asked again for every message.
  std::unordered_set<std::string> checkedSurfaceFiles_;
  // img markup by ghost name and surface number; it depends on nothing else.
  // images_ points at the entry of the message at hand (entries stay put).
  std::unordered_map<std::string, std::unordered_map<int, std::string>> imageTags_;
  std::unordered_map<int, std::string>* images_ = nullptr;
};

}  // namespace hollowmere
