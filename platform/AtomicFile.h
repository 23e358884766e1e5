#pragma once
// Whole-file reads and atomic replacement on host paths. A replacement is written to a
// temporary file beside the target, flushed to disk, and renamed over the target, so a
// crash or a full disk leaves either the old file or the new one, never half of one.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The whole file, or its first `limit` bytes.
std::optional<std::string> ReadHostFile(const std::string& hostPath, size_t limit = SIZE_MAX);
// Keeps the target's permission bits when it exists. False (reason in LastErrorText())
// leaves the target exactly as it was and no temporary file behind.
bool WriteHostFileAtomic(const std::string& hostPath, std::string_view bytes);

// Test hook: make the next atomic write fail after writing this many bytes of its
// temporary file (as a full disk or a crash would), -1 for never.
void FailNextAtomicWriteAfter(long long bytes);

}  // namespace platform
