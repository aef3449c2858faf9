// A look at an Ogg file's first stream before libsndfile opens it. When the
// stream is Vorbis, its three header packets must be whole and valid:
// libsndfile keeps the decoder's state when it gives up inside them (a leak
// on every such file) and does not check the last two itself. Any thread.
#pragma once
#include <optional>
#include <string>

#include "sound/byte_source.h"

namespace zendra {

// What is wrong with the Vorbis headers, or nothing (also for streams that are
// not Vorbis, which libsndfile judges alone).
std::optional<std::string> vorbisHeaderProblem(const ByteSource& src);

}  // namespace zendra
