// Script-to-HTML conversion in six passes over the shared tokenizer: fetch
// missing surface pictures, decide each token's output, re-tokenize the
// result, cut it into segments at the surviving tags, build one balloon per
// segment, and tidy the line breaks.
// The passes run as the scans go, and no token is kept: the first scan
// decides the outputs and notes the surfaces; the scan of the rebuilt script
// draws each segment as its tokens arrive. Only when the tokenizer has a
// hook or rewrites escapes is a segment scanned again alone: where it stands
// in the rebuilt script when its tokens are the bytes there, its end marked
// for the while by two NUL bytes over the tag after it, else from a copy.
#include "render/ScriptRenderer.h"

#include <optional>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"
#include "regex/bmRegExp.h"
#include "render/PostProcess.h"
#include "script/SsParser.h"
#include "surfaces/SppList.h"
#include "surfaces/SurfaceFiles.h"
#include "text/Encoding.h"
#include "text/Html.h"
#include "text/Sjis.h"

namespace hollowmere {
namespace {

using namespace std::string_view_literals;

bool IsSpeakerTag(std::string_view s) {
  return s == "\\0"sv || s == "\\1"sv || s == "\\h"sv || s == "\\u"sv;
}

bool IsSurface(std::string_view tag) { return tag.size() >= 2 && tag[1] == 's'; }

std::optional<int32_t> SurfaceOf(std::string_view tag) { return TrySurfaceNumber(std::string(tag)); }

// Whether a token takes part as a tag. A surface tag whose number is no
// 32-bit integer ("\s[2147483648]") does not: like "\s[smile]", which no
// tag line takes, it is shown as the text it is, and the message and the
// pages after it render as usual.
bool CountsAsTag(const TSsToken& token) {
  return token.MarkUpType == mtTag && (!IsSurface(token.Str) || SurfaceOf(token.Str).has_value());
}

// True when the text holds something besides "<br>" (a balloon of breaks
// alone, or of nothing, is not drawn).
bool HasMoreThanBreaks(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    if (text.compare(i, 4, "<br>") == 0) {
      i += 4;
    } else {
      return true;
    }
  }
  return false;
}

// Buffers are kept from message to message up to this size; a larger one
// is given back.
constexpr std::size_t kKeptCapacity = std::size_t{4} << 20;

void ReleaseIfLarge(std::string& buffer) {
  if (buffer.capacity() > kKeptCapacity) std::string().swap(buffer);
}

// One key per (surface number, ghost name); the number never holds ":".
std::string SurfaceKey(int surface, const std::string& ghostName) {
  std::string key = std::to_string(surface);
  key += ':';
  key += ghostName;
  return key;
}

const std::string& SyncSummary() {
  static const std::string summary = text::Sjis("シンクロナイズドセッション");
  return summary;
}

}  // namespace

void TSurfaceFileMaker::Want(const std::string& ghostName, int32_t surface) {
  if (!FileExists(SurfaceFilePath(cacheDir_, ghostName, surface))) {
    MakeSurfaceFile(plugins_, cacheDir_, ghostName, surface);
  }
}

TScriptRenderer::TScriptRenderer(TSsParser& parser, TAWKStr& awk, TSppList& plugins,
                                 std::string surfaceCacheDir, bool emulation)
    : parser_(parser),
      awk_(awk),
      ownMaker_(std::make_unique<TSurfaceFileMaker>(plugins, surfaceCacheDir)),
      surfaces_(*ownMaker_),
      cacheDir_(std::move(surfaceCacheDir)),
      emulation_(emulation) {}

TScriptRenderer::TScriptRenderer(TSsParser& parser, TAWKStr& awk, ISurfaceFiles& surfaces,
                                 std::string surfaceCacheDir, bool emulation)
    : parser_(parser),
      awk_(awk),
      surfaces_(surfaces),
      cacheDir_(std::move(surfaceCacheDir)),
      emulation_(emulation) {}

std::string TScriptRenderer::RenderScript(const TMessageItem& message) {
  std::string out;
  AppendRenderedScript(message, out);
  return out;
}

