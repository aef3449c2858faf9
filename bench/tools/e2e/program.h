// The program under measurement, driven through the end-to-end tests' own
// helpers (a fresh home for each run, so no remembered setting carries over).
#pragma once
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

#include "e2e_app.h"

namespace zendra::bench {

// Runs a step of driving the program that reports through gtest's
// assertions; throws if one of them failed.
template <class F>
void step(const std::string& what, F&& f) {
    f();
    if (::testing::Test::HasFatalFailure()) throw std::runtime_error(what + " failed");
}

// Agrees to the disclaimer and waits until the program has said which sound
// system it plays through; returns that line of its stderr.
std::string agreeAndListen(zendra::test::ZendraApp& app);

// The kick in slot 1, bound to "k", not looping, and the Tap Pad open (it
// takes the focus): "k" then plays the kick.
void prepareTapPad(zendra::test::ZendraApp& app, const zendra::test::Display& display);

// `files` (bare names, from the demo kit) in the Sample Dock, then the Sample
// Pad opened and its first `clicked` pads clicked: every sample loops.
void loopSamples(zendra::test::ZendraApp& app, const zendra::test::Display& display,
                 const std::vector<std::string>& files, size_t clicked);

}  // namespace zendra::bench
