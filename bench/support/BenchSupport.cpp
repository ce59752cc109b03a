#include "bench/support/BenchSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

double Ms(BenchClock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double Quantile(std::vector<double>& samples, double q) {
    if (samples.empty()) return 0.0;
    std::sort(samples.begin(), samples.end());
    const size_t at = std::min(
        samples.size() - 1, static_cast<size_t>(q * static_cast<double>(samples.size() - 1) + 0.5));
    return samples[at];
}

void PaintMotion(int frame, uint8_t* rgb, int w, int h) {
    for (int y = 0; y < h; ++y) {
        uint8_t* p = rgb + static_cast<size_t>(y) * w * 3;
        for (int x = 0; x < w; ++x, p += 3) {
            p[0] = static_cast<uint8_t>(x + frame * 3);
            p[1] = static_cast<uint8_t>(y + frame * 2 + ((x ^ y) & 15));
            p[2] = static_cast<uint8_t>((x + y) / 2 + frame + ((x * y) >> 6 & 31));
        }
    }
}

std::string PersistentClip(const std::string& folder, const std::string& name,
                           const ClipOptions& options) {
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/" + name;
    std::error_code ec;
    if (std::filesystem::file_size(path, ec) > 0 && !ec) return path;
    std::fprintf(stderr, "writing %s ...\n", path.c_str());
    std::string error;
    if (!WriteClip(path + ".part", options, PaintMotion, &error)) {
        std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), error.c_str());
        std::exit(1);
    }
    std::filesystem::rename(path + ".part", path);
    return path;
}
