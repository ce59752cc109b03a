// Writes the seed clips of the AVI fuzz target into a folder: small clips of
// every codec and layout the reader handles. Usage: video_avi_fuzz_seeds DIR
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/ClipWriter.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

void Gradient(int frame, uint8_t* rgb, int w, int h) {
    for (int i = 0; i < w * h * 3; ++i) rgb[i] = static_cast<uint8_t>(i * 7 + frame * 29);
}

// The clip with the padding chunk inside its stream header list renamed to
// a stream name that claims far more bytes than the file holds.
bool ClaimMore(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), {}};
    const size_t junk = bytes.find("JUNK", bytes.find("strl"));
    if (junk == std::string::npos) return false;
    const uint32_t claim = 0x61000000;
    bytes.replace(junk, 4, "strn");
    std::memcpy(&bytes[junk + 4], &claim, sizeof claim);
    std::ofstream(to, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    av_log_set_level(AV_LOG_ERROR);
    const std::string dir = argv[1];
    struct Seed {
        const char* name;
        ClipOptions o;
    };
    ClipOptions mpeg4{.codec = ClipCodec::Mpeg4, .width = 32, .height = 16, .frames = 9, .gop = 4};
    mpeg4.maxBFrames = 2;
    ClipOptions mpeg1 = mpeg4;
    mpeg1.codec = ClipCodec::Mpeg1;
    ClipOptions h264 = mpeg4;
    h264.codec = ClipCodec::H264;
    h264.maxBFrames = 3;
    const Seed seeds[] = {
        {"raw", {.width = 8, .height = 6, .frames = 4}},
        {"raw-odd-rows", {.width = 5, .height = 3, .rateNum = 30000, .rateDen = 1001, .frames = 4}},
        {"raw-dropped", {.width = 4, .height = 4, .frames = 6, .dropEvery = 3}},
        {"raw-audio", {.width = 4, .height = 2, .frames = 3, .audio = true}},
        {"raw-two-video",
         {.width = 4, .height = 2, .frames = 3, .secondWidth = 6, .secondHeight = 4}},
        {"audio-only", {.frames = 2, .audioOnly = true}},
        {"mjpeg", {.codec = ClipCodec::Mjpeg, .width = 16, .height = 16, .frames = 3}},
        {"mjpeg-unknown-tag",
         {.codec = ClipCodec::Mjpeg,
          .width = 16,
          .height = 8,
          .frames = 2,
          .codecTag = 0x31515151}},
        {"mpeg4-bframes", mpeg4},
        {"mpeg1-bframes", mpeg1},
        {"h264-bframes", h264},
    };
    int written = 0;
    for (const Seed& seed : seeds) {
        std::string error;
        if (WriteClip(dir + "/" + seed.name + ".avi", seed.o, Gradient, &error))
            ++written;
        else
            std::fprintf(stderr, "%s: %s\n", seed.name, error.c_str());
    }
    if (ClaimMore(dir + "/raw.avi", dir + "/raw-name-claims-more.avi")) ++written;
    std::printf("%d seed clips in %s\n", written, dir.c_str());
    return written > 0 ? 0 : 1;
}