// Passes 1 and 2 in one scan of the script: each token's output goes
// straight into the text to tokenize again, and the surfaces named are noted
// to be wanted once the whole script has been tokenized.
class TScriptRenderer::TOutputs : public ISsTokenSink {
 public:
  explicit TOutputs(TScriptRenderer& r) : r_(r) {}
  void Take(const TSsToken& token) override {
    std::string& out = r_.rebuilt_;
    if (token.MarkUpType == mtTag && IsSurface(token.Str)) {
      const std::optional<int32_t> n = SurfaceOf(token.Str);
      if (n && (r_.named_.empty() || r_.named_.back() != *n)) r_.named_.push_back(*n);
    }
    if (!CountsAsTag(token)) {
      text::AppendEntityEscaped(out, token.Str);
      return;
    }
    const std::string_view tag = token.Str;
    if (IsSpeakerTag(tag) || IsSurface(tag)) {
      out += tag;
    } else if (tag == "\\n"sv || tag == "\\n[half]"sv) {
      out += "<br>";
    } else if (tag == "\\_s"sv) {
      out += tag;
    } else if (tag.substr(0, 4) == "\\URL"sv) {
      out += UrlTagToHtml(tag);
    } else if (tag == "\\c"sv) {
      out += tag;
    }
    // Any other tag vanishes: its output is empty.
  }

 private:
  TScriptRenderer& r_;
};

// Pass 5 for one segment: its first token, when a tag, sets the render
// state; the text of the rest goes into the balloon, each pair of
// backslashes as one, written at once after the balloon's head and taken
// back when it turns out to be breaks alone.
class TScriptRenderer::TBalloonText : public ISsTokenSink {
 public:
  TBalloonText(TScriptRenderer& r, const TMessageItem& message) : r_(&r), message_(&message) {}

  void Take(const TSsToken& token) override {
    std::string& out = *r_->out_;
    const bool tag = CountsAsTag(token);
    if (!opened_) {
      opened_ = true;
      if (tag) r_->UpdateState(token.Str);
      balloonStart_ = out.size();
      out += r_->Edges(*message_).head;
      textStart_ = out.size();
    }
    if (!tag) AppendHalvingBackslashes(out, token.Str);
  }

  void Finish() {
    if (!opened_) return;
    std::string& out = *r_->out_;
    if (held_) out += '\\';
    const std::string_view text = std::string_view(out).substr(textStart_);
    if (!HasMoreThanBreaks(text)) {
      out.resize(balloonStart_);
      return;
    }
    // The balloon markup around the texts holds no "<br>", nor can one
    // span a text's edge (the markup there begins and ends with a tag), so
    // the texts alone tell whether the line breaks need tidying.
    if (!r_->balloonBreaks_) r_->balloonBreaks_ = text.find("<br>") != std::string_view::npos;
    out += r_->Edges(*message_).tail;
    r_->SpillIfLarge();
  }

 private:
  // Left to right over the whole text, whole characters: a backslash that
  // starts a character is held until the next character shows whether it is
  // the first of a pair.
  void AppendHalvingBackslashes(std::string& out, std::string_view piece) {
    const std::size_t at = out.size();
    out.resize(at + piece.size() + 1);
    char* w = out.data() + at;
    for (const char c : piece) {
      if (trail_) {
        *w++ = c;
        trail_ = false;
        continue;
      }
      if (held_) {
        held_ = false;
        *w++ = '\\';
        if (c == '\\') continue;
      }
      if (c == '\\') {
        held_ = true;
        continue;
      }
      *w++ = c;
      trail_ = text::IsLeadByte(c);
    }
    out.resize(static_cast<std::size_t>(w - out.data()));
  }

  TScriptRenderer* r_;
  const TMessageItem* message_;
  bool opened_ = false;
  bool held_ = false;   // a backslash not yet written
  bool trail_ = false;  // the next byte ends a double-byte character
  std::size_t balloonStart_ = 0;
  std::size_t textStart_ = 0;
};

// Passes 3 and 4: a segment is a tag with the text after it up to the next
// tag; the first one is whatever comes before the first tag, often nothing.
// Each is drawn as soon as it is complete.
// A segment's tokens, scanned again alone, are those it has here when the
// tokens are the text's own bytes and no hook is asked: each token's
// pattern line is the first to match in either, since a line that reads past
// the segment's end fails there, on its NUL, as it fails (or would take the
// tag after it) in the whole text. Then the tokens go straight into the
// balloon; otherwise the segment is scanned again.
class TScriptRenderer::TSegments : public ISsTokenSink {
 public:
  TSegments(TScriptRenderer& r, const TMessageItem& message)
      : r_(r),
        message_(message),
        direct_(!r.parser_.OnParse && r.parser_.LeaveEscape && !r.parser_.EscapeInvalidMeta),
        balloon_(r, message),
        begin_(r.rebuilt_.data()),
        end_(begin_) {}

