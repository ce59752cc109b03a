// libFuzzer entry: any bytes as one datagram reaching the OSC receiver, read
// as it reads every datagram. Besides the sanitizers' own checks, a message
// handed on keeps the promises its listeners rely on: no blob, tags and
// values that agree, at most OSC_MAX_ARGS arguments kept, nothing longer
// than the datagram, and the values as they came, so that liblo encoding
// the message again reads back the same.
#include <lo/lo.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/osc/OscDatagram.h"
#include "tests/support/FuzzCheck.h"

namespace {

bool HasOnlyValueTypes(const std::string& strTypes) {
    return strTypes.size() <= OSC_MAX_ARGS &&
           strTypes.find_first_not_of("ifs") == std::string::npos;
}

bool SameArg(const OscArg& a, const OscArg& b) {
    return a.chType == b.chType && a.nValue == b.nValue &&
           std::memcmp(&a.fValue, &b.fValue, sizeof a.fValue) == 0 && a.strValue == b.strValue;
}

void CheckRoundTrip(const OscMessage& msg) {
    lo_message m = lo_message_new();
    for (int i = 0; i < msg.ArgCount(); ++i) {
        const OscArg& arg = msg.args[i];
        if (arg.chType == 'i') lo_message_add_int32(m, arg.nValue);
        if (arg.chType == 'f') lo_message_add_float(m, arg.fValue);
        if (arg.chType == 's') lo_message_add_string(m, arg.strValue.c_str());
    }
    size_t nSize = 0;
    void* pBytes = lo_message_serialise(m, msg.strPath.c_str(), nullptr, &nSize);
    lo_message_free(m);
    FuzzCheck(pBytes != nullptr, "a message read can be encoded again");
    OscMessage again;
    int nError = 0;
    const OscDatagramKind kind =
        ReadOscDatagram(static_cast<const uint8_t*>(pBytes), nSize, again, nError);
    std::free(pBytes);
    FuzzCheck(kind == OscDatagramKind::Message, "a message encoded again reads as one");
    FuzzCheck(again.strPath == msg.strPath && again.strTypes == msg.strTypes,
              "the same path and tags read back");
    for (int i = 0; i < OSC_MAX_ARGS; ++i)
        FuzzCheck(SameArg(again.args[i], msg.args[i]), "the same values read back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Kept from one datagram to the next, as the receiving thread keeps it.
    static OscMessage msg;
    int nError = 0;
    if (ReadOscDatagram(data, size, msg, nError) != OscDatagramKind::Message) return 0;

    FuzzCheck(msg.strPath.size() < size && msg.strTypes.size() < size,
              "path and tags lie within the datagram");
    FuzzCheck(msg.strTypes.find('b') == std::string::npos, "no message with a blob is handed on");
    FuzzCheck(msg.strTypes.find('\0') == std::string::npos, "tags hold no NUL");
    for (int i = 0; i < OSC_MAX_ARGS; ++i) {
        const OscArg& arg = msg.args[i];
        const bool bKept = static_cast<size_t>(i) < msg.strTypes.size();
        FuzzCheck(arg.chType == (bKept ? msg.strTypes[static_cast<size_t>(i)] : 0),
                  "each kept argument has its own tag, the rest none");
        FuzzCheck(arg.chType == 'i' || arg.nValue == 0, "an int32 value only for an int32");
        FuzzCheck(arg.chType == 'f' || arg.fValue == 0.0f, "a float32 value only for a float32");
        FuzzCheck(arg.chType == 's' || arg.strValue.empty(), "a string only for a string");
        FuzzCheck(arg.strValue.size() < size && arg.strValue.find('\0') == std::string::npos,
                  "a string lies within the datagram and holds no NUL");
    }
    if (HasOnlyValueTypes(msg.strTypes)) CheckRoundTrip(msg);
    return 0;
}
