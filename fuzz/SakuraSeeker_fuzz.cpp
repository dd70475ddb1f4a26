// Fuzz target for the FMO (TSakuraSeeker) over the in-memory baseware of the
// tests. First byte: how many blocks are read (1 to 3) and under which
// names; the rest is the blocks' bytes (size field, text, anything after),
// separated by "|||"; an empty piece is a block that does not exist. Detect
// either reads every block or stops with "FMOを取得できませんでした" at the
// first whose text is longer than its size field, keeping the entries of
// the blocks before it; entries are the ids of the lines, in order of first
// appearance.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "ghost/SakuraSeeker.h"
#include "platform/PollMainLoop.h"
#include "support/FakeBaseware.h"
#include "text/Encoding.h"
#include "text/Sjis.h"

using namespace hollowmere;
using fuzz::Check;

namespace {

// The text of a block, or nullopt when it is longer than its size field.
std::optional<std::string> BlockText(const std::string& bytes) {
  if (bytes.size() < 4) return std::string();
  std::uint32_t field = 0;
  for (int i = 3; i >= 0; --i) field = (field << 8) | static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
  const std::string text = bytes.substr(4, bytes.find('\0', 4) - 4);
  if (static_cast<std::int64_t>(text.size()) > static_cast<std::int32_t>(field)) return std::nullopt;
  return text;
}

std::string IdOf(const std::string& line) {
  const std::size_t dot = text::Find(line, ".");
  return dot == std::string::npos ? std::string() : line.substr(0, dot);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static TPollMainLoop loop;
  if (size == 0) return 0;
  static const char* const kNames[] = {"Sakura", "Other", "Sakura"};
  const std::size_t count = 1 + data[0] % 3;
  std::vector<std::string> targets(kNames, kNames + count);
  if (data[0] & 0x80) std::swap(targets.front(), targets.back());

  testing::FakeBaseware baseware(loop);
  std::map<std::string, std::string> blocks;
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  for (std::size_t i = 0; i < 2 && !rest.empty(); ++i) {
    const std::size_t cut = rest.find("|||");
    const std::string piece(rest.substr(0, cut));
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 3);
    if (!piece.empty()) blocks[kNames[i]] = piece;
  }
  for (const auto& [name, bytes] : blocks) baseware.SetBlock(name, bytes);

  // What Detect must find: entries by id, and where it must stop.
  std::vector<std::string> ids;
  std::map<std::string, std::string> firstBlock;
  std::string joined;
  bool refused = false;
  for (const std::string& name : targets) {
    const auto found = blocks.find(name);
    const auto text = found == blocks.end() ? std::optional<std::string>("") : BlockText(found->second);
    if (!text) {
      refused = true;
      break;
    }
    for (const std::string& line : text::SplitLines(*text)) {
      if (firstBlock.emplace(IdOf(line), name).second) ids.push_back(IdOf(line));
    }
    joined += *text;
  }

  TSakuraSeeker seeker(baseware, std::chrono::milliseconds(10));
  seeker.SetFileMappingTarget(targets);
  int changes = 0;
  seeker.OnDetectResultChanged = [&](TSakuraSeeker&) { ++changes; };
  for (int round = 0; round < 2; ++round) {
    try {
      seeker.Detect();
      Check(!refused, "a text longer than its size field is refused");
      Check(seeker.DetectionText() == joined, "the detection text is every block's text");
    } catch (const ESakuraSeekerError& e) {
      Check(refused && e.what() == text::Sjis("FMOを取得できませんでした"), "only an overlong text is refused");
    }
    Check(seeker.Count() == static_cast<int>(ids.size()), "one entry per id");
    for (int i = 0; i < seeker.Count(); ++i) {
      TSakuraProcess& p = seeker.Processes(i);
      Check(p.Id() == ids[static_cast<std::size_t>(i)] && seeker.FindById(p.Id()) == &p, "entries in order of ids");
      Check(p.FmoName() == firstBlock[p.Id()], "an entry belongs to the block that first named it");
      for (const std::string& kv : p.Values()) {
        // A key may hold "=" itself: one of the splits is the right one.
        bool found = false;
        for (std::size_t eq = kv.find('='); eq != std::string::npos && !found; eq = kv.find('=', eq + 1)) {
          found = eq + 1 < kv.size() && p.GetValue(kv.substr(0, eq)) == kv.substr(eq + 1);
        }
        Check(found, "a key finds its value, never an empty one");
      }
      (void)p.HWnd();
      int first = 0;
      while (seeker.Processes(first).Name() != p.Name()) ++first;
      Check(seeker.FindByName(p.Name()) == &seeker.Processes(first), "a name finds its first entry");
    }
  }
  Check(changes == (!refused && !joined.empty() ? 1 : 0), "a change is told once");
  return 0;
}
