// Synthesises a small Hydrogen drum kit: "Tone", three velocity layers of
// clearly different pitch (220, 440 and 880 Hz sines for soft, middle and
// hard notes), and "Low", one 330 Hz layer; drumkit.xml names them.
// Usage: make_demo_drumkit <outdir>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sndfile.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "demo_files.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr int kRate = 44100;
constexpr int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
constexpr const char* kTool = "make_demo_drumkit";

// A sine of `seconds` with 5 ms linear fades at both ends.
std::vector<float> tone(double hz, double seconds, double amplitude) {
    std::vector<float> x(static_cast<size_t>(std::lround(kRate * seconds)));
    const size_t fade = kRate / 200;
    for (size_t i = 0; i < x.size(); ++i) {
        const double edge = static_cast<double>(std::min(i, x.size() - 1 - i));
        const double g = edge < fade ? edge / static_cast<double>(fade) : 1.0;
        x[i] = static_cast<float>(g * amplitude * std::sin(kTwoPi * hz * static_cast<double>(i) / kRate));
    }
    return x;
}

struct Layer {
    const char* file;
    double hz;
    const char* min;
    const char* max;
};

std::string instrumentXml(int id, const char* name, const std::vector<Layer>& layers) {
    std::string x = "  <instrument>\n   <id>" + std::to_string(id) + "</id>\n   <name>" + name +
                    "</name>\n"
                    "   <volume>1</volume>\n   <isMuted>false</isMuted>\n   <pan_L>1</pan_L>\n   <pan_R>1</pan_R>\n"
                    "   <gain>1</gain>\n   <filterActive>false</filterActive>\n"
                    "   <Attack>0</Attack>\n   <Decay>0</Decay>\n   <Sustain>1</Sustain>\n   <Release>1000</Release>\n"
                    "   <muteGroup>-1</muteGroup>\n"
                    "   <instrumentComponent>\n    <component_id>0</component_id>\n    <gain>1</gain>\n";
    for (const Layer& l : layers) {
        x += std::string("    <layer>\n     <filename>") + l.file + "</filename>\n     <min>" + l.min +
             "</min>\n     <max>" + l.max + "</max>\n     <gain>1</gain>\n     <pitch>0</pitch>\n    </layer>\n";
    }
    return x + "   </instrumentComponent>\n  </instrument>\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo_drumkit <outdir>\n");
        return 2;
    }
    const std::string dir = argv[1];
    if (!demo_files::makeFolder(kTool, dir)) return 1;

    const std::vector<Layer> tone3 = {{"tone-soft-220.wav", 220.0, "0", "0.33"},
                                      {"tone-mid-440.wav", 440.0, "0.34", "0.66"},
                                      {"tone-hard-880.wav", 880.0, "0.67", "1"}};
    const std::vector<Layer> low = {{"low-330.wav", 330.0, "0", "1"}};
    for (const auto* set : {&tone3, &low})
        for (const Layer& l : *set)
            if (!demo_files::writeSound(kTool, dir, l.file, tone(l.hz, 0.6, 0.8), kRate, 1, kWav16)) return 1;

    // The build checks for drumkit.xml, so it is written last.
    const std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                            "<drumkit_info xmlns=\"http://www.hydrogen-music.org/drumkit\">\n"
                            " <name>Zendra Demo Drums</name>\n"
                            " <author>Zendra</author>\n"
                            " <info>Sines synthesised at build time: one pitch per velocity layer.</info>\n"
                            " <license>CC0</license>\n"
                            " <instrumentList>\n" +
                            instrumentXml(0, "Tone", tone3) + instrumentXml(1, "Low", low) +
                            " </instrumentList>\n"
                            "</drumkit_info>\n";
    return demo_files::writeText(kTool, dir, "drumkit.xml", xml) ? 0 : 1;
}
