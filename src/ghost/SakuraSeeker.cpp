// FMO reading and parsing. A block is the 4-byte little-endian size field
// and then the text up to the first NUL; a text longer than its size field
// is refused. Only as many bytes as the size field allows (and one more, to
// tell a longer text) are ever copied, whatever the block's length.
#include "ghost/SakuraSeeker.h"

#include <algorithm>
#include <cstring>

#include "text/Encoding.h"
#include "text/Numbers.h"
#include "text/Sjis.h"

namespace hollowmere {
namespace {

std::string FoldKey(std::string_view key) {
  std::string folded(key);
  for (std::size_t i = 0; i < folded.size(); i += text::CharLength(folded, i)) {
    const char c = folded[i];
    if (c >= 'A' && c <= 'Z') folded[i] = static_cast<char>(c + 32);
  }
  return folded;
}

// Holds the mutex from a successful wait to the end of the scope.
class TMutexHold {
 public:
  explicit TMutexHold(INamedMutex& mutex) : mutex_(mutex) {}
  ~TMutexHold() { mutex_.Release(); }
  TMutexHold(const TMutexHold&) = delete;
  TMutexHold& operator=(const TMutexHold&) = delete;

 private:
  INamedMutex& mutex_;
};

}  // namespace

TSakuraProcess::TSakuraProcess(TSakuraSeeker* owner, std::string id, std::string fmoName)
    : id_(std::move(id)), fmoName_(std::move(fmoName)), owner_(owner) {}

void TSakuraProcess::SetValue(std::string_view key, std::string_view value) {
  const std::string folded = FoldKey(key);
  const auto found = byKey_.find(folded);
  if (value.empty()) {
    if (found != byKey_.end()) {
      values_.erase(found->second);
      byKey_.erase(found);
    }
    return;
  }
  if (found != byKey_.end()) {
    found->second->second = value;
    return;
  }
  values_.emplace_back(std::string(key), std::string(value));
  byKey_.emplace(folded, std::prev(values_.end()));
}

std::string TSakuraProcess::GetValue(std::string_view key) const {
  const auto found = byKey_.find(FoldKey(key));
  return found == byKey_.end() ? std::string() : found->second->second;
}

std::vector<std::string> TSakuraProcess::Values() const {
  std::vector<std::string> lines;
  lines.reserve(values_.size());
  for (const auto& [key, value] : values_) lines.push_back(key + "=" + value);
  return lines;
}

std::int32_t TSakuraProcess::HWnd() const { return text::TryDecimalToInt(GetValue("hwnd")).value_or(0); }

TSakuraSeeker::TSakuraSeeker(IFmoSource& source, std::chrono::milliseconds mutexWait)
    : source_(source), mutexWait_(mutexWait) {}

TSakuraSeeker::~TSakuraSeeker() = default;

void TSakuraSeeker::Clear() {
  byId_.clear();
  processes_.clear();
}

TSakuraProcess* TSakuraSeeker::FindById(std::string_view id) {
  const auto found = byId_.find(std::string(id));
  return found == byId_.end() ? nullptr : found->second;
}

TSakuraProcess* TSakuraSeeker::FindByName(std::string_view name) {
  for (const auto& process : processes_) {
    if (process->Name() == name) return process.get();
  }
  return nullptr;
}

void TSakuraSeeker::Detect(std::stop_token stop) {
  Clear();
  currentText_.clear();
  for (const std::string& fmoName : fileMappingTarget_) ReadFmo(fmoName, stop);
  const bool changed = currentText_ != previousText_;
  previousText_ = currentText_;
  if (changed && OnDetectResultChanged) OnDetectResultChanged(*this);
  if (OnAfterDetection) OnAfterDetection(*this);
}

void TSakuraSeeker::ReadFmo(const std::string& fmoName, const std::stop_token& stop) {
  std::string mutexName = fmoName + "FMO";
  if (OnGetMutexName) {
    mutexName = fmoName;
    OnGetMutexName(*this, mutexName);
  }
  auto cached = mutexes_.find(mutexName);
  if (cached == mutexes_.end()) {
    std::unique_ptr<INamedMutex> mutex = source_.OpenMutex(mutexName);
    if (!mutex) throw ESakuraSeekerError(text::Sjis("Mutexハンドルを取得できませんでした"));
    cached = mutexes_.emplace(mutexName, std::move(mutex)).first;
  }
  INamedMutex& mutex = *cached->second;
  if (!mutex.Wait(mutexWait_, stop)) throw ESakuraSeekerError(text::Sjis("Mutex同期タイムアウト"));
  std::string blockText;
  {
    const TMutexHold hold(mutex);
    blockText = ReadBlockText(fmoName);
  }
  ParseBlock(blockText, fmoName);
  currentText_ += blockText;
}

std::string TSakuraSeeker::ReadBlockText(const std::string& fmoName) {
  const std::unique_ptr<IFmoBlock> block = source_.OpenBlock(fmoName);
  if (!block) return std::string();
  unsigned char sizeField[4];
  // A block too short to hold its size field holds no text.
  if (block->Read(0, reinterpret_cast<char*>(sizeField), 4) < 4) return std::string();
  const auto size = static_cast<std::int32_t>(
      static_cast<std::uint32_t>(sizeField[0]) | (static_cast<std::uint32_t>(sizeField[1]) << 8) |
      (static_cast<std::uint32_t>(sizeField[2]) << 16) |
      (static_cast<std::uint32_t>(sizeField[3]) << 24));
  // One byte past the size field's word is enough to know the text is longer.
  const std::uint64_t limit = static_cast<std::uint64_t>(std::max<std::int64_t>(size, -1) + 1);
  std::string text;
  char chunk[65536];
  std::uint64_t offset = 4;
  while (text.size() < limit) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(sizeof chunk, limit - text.size()));
    const std::size_t got = block->Read(offset, chunk, want);
    if (got == 0) break;
    if (const void* nul = std::memchr(chunk, '\0', got)) {
      text.append(chunk, static_cast<const char*>(nul) - chunk);
      break;
    }
    text.append(chunk, got);
    offset += got;
  }
  if (static_cast<std::int64_t>(text.size()) > size) {
    throw ESakuraSeekerError(text::Sjis("FMOを取得できませんでした"));
  }
  return text;
}

void TSakuraSeeker::ParseBlock(const std::string& text, const std::string& fmoName) {
  for (const std::string& line : text::SplitLines(text)) {
    // 1-based positions, 0 when absent.
    const std::size_t dotAt = text::Find(line, ".");
    const std::size_t sepAt = text::Find(line, "\x01");
    const std::size_t dot = dotAt == std::string::npos ? 0 : dotAt + 1;
    const std::size_t sep = sepAt == std::string::npos ? 0 : sepAt + 1;
    const std::string id = dot > 0 ? line.substr(0, dot - 1) : std::string();
    const std::string key = sep > dot + 1 ? line.substr(dot, sep - dot - 1) : std::string();
    const std::string_view value = std::string_view(line).substr(sep);
    TSakuraProcess* process = FindById(id);
    if (process == nullptr) {
      processes_.push_back(std::make_unique<TSakuraProcess>(this, id, fmoName));
      process = processes_.back().get();
      byId_.emplace(id, process);
    }
    process->SetValue(key, value);
  }
}

}  // namespace hollowmere
