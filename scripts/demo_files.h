// Files the build-time sound generators write: each under a temporary name,
// then renamed, so an interrupted build leaves no half file. Failures are
// told on stderr, prefixed by the generator's name.
#pragma once
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sndfile.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace demo_files {

inline bool makeFolder(const char* tool, const std::string& dir) {
    for (size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos != dir.size() && dir[pos] != '/') continue;
        const std::string part = dir.substr(0, pos);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
            std::fprintf(stderr, "%s: cannot create \"%s\": %s\n", tool, part.c_str(), std::strerror(errno));
            return false;
        }
    }
    return true;
}

// Interleaved `samples` in libsndfile's `format`, clipped rather than wrapped.
inline bool writeSound(const char* tool, const std::string& dir, const std::string& name,
                       const std::vector<float>& samples, int rate, int channels, int format) {
    const std::string target = dir + "/" + name;
    const std::string temp = dir + "/." + name + ".tmp";
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* sf = sf_open(temp.c_str(), SFM_WRITE, &info);
    if (!sf) {
        std::fprintf(stderr, "%s: cannot create \"%s\": %s\n", tool, temp.c_str(), sf_strerror(nullptr));
        return false;
    }
    sf_command(sf, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const sf_count_t frames = static_cast<sf_count_t>(samples.size()) / channels;
    const bool written = sf_writef_float(sf, samples.data(), frames) == frames;
    std::string error = written ? "" : sf_strerror(sf);
    const int closeErr = sf_close(sf);
    if (written && closeErr != 0) error = sf_error_number(closeErr);
    if (error.empty() && std::rename(temp.c_str(), target.c_str()) != 0) error = std::strerror(errno);
    if (!error.empty()) {
        std::remove(temp.c_str());
        std::fprintf(stderr, "%s: cannot write \"%s\": %s\n", tool, target.c_str(), error.c_str());
        return false;
    }
    return true;
}

inline bool writeText(const char* tool, const std::string& dir, const std::string& name, const std::string& text) {
    const std::string target = dir + "/" + name;
    const std::string temp = dir + "/." + name + ".tmp";
    std::FILE* f = std::fopen(temp.c_str(), "w");
    if (!f) {
        std::fprintf(stderr, "%s: cannot create \"%s\": %s\n", tool, temp.c_str(), std::strerror(errno));
        return false;
    }
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (std::fclose(f) != 0 || !ok || std::rename(temp.c_str(), target.c_str()) != 0) {
        std::remove(temp.c_str());
        std::fprintf(stderr, "%s: cannot write \"%s\"\n", tool, target.c_str());
        return false;
    }
    return true;
}

}  // namespace demo_files
