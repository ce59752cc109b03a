#pragma once
// Where OSC messages go or come in, as a user writes it: "host:port",
// "[v6-address]:port", or, where a default host is given, "port" alone.

#include <string>

struct OscEndpoint {
    std::string strHost;
    std::string strPort;  // decimal, 1 to 65535
};

// False for anything else: an empty host, a port that is not a whole number
// from 1 to 65535, a missing port.
bool ParseOscEndpoint(const std::string& text, const char* szDefaultHost, OscEndpoint& out);
