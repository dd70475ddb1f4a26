// Script-to-HTML conversion in six passes over the shared tokenizer: fetch
// missing surface pictures, decide each token's output, re-tokenize the
// result, cut it into segments at the surviving tags, build one balloon per
// segment, and tidy the line breaks.
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

// Whether a token takes part as a tag. A surface tag whose number is no
// 32-bit integer ("\s[2147483648]") does not: like "\s[smile]", which no
// tag line takes, it is shown as the text it is, and the message and the
// pages after it render as usual.
bool CountsAsTag(const TSsMarkUp& token) {
  return token.MarkUpType == mtTag &&
         (!IsSurfaceTag(token.Str) || TrySurfaceNumber(token.Str).has_value());
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

void TScriptRenderer::AppendRenderedScript(const TMessageItem& message, std::string& out) {
  speaker_ = 0;
  sync_ = false;
  surface0_ = 0;
  surface1_ = 10;
  balloonBreaks_ = false;
  for (BalloonEdges& edges : edges_) edges.valid = false;
  // Balloons are written straight after what `out` holds; only when line
  // breaks need tidying are they taken out, tidied and put back.
  out_ = &out;
  const std::size_t start = out.size();
  images_ = &imageTags_[message.GhostName];

  parser_.SetInputString(message.Script);
  FetchMissingSurfaces(message);
  DecideTokenOutputs();
  TokenizeAgain(rebuilt_);
  CutSegments();
  AppendBalloons(message);
  out_ = nullptr;
  if (!balloonBreaks_) return;
  balloons_.assign(out, start);
  out.resize(start);
  // Moved through both steps and back, so the buffer is reused next time.
  balloons_ = BreakCollapse(awk_, LeadingBreakStrip(awk_, std::move(balloons_)));
  out += balloons_;
}

// Pass 1: only surfaces named by a tag are wanted (and asked of the plugins
// only when their cache file is missing).
void TScriptRenderer::FetchMissingSurfaces(const TMessageItem& message) {
  const int count = parser_.Count();
  for (int i = 0; i < count; ++i) {
    const TSsMarkUp& token = parser_.MarkUp(i);
    if (token.MarkUpType != mtTag || !IsSurfaceTag(token.Str)) continue;
    const std::optional<int32_t> number = TrySurfaceNumber(token.Str);
    if (!number) continue;
    const int n = *number;
    std::string key = SurfaceKey(n, message.GhostName);
    if (checkedSurfaceFiles_.count(key) != 0) continue;
    surfaces_.Want(message.GhostName, n);
    checkedSurfaceFiles_.insert(std::move(key));
  }
}

// Pass 2 and the first half of pass 3: every token's output, joined, is the
// text to tokenize again. The outputs go straight into that text; nothing
// else would read them from the tokens' Extra.
void TScriptRenderer::DecideTokenOutputs() {
  const int count = parser_.Count();
  rebuilt_.clear();
  for (int i = 0; i < count; ++i) {
    const TSsMarkUp& token = parser_.MarkUp(i);
    if (!CountsAsTag(token)) {
      text::AppendEntityEscaped(rebuilt_, token.Str);
      continue;
    }
    const std::string_view tag = token.Str;
    if (IsSpeakerTag(tag) || IsSurfaceTag(token.Str)) {
      rebuilt_ += tag;
    } else if (tag == "\\n"sv || tag == "\\n[half]"sv) {
      rebuilt_ += "<br>";
    } else if (tag == "\\_s"sv) {
      rebuilt_ += tag;
    } else if (tag.substr(0, 4) == "\\URL"sv) {
      rebuilt_ += UrlTagToHtml(token.Str);
    } else if (tag == "\\c"sv) {
      rebuilt_ += tag;
    }
    // Any other tag vanishes: its output is empty.
  }
}

// Pass 4: a segment is a tag with the text after it up to the next tag; the
// first one is whatever comes before the first tag, often nothing.
void TScriptRenderer::CutSegments() {
  // The segments, one after another in one text, and where each ends.
  segmentBytes_.clear();
  segmentEnds_.clear();
  const int count = parser_.Count();
  for (int i = 0; i < count; ++i) {
    const TSsMarkUp& token = parser_.MarkUp(i);
    if (CountsAsTag(token)) segmentEnds_.push_back(segmentBytes_.size());
    segmentBytes_ += token.Str;
  }
  segmentEnds_.push_back(segmentBytes_.size());
}

// Within one message, after its script was tokenized: a text that is the
// very one tokenized last (a pass changed nothing, or no tag cut the text
// into segments) already has its tokens, so only another text is tokenized,
// unless a hook might answer differently the second time.
void TScriptRenderer::TokenizeAgain(std::string_view text) {
  if (!parser_.OnParse && parser_.InputString() == text) return;
  parser_.SetInputString(text);
}

// Pass 5.
void TScriptRenderer::AppendBalloons(const TMessageItem& message) {
  std::size_t begin = 0;
  for (const std::size_t end : segmentEnds_) {
    TokenizeAgain(std::string_view(segmentBytes_).substr(begin, end - begin));
    begin = end;
    const int count = parser_.Count();
    std::string& segmentText = segmentText_;
    segmentText.clear();
    for (int i = 0; i < count; ++i) {
      const TSsMarkUp& token = parser_.MarkUp(i);
      if (!CountsAsTag(token)) segmentText += token.Str;
    }
    if (segmentText.find('\\') != std::string::npos && text::Contains(segmentText, "\\\\")) {
      segmentText = text::ReplaceAll(segmentText, "\\\\", "\\");
    }

    if (count > 0 && CountsAsTag(parser_.MarkUp(0))) {
      const std::string& tag = parser_.MarkUp(0).Str;
      const std::string_view view = tag;
      if (view == "\\0"sv || view == "\\h"sv) {
        speaker_ = 0;
      } else if (view == "\\1"sv || view == "\\u"sv) {
        speaker_ = 1;
      } else if (view == "\\_s"sv) {
        sync_ = !sync_;
      } else if (IsSurfaceTag(tag)) {
        const int n = *TrySurfaceNumber(tag);
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

    if (!HasMoreThanBreaks(segmentText)) continue;
    // The balloon markup around the texts holds no "<br>", nor can one
    // span a text's edge (the markup there begins and ends with a tag), so
    // the texts alone tell whether the line breaks need tidying.
    if (!balloonBreaks_) balloonBreaks_ = segmentText.find("<br>") != std::string::npos;
    AppendBalloon(message, segmentText);
  }
}

const std::string& TScriptRenderer::ImageTag(int surface, const std::string& ghostName) {
  auto found = images_->find(surface);
  if (found == images_->end()) {
    found = images_->emplace(surface, SurfaceImageTag(cacheDir_, surface, ghostName)).first;
  }
  return found->second;
}

void TScriptRenderer::AppendBalloon(const TMessageItem& message, const std::string& text) {
  const BalloonEdges& edges = Edges(message);
  std::string& out = *out_;
  out += edges.head;
  out += text;
  out += edges.tail;
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
