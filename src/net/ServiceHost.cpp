// The service host and its override.
#include "net/ServiceHost.h"

namespace hollowmere {

std::string ServiceHost(const char* override) {
  if (override == nullptr) return kServiceHost;
  std::string value(override);
  const auto first = value.find_first_not_of(" \t");
  if (first == std::string::npos) return kServiceHost;
  const auto last = value.find_last_not_of(" \t");
  std::string host = value.substr(first, last - first + 1);
  // Also taken as written in a browser: "http://host:port/".
  if (host.rfind("http://", 0) == 0) host.erase(0, 7);
  while (!host.empty() && host.back() == '/') host.pop_back();
  return host.empty() ? std::string(kServiceHost) : host;
}

std::string ServiceAddress(const std::string& host) { return "http://" + host; }

}  // namespace hollowmere
