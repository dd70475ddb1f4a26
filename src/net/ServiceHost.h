// Where the Voyla service lives: one host for the log script and the vote
// script. The environment variable HOLLOWMERE_SERVICE ("host" or
// "host:port", or "http://host:port/") points every request at another
// server, such as the stand-in of tools/voyla-standin.
#pragma once

#include <string>

namespace hollowmere {

inline constexpr const char* kServiceHost = "voyla.example.net";
inline constexpr const char* kServiceVariable = "HOLLOWMERE_SERVICE";

// `override`: the variable's value, or null when it is not set. An empty or
// blank value counts as not set.
std::string ServiceHost(const char* override);

// "http://" + host: the service's address that the log request's path follows.
std::string ServiceAddress(const std::string& host);

}  // namespace hollowmere
