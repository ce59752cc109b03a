#include "platform/osc/OscLookup.h"

#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>

#include "platform/ErrnoText.h"

bool LookUpOscHost(const std::string& strHost, const std::string& strPort, std::string& strAddress,
                   std::string& strError) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* pList = nullptr;
    const int nGai = getaddrinfo(strHost.c_str(), strPort.c_str(), &hints, &pList);
    if (nGai != 0) {
        strError = nGai == EAI_SYSTEM ? ErrnoText(errno) : gai_strerror(nGai);
        return false;
    }
    const addrinfo* pChosen = pList;
    for (const addrinfo* p = pList; p; p = p->ai_next) {
        if (p->ai_family == AF_INET) {
            pChosen = p;
            break;
        }
    }
    char szAddress[NI_MAXHOST];
    const int nName = getnameinfo(pChosen->ai_addr, pChosen->ai_addrlen, szAddress,
                                  sizeof szAddress, nullptr, 0, NI_NUMERICHOST);
    freeaddrinfo(pList);
    if (nName != 0) {
        strError = gai_strerror(nName);
        return false;
    }
    strAddress = szAddress;
    return true;
}
