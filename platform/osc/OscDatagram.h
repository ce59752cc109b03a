#pragma once
// One datagram from the network read as an OSC message: the receiver reads
// every datagram through here. liblo decodes it; what a listener gets is
// copied out into an OscMessage.

#include <cstddef>
#include <cstdint>

#include "platform/Osc.h"

enum class OscDatagramKind {
    Message,    // msg holds it
    Bundle,     // not taken: the program acts on single messages
    Blob,       // not taken: a message with a blob argument
    Malformed,  // not an OSC message at all
};

// Reads nSize bytes at pData. For a message, msg gets its path, its full
// type tags and its first OSC_MAX_ARGS arguments (strings, int32 and float32
// with their values, other types with their tag only); msg's buffers are
// reused. For a malformed datagram, nLibloError gets liblo's error code.
OscDatagramKind ReadOscDatagram(const uint8_t* pData, size_t nSize, OscMessage& msg,
                                int& nLibloError);
