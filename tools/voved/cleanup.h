// Temporary files removed when the process is interrupted. A signal handler
// may only make async-signal-safe calls, so the names live in a fixed table
// of slots that the handler walks with unlink(2), and nothing is allocated
// or locked on its way.
#pragma once

#include <string>

namespace voved::tool {

// Installs the handler for SIGINT, SIGTERM, SIGHUP and SIGPIPE: it removes
// every registered file, then dies of the signal as it would have.
void RemoveTemporariesOnSignals();

// Registers `path` for removal on a signal; returns the slot, or -1 when the
// table is full (the file is then only removed on the ordinary paths).
int RegisterTemporary(const std::string& path);
// Forgets the slot (after the file was renamed into place or removed).
void ForgetTemporary(int slot);

}  // namespace voved::tool
