// Realtime scheduling for a device's audio thread, where the audio system
// did not give it: asked of the kernel directly (allowed with CAP_SYS_NICE
// or an RLIMIT_RTPRIO), else the highest normal priority.
#pragma once

namespace zendra {

// False when ZENDRA_NO_REALTIME=1 asks to leave scheduling as the audio
// system sets it (for comparing).
bool realtimeWanted();

// Called once on the audio thread itself: system calls only, never waits.
void askRealtime() noexcept;

// The calling thread, and the threads it starts afterwards, get the
// kernel's shortest time slice at normal priority: woken (a key pressed), they
// run ahead of busy threads at once rather than after their slice, and get no
// more of the CPU than before. Linux 6.12 and later; elsewhere, or with
// ZENDRA_DEFAULT_SLICE=1 (for comparing), nothing changes.
void askShortSlice() noexcept;

// Asks once, from the first callback of a device whose audio system does not
// schedule its thread itself. [window] constructs; [audio] calls.
class RealtimeOnce {
public:
    void operator()() noexcept {
        if (!pending_) return;
        pending_ = false;
        askRealtime();
    }

private:
    bool pending_ = realtimeWanted();
};

}  // namespace zendra
