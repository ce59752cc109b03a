#include "platform/osc/OscDatagram.h"

#include <lo/lo.h>

#include <cstring>

namespace {

// liblo 0.31 reads a blob's size word before it checks that the packet
// holds one, past the end of its copy when the blob is cut short. No message
// of this program takes a blob, so packets with one stop here.
bool HasBlobArgument(const uint8_t* pData, size_t nSize) {
    const char* szPath = lo_get_path(const_cast<uint8_t*>(pData), static_cast<ssize_t>(nSize));
    if (!szPath) return false;
    const size_t nTypesAt = (std::strlen(szPath) + 4) & ~size_t{3};
    if (nTypesAt >= nSize) return false;
    const auto* pTypes = pData + nTypesAt;
    const auto* pEnd = static_cast<const uint8_t*>(std::memchr(pTypes, 0, nSize - nTypesAt));
    return pEnd && std::memchr(pTypes, LO_BLOB, static_cast<size_t>(pEnd - pTypes)) != nullptr;
}

}  // namespace

OscDatagramKind ReadOscDatagram(const uint8_t* pData, size_t nSize, OscMessage& msg,
                                int& nLibloError) {
    void* pBytes = const_cast<uint8_t*>(pData);
    static const char BUNDLE[8] = {'#', 'b', 'u', 'n', 'd', 'l', 'e', '\0'};
    if (nSize >= sizeof BUNDLE && std::memcmp(pData, BUNDLE, sizeof BUNDLE) == 0)
        return OscDatagramKind::Bundle;
    if (HasBlobArgument(pData, nSize)) return OscDatagramKind::Blob;
    nLibloError = 0;
    lo_message m = lo_message_deserialise(pBytes, nSize, &nLibloError);
    const char* szPath = m ? lo_get_path(pBytes, static_cast<ssize_t>(nSize)) : nullptr;
    if (!m || !szPath) {
        if (m) lo_message_free(m);
        return OscDatagramKind::Malformed;
    }

    msg.strPath = szPath;
    const char* szTypes = lo_message_get_types(m);
    msg.strTypes = szTypes ? szTypes : "";
    lo_arg** argv = lo_message_get_argv(m);
    const int argc = argv ? lo_message_get_argc(m) : 0;
    for (int i = 0; i < OSC_MAX_ARGS; ++i) {
        OscArg& arg = msg.args[i];
        arg.chType = 0;
        arg.nValue = 0;
        arg.fValue = 0.0f;
        arg.strValue.clear();
        if (i >= argc || i >= msg.ArgCount()) continue;
        arg.chType = msg.strTypes[static_cast<size_t>(i)];
        // liblo's argument pointers keep OSC's 4-byte alignment, less than
        // its union asks for: read the bytes, not the union.
        const auto* pValue = reinterpret_cast<const char*>(argv[i]);
        switch (arg.chType) {
            case LO_INT32:
                std::memcpy(&arg.nValue, pValue, sizeof arg.nValue);
                break;
            case LO_FLOAT:
                std::memcpy(&arg.fValue, pValue, sizeof arg.fValue);
                break;
            case LO_STRING:
                arg.strValue = pValue;
                break;
            default:
                break;
        }
    }
    lo_message_free(m);
    return OscDatagramKind::Message;
}
