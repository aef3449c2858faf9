// A first look at a WAV-family file's header (RIFF, RIFX, RF64, Sony Wave64)
// before libsndfile opens it: which container it is, the encoding its fmt
// chunk names, and whether its chunks run past the end of the file (which
// libsndfile would quietly shorten). Any thread.
#pragma once
#include <string>

#include "sound/byte_source.h"

namespace zendra {

enum class WavContainer { None, Riff, Rifx, Rf64, W64 };

struct WavHeader {
    WavContainer container = WavContainer::None;
    int formatTag = -1;      // from the fmt chunk (the sub-format of an extensible one)
    std::string truncation;  // set when the header claims more than the file holds
};

WavHeader inspectWavHeader(const ByteSource& src);

}  // namespace zendra
