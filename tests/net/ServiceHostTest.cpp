// The service host override takes a server and nothing more: every value
// that would send a request somewhere other than where its messages say,
// or with a path, query or password, is refused with a message that
// quotes it.
#include "net/ServiceHost.h"

#include <gtest/gtest.h>

#include "text/Encoding.h"

namespace hollowmere {
namespace {

TEST(ServiceHostTest, AcceptedFormsNameTheServer) {
  struct Case {
    const char* value;  // null: the variable is not set
    const char* host;
  };
  const Case cases[] = {
      {nullptr, "voyla.example.net"}, {"", "voyla.example.net"}, {" \t ", "voyla.example.net"},
      {"127.0.0.1", "127.0.0.1"}, {"127.0.0.1:8080", "127.0.0.1:8080"}, {" localhost:8080\t", "localhost:8080"},
      {"http://127.0.0.1:8080/", "127.0.0.1:8080"}, {"HTTP://Voyla.Example.NET", "Voyla.Example.NET"},
      {"HtTp://host_1.example:1/", "host_1.example:1"}, {"host.example.:65535", "host.example.:65535"},
      {"[::1]:8080", "[::1]:8080"}, {"http://[2001:db8::7]/", "[2001:db8::7]"}, {"example/", "example"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "(unset)");
    EXPECT_EQ(ServiceHost(c.value), c.host);
  }
}

TEST(ServiceHostTest, EveryOtherFormIsRefusedWithItsValueQuoted) {
  // A path the request's own would follow, a fragment that would drop the
  // query, a query, credentials in clear text, a host that is not the one
  // connected to; other schemes; empty, zero, large, signed or doubled
  // ports; bad names; unclosed, bad or trailed IPv6; control bytes and a
  // name in the system's UTF-8.
  const char* const refused[] = {
      "host:8080/evil?x=", "host:8080#f", "host:8080?recent=1", "user:secret@host:8080",
      "voyla.example.net@127.0.0.1:8080", "https://host", "ftp://host", "http://", "http:///", "host//",
      "//host", "host:", "host:0", "host:65536", "host:123456", "host:80a", "host:+80", "host:80:81",
      "ho st", "host..example", ".host", "[::1", "[]:80", "[127.0.0.1]:80", "[::1]x", "[::1]:", "::1",
      "ho\x1bst", "\xe3\x83\x9b\xe3\x82\xb9\xe3\x83\x88",
  };
  for (const char* value : refused) {
    SCOPED_TRACE(value);
    try {
      ServiceHost(value);
      ADD_FAILURE() << "accepted";
    } catch (const EServiceHostError& e) {
      const std::string message = e.what();
      EXPECT_EQ(message.rfind(text::Sjis("環境変数 HOLLOWMERE_SERVICE の値 \""), 0), 0u) << message;
      EXPECT_NO_THROW(text::Cp932ToUtf8(message)) << message;
      for (const char ch : message) EXPECT_GE(static_cast<unsigned char>(ch), 0x20) << message;
    }
  }
  // The value is quoted as given, its odd bytes as hex, and no more than
  // 100 bytes of it.
  const auto message = [](const std::string& value) {
    try {
      ServiceHost(value.c_str());
    } catch (const EServiceHostError& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  EXPECT_NE(message("user:secret@h:1").find("\"user:secret@h:1\""), std::string::npos);
  EXPECT_NE(message("h\x1b\xe3x").find("\"h\\x1B\\xE3x\""), std::string::npos);
  EXPECT_NE(message(std::string(300, '/')).find("\"" + std::string(100, '/') + "...\""), std::string::npos);
}

}  // namespace
}  // namespace hollowmere
