// Finds the ghosts running on the desktop: reads the FMO blocks the baseware
// publishes, each under its named mutex, and parses their lines
// (id "." key 0x01 value) into one entry per ghost id.
//
// Invariants: entries are in order of first appearance and live only until
// the next Detect; a block's mutex is held only while the block is copied,
// never while it is parsed; mutex handles are opened once per name and kept
// until the seeker goes. Parsing costs time linear in the block's size.
// Not thread-safe: one thread at a time.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/FmoSource.h"
#include "text/Error.h"

namespace hollowmere {

// The seeker's failures: "Mutexハンドルを取得できませんでした",
// "Mutex同期タイムアウト", "FMOを取得できませんでした".
class ESakuraSeekerError : public Error {
 public:
  using Error::Error;
};

class TSakuraSeeker;

// One ghost of the FMO.
class TSakuraProcess {
 public:
  TSakuraProcess(TSakuraSeeker* owner, std::string id, std::string fmoName);
  TSakuraProcess(const TSakuraProcess&) = delete;
  TSakuraProcess& operator=(const TSakuraProcess&) = delete;

  // Keys match without regard to the case of ASCII letters. An empty value
  // removes the key, so a key is never present with an empty value.
  void SetValue(std::string_view key, std::string_view value);
  // The key's value; empty when absent.
  std::string GetValue(std::string_view key) const;
  // Every key and value as "key=value", in the order the keys were first set.
  std::vector<std::string> Values() const;

  // The "hwnd" value as a decimal integer; 0 when absent or not a number.
  std::int32_t HWnd() const;
  std::string Name() const { return GetValue("name"); }
  std::string KeroName() const { return GetValue("keroname"); }
  // "name" + "," + "keroname".
  std::string GhostNames() const { return Name() + "," + KeroName(); }

  const std::string& Id() const { return id_; }
  // The block in which the id was first seen.
  const std::string& FmoName() const { return fmoName_; }
  TSakuraSeeker* Owner() const { return owner_; }

 private:
  std::list<std::pair<std::string, std::string>> values_;
  // By key with ASCII letters folded.
  std::unordered_map<std::string, std::list<std::pair<std::string, std::string>>::iterator> byKey_;
  std::string id_;
  std::string fmoName_;
  TSakuraSeeker* owner_;
};

class TSakuraSeeker {
 public:
  using TNotifyEvent = std::function<void(TSakuraSeeker& sender)>;
  // Called with the block's name in `name`; the name it leaves names the mutex.
  using TSakuraSeekerGetMutexNameEvent = std::function<void(TSakuraSeeker& sender, std::string& name)>;

  static constexpr std::chrono::milliseconds kMutexWait{3000};

  explicit TSakuraSeeker(IFmoSource& source, std::chrono::milliseconds mutexWait = kMutexWait);
  ~TSakuraSeeker();
  TSakuraSeeker(const TSakuraSeeker&) = delete;
  TSakuraSeeker& operator=(const TSakuraSeeker&) = delete;

  // Rebuilds the entries from every block of FileMappingTarget, in order.
  // Raises ESakuraSeekerError; the entries of the blocks read before the
  // failing one stay. A wait for a mutex ends as a time-out once `stop` is
  // requested.
  void Detect(std::stop_token stop = {});

  int Count() const { return static_cast<int>(processes_.size()); }
  TSakuraProcess& Processes(int index) { return *processes_.at(static_cast<std::size_t>(index)); }
  // The entry with exactly this id, or nullptr.
  TSakuraProcess* FindById(std::string_view id);
  // The first entry whose Name equals `name` byte for byte, or nullptr.
  TSakuraProcess* FindByName(std::string_view name);

  // The FMO names to read; "Sakura" after construction.
  const std::vector<std::string>& FileMappingTarget() const { return fileMappingTarget_; }
  void SetFileMappingTarget(const std::vector<std::string>& names) { fileMappingTarget_ = names; }

  // The text of every block of the last Detect, joined.
  const std::string& DetectionText() const { return currentText_; }

  TNotifyEvent OnAfterDetection;
  TNotifyEvent OnDetectResultChanged;
  TSakuraSeekerGetMutexNameEvent OnGetMutexName;

 private:
  void ReadFmo(const std::string& fmoName, const std::stop_token& stop);
  std::string ReadBlockText(const std::string& fmoName);
  void ParseBlock(const std::string& text, const std::string& fmoName);
  void Clear();

  IFmoSource& source_;
  std::chrono::milliseconds mutexWait_;
  std::vector<std::unique_ptr<TSakuraProcess>> processes_;
  std::unordered_map<std::string, TSakuraProcess*> byId_;
  std::string previousText_;
  std::string currentText_;
  std::vector<std::string> fileMappingTarget_{"Sakura"};
  std::map<std::string, std::unique_ptr<INamedMutex>> mutexes_;
};

}  // namespace hollowmere
