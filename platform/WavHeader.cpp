#include "platform/WavHeader.h"

namespace {

void PutLe(uint8_t* p, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

std::array<uint8_t, PCM_WAV_HEADER_BYTES> PcmWavHeader(uint32_t nRate, uint16_t nChannels,
                                                       uint16_t nBits, uint64_t qwDataBytes) {
    const uint32_t dwData =
        qwDataBytes > 0xFFFFFFFFu - 36 ? 0xFFFFFFFFu - 36 : static_cast<uint32_t>(qwDataBytes);
    const uint32_t nBlockAlign = static_cast<uint32_t>(nChannels) * nBits / 8;
    std::array<uint8_t, PCM_WAV_HEADER_BYTES> h = {'R', 'I', 'F', 'F', 0,   0,   0,   0,
                                                   'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
    PutLe(&h[4], 36 + dwData, 4);
    PutLe(&h[16], 16, 4);
    PutLe(&h[20], 1, 2);  // PCM
    PutLe(&h[22], nChannels, 2);
    PutLe(&h[24], nRate, 4);
    PutLe(&h[28], nRate * nBlockAlign, 4);
    PutLe(&h[32], nBlockAlign, 2);
    PutLe(&h[34], nBits, 2);
    h[36] = 'd';
    h[37] = 'a';
    h[38] = 't';
    h[39] = 'a';
    PutLe(&h[40], dwData, 4);
    return h;
}
