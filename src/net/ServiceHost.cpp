// The service host and its override, read strictly: each part is checked
// by itself, and the value is taken only when nothing is left over.
#include "net/ServiceHost.h"

#include <arpa/inet.h>

#include <cctype>
#include <string_view>

#include "text/Encoding.h"

namespace hollowmere {
namespace {

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
  }
  return true;
}

// A DNS name or a dotted IPv4 address: labels of letters, digits, "-" and
// "_", none empty and none over 63 bytes, with at most one final dot.
bool IsHostName(std::string_view name) {
  if (name.empty() || name.size() > 254) return false;
  if (name.back() == '.') name.remove_suffix(1);
  std::size_t label = 0;
  for (const char c : name) {
    if (c == '.') {
      if (label == 0) return false;
      label = 0;
      continue;
    }
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') return false;
    if (++label > 63) return false;
  }
  return label > 0;
}

bool IsIpv6Address(std::string_view address) {
  if (address.empty() || address.size() > 45) return false;
  const std::string text(address);
  in6_addr parsed{};
  return inet_pton(AF_INET6, text.c_str(), &parsed) == 1;
}

// 1 to 65535, digits only.
bool IsPort(std::string_view port) {
  if (port.empty() || port.size() > 5) return false;
  unsigned value = 0;
  for (const char c : port) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value >= 1 && value <= 65535;
}

bool IsServer(std::string_view server) {
  std::string_view host = server;
  std::string_view port;
  bool hasPort = false;
  if (!server.empty() && server.front() == '[') {
    const std::size_t close = server.find(']');
    if (close == std::string_view::npos) return false;
    if (!IsIpv6Address(server.substr(1, close - 1))) return false;
    const std::string_view rest = server.substr(close + 1);
    if (rest.empty()) return true;
    if (rest.front() != ':') return false;
    return IsPort(rest.substr(1));
  }
  if (const std::size_t colon = server.find(':'); colon != std::string_view::npos) {
    host = server.substr(0, colon);
    port = server.substr(colon + 1);
    hasPort = true;
  }
  return IsHostName(host) && (!hasPort || IsPort(port));
}

// The value as the message quotes it: printable ASCII as it is, any other
// byte as "\xNN" (the value is in the system's encoding, not the
// program's), and no more than 100 bytes of it.
std::string Quoted(std::string_view value) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (std::size_t i = 0; i < value.size() && i < 100; ++i) {
    const auto b = static_cast<unsigned char>(value[i]);
    if (b >= 0x20 && b < 0x7F) {
      out += static_cast<char>(b);
    } else {
      out += "\\x";
      out += hex[b >> 4];
      out += hex[b & 0xF];
    }
  }
  if (value.size() > 100) out += "...";
  return out + "\"";
}

}  // namespace

std::string ServiceHost(const char* override) {
  if (override == nullptr) return kServiceHost;
  std::string_view value(override);
  const auto first = value.find_first_not_of(" \t");
  if (first == std::string_view::npos) return kServiceHost;
  value = value.substr(first, value.find_last_not_of(" \t") - first + 1);
  // Also taken as written in a browser: "http://host:port/".
  std::string_view server = value;
  if (StartsWithNoCase(server, "http://")) server.remove_prefix(7);
  if (!server.empty() && server.back() == '/') server.remove_suffix(1);
  if (!IsServer(server)) {
    throw EServiceHostError(
        text::Sjis("環境変数 ") + kServiceVariable + text::Sjis(" の値 ") + Quoted(value) +
        text::Sjis(" はサーバを指していません。host、host:port、[IPv6 アドレス]:port のどれか"
                   "(前に http://、後に / を付けてもよい)を指定してください"));
  }
  return std::string(server);
}

std::string ServiceAddress(const std::string& host) { return "http://" + host; }

}  // namespace hollowmere
