// Where the Voyla service lives: one host for the log script and the vote
// script. The environment variable HOLLOWMERE_SERVICE points every request
// at another server, such as the stand-in of tools/voyla-standin.
//
// The variable names a server and nothing more: "host", "host:port" or
// "[IPv6 address]:port" (the port may be left off), optionally after
// "http://" in any case and before one "/". Anything else (a path, a query,
// a fragment, user and password, another scheme) is refused as a whole
// rather than cut to something that looks right: a value such as
// "voyla.example.net@127.0.0.1" would otherwise send the requests to one
// host while every message names another.
#pragma once

#include <string>

#include "text/Error.h"

namespace hollowmere {

inline constexpr const char* kServiceHost = "voyla.example.net";
inline constexpr const char* kServiceVariable = "HOLLOWMERE_SERVICE";

// A value of the variable that names no server; the message says what was
// given and what is taken.
class EServiceHostError : public Error {
 public:
  using Error::Error;
};

// `override`: the variable's value, or null when it is not set. An empty or
// blank value counts as not set. The result is "host" or "host:port" (with
// the brackets of an IPv6 address), as a URL takes it after "http://".
// Throws EServiceHostError for a value of any other form.
std::string ServiceHost(const char* override);

// "http://" + host: the service's address that the log request's path follows.
std::string ServiceAddress(const std::string& host);

}  // namespace hollowmere
