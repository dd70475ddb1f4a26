// Fuzz target for the log text (ParseLog). A text is refused, rejected with
// a format error that names a line, or read whole: one message per line
// after the third, each carrying exactly the fields of its line.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "log/MessageItem.h"
#include "text/Sjis.h"

using namespace hollowmere;
using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> lines = text::SplitLines(text);
  std::optional<std::vector<TMessageItem>> messages;
  try {
    messages = ParseLog(text);
  } catch (const ELogFormatError& e) {
    Check(std::string_view(e.what()).size() > 0, "a format error says what is wrong");
    Check(!lines.empty() && lines[0] == "Result: OK" ? lines.size() > 3 : lines.empty(),
          "only a message line or an empty text is an error");
    return 0;
  }
  if (!messages) {
    Check(!lines.empty() && lines[0] != "Result: OK", "only a first line other than Result: OK refuses");
    return 0;
  }
  Check(messages->size() == (lines.size() > 3 ? lines.size() - 3 : 0), "one message per line");
  for (std::size_t i = 0; i < messages->size(); ++i) {
    const TMessageItem& m = (*messages)[i];
    std::string_view rest = lines[i + 3];
    std::string_view fields[8];
    for (auto& field : fields) field = fuzz::TakeField(rest, '\t');
    const std::string_view stamp = fields[0].substr(0, 14);
    Check(stamp.size() == 14 && stamp.find_first_not_of("0123456789") == std::string_view::npos,
          "the stamp is 14 digits");
    Check(m.PostedAt.Month >= 1 && m.PostedAt.Month <= 12 && m.PostedAt.Day >= 1 && m.PostedAt.Day <= 31 &&
              m.PostedAt.Hour <= 23 && m.PostedAt.Minute <= 59 && m.PostedAt.Second <= 59,
          "the stamp is a date and time");
    Check(m.Headers.size() == 5, "five header lines");
    Check(m.HeaderValue("MID") == fields[1] && m.HeaderValue("Channel") == fields[2] &&
              m.HeaderValue("Connection") == fields[4] && m.HeaderValue("Vote") == fields[5] &&
              m.HeaderValue("Agree") == fields[6],
          "headers hold their fields");
    Check(m.GhostName == fields[3] && m.Script == fields[7], "ghost name and script are their fields");
  }
  return 0;
}
