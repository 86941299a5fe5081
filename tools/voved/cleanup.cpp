#include "cleanup.h"

#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace voved::tool {

namespace {

// Two outputs (picture and side-by-side) per job at most, with room to spare.
constexpr int kSlots = 256;
constexpr int kFree = 0;
constexpr int kFilling = 1;
constexpr int kReady = 2;

struct Slot {
    std::atomic<int> state{kFree};
    char path[PATH_MAX];
};

Slot slots[kSlots];

const int kCaughtSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

extern "C" void RemoveAndDie(int signal) {
    for (Slot& slot : slots) {
        if (slot.state.load() == kReady) {
            unlink(slot.path);
        }
    }
    std::signal(signal, SIG_DFL);
    raise(signal);
}

}  // namespace

void RemoveTemporariesOnSignals() {
    struct sigaction action {};
    action.sa_handler = RemoveAndDie;
    sigemptyset(&action.sa_mask);
    for (const int signal : kCaughtSignals) {
        sigaddset(&action.sa_mask, signal);
    }
    for (const int signal : kCaughtSignals) {
        sigaction(signal, &action, nullptr);
    }
}

int RegisterTemporary(const std::string& path) {
    if (path.size() >= PATH_MAX) {
        return -1;
    }
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (slots[i].state.compare_exchange_strong(expected, kFilling)) {
            std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
            slots[i].state.store(kReady);
            return i;
        }
    }
    return -1;
}

void ForgetTemporary(int slot) {
    if (slot >= 0) {
        slots[slot].state.store(kFree);
    }
}

}  // namespace voved::tool