  void Take(const TSsToken& token) override {
    if (direct_) {
      if (CountsAsTag(token)) {
        balloon_.Finish();
        balloon_ = TBalloonText(r_, message_);
      }
      balloon_.Take(token);
      return;
    }
    if (CountsAsTag(token)) {
      Finish();
      inPlace_ = true;
      begin_ = end_ = token.Str.data();
    }
    Append(token.Str);
  }

  // Draws the segment at hand.
  void Finish() {
    if (direct_) {
      balloon_.Finish();
      return;
    }
    if (!inPlace_) {
      r_.segment_.append(2, '\0');
      r_.DrawSegment(r_.segment_.data(), message_);
      return;
    }
    // The two bytes after the segment (the tag that ends it, or the NULs
    // after the text) become its end while it is drawn; this scan has read
    // past them already and reads them no more.
    char* const at = r_.rebuilt_.data() + (end_ - r_.rebuilt_.data());
    struct Restore {
      char* at;
      char kept[2];
      ~Restore() {
        at[0] = kept[0];
        at[1] = kept[1];
      }
    } restore{at, {at[0], at[1]}};
    at[0] = '\0';
    at[1] = '\0';
    r_.DrawSegment(begin_, message_);
  }

 private:
  void Append(std::string_view piece) {
    if (inPlace_) {
      if (piece.data() == end_) {
        end_ += piece.size();
        return;
      }
      r_.segment_.assign(begin_, end_);
      inPlace_ = false;
    }
    r_.segment_.append(piece);
  }

  TScriptRenderer& r_;
  const TMessageItem& message_;
  const bool direct_;
  TBalloonText balloon_;  // the segment at hand's, when direct_
  // Otherwise the segment at hand is [begin_, end_) of the rebuilt script while
  // inPlace_, else in segment_.
  const char* begin_;
  const char* end_;
  bool inPlace_ = true;
};

void TScriptRenderer::AppendRenderedScript(const TMessageItem& message, std::string& out) {
  speaker_ = 0;
  sync_ = false;
  surface0_ = 0;
  surface1_ = 10;
  balloonBreaks_ = false;
  tidyEnded_ = false;
  for (BalloonEdges& edges : edges_) edges.valid = false;
  // Balloons are written straight after what `out` holds and tidied there.
  out_ = &out;
  tidyFrom_ = out.size();
  images_ = &imageTags_[message.GhostName];

  rebuilt_.clear();
  named_.clear();
  {
    TOutputs outputs(*this);
    parser_.Scan(message.Script, scanBuffers_, outputs);
  }
  rebuilt_.append(2, '\0');
  // The script's copy is done with; the balloons hold at least the text of
  // the rebuilt script, which has room made for it at once rather than by
  // doubling, when a whole page's worth would be copied.
  ReleaseIfLarge(scanBuffers_.work);
  out.reserve(out.size() + rebuilt_.size() + rebuilt_.size() / 8);
  WantSurfaces(message);
  {
    TSegments segments(*this, message);
    parser_.ScanTerminated(rebuilt_.data(), scanBuffers_, segments);
    segments.Finish();
  }
  out_ = nullptr;
  TidyBreaks(out, tidyFrom_);
  // A very long message leaves no buffers of its size behind for the rest
  // of the run.
  ReleaseIfLarge(rebuilt_);
  ReleaseIfLarge(segment_);
  ReleaseIfLarge(segmentBuffers_.work);
}

void TScriptRenderer::SetSpill(std::function<void(std::string&)> spill, std::size_t bytes) {
  spill_ = std::move(spill);
  spillBytes_ = bytes;
}

// Between balloons, so what is spilled is tidied as the whole message would
// be: no "<br>" run or leading break spans a balloon's edge.
void TScriptRenderer::SpillIfLarge() {
  if (!spill_ || out_->size() < spillBytes_) return;
  TidyBreaks(*out_, tidyFrom_);
  spill_(*out_);
  out_->clear();
  tidyFrom_ = 0;
}

// Pass 6, over the message's balloons where they stand in `out`, from
// `start` up to the first NUL (a ghost name may hold one, and it shows in
// the pictures' alt texts): the tidying reads no further, and nothing of the
// message after that NUL is tidied, whether it comes in this piece or later.
void TScriptRenderer::TidyBreaks(std::string& out, std::size_t start) {
  if (tidyEnded_) return;
  if (balloonBreaks_) {
    LeadingBreakStrip(awk_, out, start);
    BreakCollapse(awk_, out, start);
  }
  tidyEnded_ = out.find('\0', start) != std::string::npos;
}

