#include "app/ReplayWaveList.h"

#include "app/WaveList.h"
#include "platform/ListOrder.h"

bool ReadReplayWaves(const std::string& path, ReplayWaves& waves, std::string& error) {
    std::string bytes;
    bool bCut = false;
    std::string why;
    if (!ReadWaveListFile(path, bytes, bCut, why)) {
        error = "cannot read the wave list " + path + ": " + why;
        return false;
    }
    const WaveListReading reading = ReadWaveList(bytes);
    if (!reading.bHasCount) {
        error = "the wave list " + path + " does not start with a count";
        return false;
    }
    if (reading.nEntries == 0) {
        error = "the wave list " + path + " names no sound";
        return false;
    }
    // The launcher's list box keeps its names sorted, each inserted after the
    // names that do not sort after it, and the window takes them in that order.
    waves.names.clear();
    for (int i = 0; i < reading.nEntries; ++i) {
        const std::string& name = reading.Entry(i);
        waves.names.insert(
            waves.names.begin() +
                static_cast<std::ptrdiff_t>(platform::SortedInsertPosition(waves.names, name)),
            name);
    }
    // The launcher's folder: the path up to and with its last separator.
    waves.strFolder = path.substr(0, path.rfind('/') + 1);
    return true;
}
