#pragma once
// Small host services: the tick count, the system temporary folder and file
// probes.

#include <cstdint>
#include <string>

namespace qv::os {

// Milliseconds since the system started, suspended time included; wraps
// to 0 after 2^32 ms (49.7 days) as the system tick counter does.
uint32_t GetTickCount();
// Milliseconds on a clock that never goes back (for timeouts and elapsed time).
int64_t MonotonicMilliseconds();

// The system temporary folder with one trailing "/": $TMPDIR when set and
// not empty, else "/tmp/". Asked of the environment on every call; the
// folder is not checked to exist.
std::string SystemTempPath();

// True when the file opens for reading (it exists, is not a folder and the
// caller may read it). Never raises.
bool IsFileReadable(const std::string& path);
// True when the caller may write the file or folder (false for a missing
// one and on a read-only file system). Never raises.
bool IsWritable(const std::string& path);
// True when a database file exists and can be read but it or its folder
// cannot be written (read-only media, no write permission): it is then
// opened read-only, so that reads work and writes fail with 3027 instead of
// the open failing. Never raises.
bool OpensReadOnly(const std::string& file);

}  // namespace qv::os