// Pass 1: only surfaces named by a tag are wanted (and asked of the plugins
// only when their cache file is missing).
void TScriptRenderer::WantSurfaces(const TMessageItem& message) {
  for (const int32_t n : named_) {
    std::string key = SurfaceKey(n, message.GhostName);
    if (checkedSurfaceFiles_.count(key) != 0) continue;
    surfaces_.Want(message.GhostName, n);
    checkedSurfaceFiles_.insert(std::move(key));
  }
}

void TScriptRenderer::DrawSegment(const char* segment, const TMessageItem& message) {
  TBalloonText balloon(*this, message);
  parser_.ScanTerminated(segment, segmentBuffers_, balloon);
  balloon.Finish();
}

void TScriptRenderer::UpdateState(std::string_view tag) {
  if (tag == "\\0"sv || tag == "\\h"sv) {
    speaker_ = 0;
  } else if (tag == "\\1"sv || tag == "\\u"sv) {
    speaker_ = 1;
  } else if (tag == "\\_s"sv) {
    sync_ = !sync_;
  } else if (IsSurface(tag)) {
    const int n = *SurfaceOf(tag);
    if (sync_) {
      surface0_ = n;
      surface1_ = n;
    } else if (speaker_ == 0) {
      surface0_ = n;
    } else {
      surface1_ = n;
    }
  }
  // "\c" only starts a new balloon.
}

const std::string& TScriptRenderer::ImageTag(int surface, const std::string& ghostName) {
  auto found = images_->find(surface);
  if (found == images_->end()) {
    found = images_->emplace(surface, SurfaceImageTag(cacheDir_, surface, ghostName)).first;
  }
  return found->second;
}

// The markup before and after a balloon's text depends only on the render
// state (and the message's ghost). Scripts switch among a few states, so the
// last few are kept.
const TScriptRenderer::BalloonEdges& TScriptRenderer::Edges(const TMessageItem& message) {
  const BalloonState state{sync_, speaker_, surface0_, surface1_};
  for (const BalloonEdges& kept : edges_) {
    if (kept.valid && kept.state == state) return kept;
  }
  BalloonEdges& edges = edges_[nextEdges_];
  nextEdges_ = (nextEdges_ + 1) % edges_.size();
  edges.state = state;
  edges.valid = true;
  std::string& head = edges.head;
  std::string& tail = edges.tail;
  head.clear();
  tail.clear();
  if (sync_) {
    if (emulation_) {
      head += "<div align=\"center\"><table border=\"0\" summary=\"";
      head += SyncSummary();
      head += "\"><tr bgcolor=\"#7FFFD4\"><td>";
      head += ImageTag(surface1_, message.GhostName);
      head += "</td><td>";
      tail += "</td><td>";
      tail += ImageTag(surface0_, message.GhostName);
      tail += "</td></tr></table></div>";
    } else {
      head += "<div align=\"left\"><table border=\"0\" summary=\"";
      head += SyncSummary();
      head += "\"><tr bgcolor=\"#7FFFD4\"><td>";
      head += ImageTag(surface0_, message.GhostName);
      head += ImageTag(surface1_, message.GhostName);
      head += "</td><td width=\"100%\">";
      tail += "</td></tr></table></div>";
    }
  } else if (speaker_ == 0) {
    if (emulation_) {
      head += "<div align=\"right\"><table border=\"0\" summary=\"\\0\"><tr bgcolor=\"#FFB6C1\">"
              "<td width=\"100%\">";
      tail += "</td><td>";
      tail += ImageTag(surface0_, message.GhostName);
      tail += "</td></tr></table></div>";
    } else {
      head += "<div align=\"left\"><table border=\"0\" summary=\"\\0\"><tr bgcolor=\"#FFB6C1\"><td>";
      head += ImageTag(surface0_, message.GhostName);
      head += "</td><td width=\"100%\">";
      tail += "</td></tr></table></div>";
    }
  } else {
    head += "<div align=\"left\"><table border=\"0\" summary=\"\\1\"><tr bgcolor=\"#B0C4DE\"><td>";
    head += ImageTag(surface1_, message.GhostName);
    head += "</td><td width=\"100%\">";
    tail += "</td></tr></table></div>";
  }
  tail += "\r\n";
  return edges;
}

}  // namespace hollowmere
