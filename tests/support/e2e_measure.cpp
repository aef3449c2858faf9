#include "e2e_measure.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <fstream>
#include <iterator>
#include <numbers>
#include <sstream>
#include <string>
#include <unistd.h>

namespace zendra::test {

double median(std::vector<double> v, double ifEmpty) {
    if (v.empty()) return ifEmpty;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

bool hasDropout(const std::vector<float>& x, size_t begin, size_t n) {
    int quiet = 0;
    for (size_t i = begin; i < begin + n && i < x.size(); ++i) {
        quiet = std::fabs(x[i]) < 1e-4f ? quiet + 1 : 0;
        if (quiet >= 16) return true;
    }
    return false;
}

std::vector<double> bandLevelsDb(const std::vector<float>& x, int rate, double hz, size_t window, size_t begin,
                                 size_t end) {
    std::vector<double> levels;
    if (window == 0) return levels;
    end = std::min(end, x.size());
    const double w = 2.0 * std::numbers::pi * hz / rate;
    for (size_t b = begin; b + window <= end; b += window) {
        if (hasDropout(x, b, window)) continue;
        std::complex<double> acc = 0;
        for (size_t n = b; n < b + window; ++n)
            acc += static_cast<double>(x[n]) * std::polar(1.0, -w * static_cast<double>(n - b));
        levels.push_back(20.0 * std::log10(2.0 * std::abs(acc) / static_cast<double>(window) + 1e-12));
    }
    return levels;
}

double correlation(const std::vector<float>& x, size_t a, size_t b, size_t n) {
    double xy = 0, xx = 0, yy = 0;
    for (size_t k = 0; k < n && std::max(a, b) + k < x.size(); ++k) {
        xy += double(x[a + k]) * x[b + k];
        xx += double(x[a + k]) * x[a + k];
        yy += double(x[b + k]) * x[b + k];
    }
    return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0.0;
}

size_t firstFrameAfter(const MonitorRecording& rec, size_t frames, std::chrono::steady_clock::time_point t) {
    if (frames == 0) return 0;
    size_t lo = 0, hi = frames - 1;
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        const auto at = rec.availableAt(mid);
        if (at && *at < t) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo;
}

double cpuSeconds(pid_t pid, bool mainThread) {
    const std::string p = std::to_string(pid);
    std::ifstream in("/proc/" + p + (mainThread ? "/task/" + p : std::string()) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), {}), field;
    if (text.empty()) return 0.0;
    std::istringstream fields(text.substr(text.rfind(')') + 2));  // the name may hold spaces
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14) ticks += std::stod(field);
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

IdleUse idleUse(pid_t pid, double seconds) {
    const double process = cpuSeconds(pid), window = cpuSeconds(pid, true);
    const auto start = std::chrono::steady_clock::now();
    sleepSeconds(seconds);
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return {(cpuSeconds(pid) - process) / took, (cpuSeconds(pid, true) - window) / took};
}

}  // namespace zendra::test
