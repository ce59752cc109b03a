#pragma once
// Where the program's own read-only data lives (the gate show's clip, the
// samples): share/zarndemo/ beside the folder of the running executable, so
// the same layout serves the build tree (build/bin, build/share/zarndemo) and
// an installed prefix (bin, share/zarndemo).

#include <string>

namespace platform {
// The folder, ending in a path separator; empty when the executable's own
// path cannot be read.
std::string DataFolder();
}  // namespace platform
