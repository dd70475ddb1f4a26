// Fuzz target for what reaches the SSTP sender's reply window: the bytes of
// one connection, read as WM_COPYDATA frames by the reply window's frame
// reader in pieces of a given size, and every whole frame handed to the
// sender (TDirectSSTP over the in-memory baseware) as a ghost's answer.
// First byte: how many messages wait in the sender's queue (0 to 3); second
// byte: the size of the pieces the bytes arrive in (0: all at once); then
// the bytes. The frames read must be those the bytes hold, up to one that
// is cut short or announces too much; each answer sets LastReply to its text
// up to the first NUL, and only one beginning "SSTP/1.4 200 OK" takes the
// head off the queue.
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "ghost/DirectSstpSend.h"
#include "platform/PollMainLoop.h"
#include "platform/SocketWindows.h"
#include "support/FakeBaseware.h"

using namespace hollowmere;
using namespace std::chrono_literals;
using fuzz::Check;

namespace {

std::uint32_t Le32(std::string_view s, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 4; i > 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i - 1]);
  return v;
}

// The frames in `bytes`, read without the reader's piecewise bookkeeping.
std::vector<TCopyData> Frames(std::string_view bytes) {
  std::vector<TCopyData> frames;
  std::size_t at = 0;
  while (bytes.size() - at >= kCopyDataHeaderBytes) {
    const std::uint32_t size = Le32(bytes, at + 8);
    if (size > kMaxCopyDataBytes || bytes.size() - at - kCopyDataHeaderBytes < size) break;
    frames.push_back({Le32(bytes, at), Le32(bytes, at + 4), std::string(bytes.substr(at + 12, size))});
    at += kCopyDataHeaderBytes + size;
  }
  return frames;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static TPollMainLoop loop;
  static const TMessageItem records[3] = {};
  if (size < 2) return 0;
  const std::size_t queued = data[0] % 4;
  const std::size_t piece = data[1] == 0 ? size : data[1];
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);

  std::vector<TCopyData> read;
  TCopyDataFrameReader reader;
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t taken = reader.Take(bytes.data() + at, std::min(piece, bytes.size() - at));
    Check(taken > 0 || reader.State() != TCopyDataFrameReader::EState::Reading, "a reading frame takes bytes");
    at += taken;
    if (reader.State() == TCopyDataFrameReader::EState::Refused) break;
    if (reader.State() == TCopyDataFrameReader::EState::Whole) {
      read.push_back(reader.TakeMessage());
      reader = TCopyDataFrameReader();
    }
  }
  const std::vector<TCopyData> expected = Frames(bytes);
  Check(read.size() == expected.size(), "every whole frame is read, and nothing more");
  for (std::size_t i = 0; i < read.size(); ++i) {
    Check(read[i].Sender == expected[i].Sender && read[i].DwData == expected[i].DwData &&
              read[i].Bytes == expected[i].Bytes,
          "a frame is read as it was sent");
  }

  testing::FakeBaseware baseware(loop);
  // The worker never passes: only the reply window is under test.
  TDirectSSTP sender({loop, baseware.Parts(), {}, {}}, TSstpTiming{24h, 1ms, 1ms});
  for (std::size_t i = 0; i < queued; ++i) sender.Enqueue(records[i]);
  std::size_t left = queued;
  for (const TCopyData& answer : read) {
    baseware.PostTo(sender.ReplyWindow(), answer);
    loop.ServePending();
    const std::string text = answer.Bytes.substr(0, answer.Bytes.find('\0'));
    Check(sender.LastReply() == text, "the last reply is the answer's text");
    if (left > 0 && text.rfind(kSstpOk, 0) == 0) --left;
    Check(sender.QueueLength() == left, "only an acknowledgement takes the head off");
  }
  return 0;
}
