// libFuzzer target: every input is handed to the WAV reader as a file.
// Accepted files must come back consistent; refused ones must say why and
// name the file.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sound/wav_file.h"

namespace {

std::string& scratchPath() {
    static std::string path = [] {
        const char* dir = std::getenv("ZENDRA_FUZZ_DIR");
        return std::string(dir ? dir : "/dev/shm") + "/zendra-fuzz-" + std::to_string(::getpid()) + ".wav";
    }();
    return path;
}

void removeScratch() { ::unlink(scratchPath().c_str()); }

bool writeScratch(const uint8_t* data, size_t size) {
    const int fd = ::open(scratchPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    return done == size;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::atexit(removeScratch);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!writeScratch(data, size)) std::abort();
    try {
        const zendra::SampleData d = zendra::readWavFile(scratchPath());
        // What comes back must be playable as it stands.
        if (d.channels < 1 || d.channels > 2) std::abort();
        if (d.rate < 100 || d.rate > 200000) std::abort();
        if (d.bytes.empty() || d.bytes.size() % static_cast<size_t>(d.blockAlign()) != 0) std::abort();
        // Never more sound than the file holds: the widest case, three 8-bit
        // channels mixed to float stereo, turns 3 bytes into 8.
        if (d.bytes.size() > 3 * size) std::abort();
    } catch (const zendra::SoundError& e) {
        if (std::string(e.what()).find(scratchPath()) == std::string::npos) std::abort();
    }
    return 0;
}
