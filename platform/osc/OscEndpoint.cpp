#include "platform/osc/OscEndpoint.h"

namespace {

bool IsPort(const std::string& s) {
    if (s.empty() || s.size() > 5) return false;
    unsigned n = 0;
    for (const char c : s) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    return n >= 1 && n <= 65535;
}

}  // namespace

bool ParseOscEndpoint(const std::string& text, const char* szDefaultHost, OscEndpoint& out) {
    std::string host;
    std::string port;
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
        if (!szDefaultHost) return false;
        host = szDefaultHost;
        port = text;
    } else {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        // An IPv6 address has colons of its own: it comes in brackets.
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
            host = host.substr(1, host.size() - 2);
        } else if (host.find(':') != std::string::npos) {
            return false;
        }
    }
    if (host.empty() || !IsPort(port)) return false;
    out.strHost = host;
    out.strPort = port;
    return true;
}
