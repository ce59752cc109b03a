#pragma once
// Turns the host of an OSC destination into a numeric address, so that
// liblo never has to look a name up itself.

#include <functional>
#include <string>

// True with the address in strAddress ("192.168.1.20"); false with the
// reason in strError. May wait for the resolver as long as it takes.
using OscLookup = std::function<bool(const std::string& strHost, const std::string& strPort,
                                     std::string& strAddress, std::string& strError)>;

// The system's resolver. An IPv4 address is preferred: every liblo build
// sends to one, not every build to IPv6.
bool LookUpOscHost(const std::string& strHost, const std::string& strPort, std::string& strAddress,
                   std::string& strError);
