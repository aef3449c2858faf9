// Entry point of the end-to-end tests.
#include <csignal>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // A child that dies early must not take the test process with it.
    std::signal(SIGPIPE, SIG_IGN);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
