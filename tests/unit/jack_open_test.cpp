// Opening a JACK client until its server runs it: one that is never run is
// closed before the next opens (so the next keeps its name), a few times at
// most; one the server shut down is kept as it is.
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "sound/jack_client.h"

namespace zendra::test {
namespace {

struct FakeClient {
    bool running = false;
    bool down = false;
    bool runs(std::chrono::milliseconds) const { return running; }
    bool shutDown() const { return down; }
};

// Opens owners whose clients behave as listed, one after another; counts
// how many are open at once.
struct Opener {
    std::vector<FakeClient> clients;
    int opened = 0;
    int open = 0;
    int mostOpen = 0;

    struct Owner {
        FakeClient client;
        int* open;
        Owner(FakeClient c, int* o) : client(c), open(o) { ++*open; }
        ~Owner() { --*open; }
    };

    std::unique_ptr<Owner> operator()() {
        auto owner = std::make_unique<Owner>(clients.at(static_cast<size_t>(opened++)), &open);
        mostOpen = std::max(mostOpen, open);
        return owner;
    }
    std::unique_ptr<Owner> run() {
        return openRunning([this] { return (*this)(); }, [](const Owner& o) -> const FakeClient& { return o.client; });
    }
};

TEST(JackOpen, AClientNeverRunIsClosedAndOpenedAgainAFewTimesAtMost) {
    Opener first{{{true, false}}};
    EXPECT_TRUE(first.run()->client.running);
    EXPECT_EQ(first.opened, 1);

    Opener second{{{false, false}, {true, false}, {true, false}}};
    auto owner = second.run();
    EXPECT_TRUE(owner->client.running);
    EXPECT_EQ(second.opened, 2);
    EXPECT_EQ(second.mostOpen, 1);  // the stalled one was closed before the next opened

    Opener never{{{false, false}, {false, false}, {false, false}, {true, false}}};
    owner = never.run();
    EXPECT_FALSE(owner->client.running);  // the last try is kept: the quiet rule takes it from there
    EXPECT_EQ(never.opened, 3);
    EXPECT_EQ(never.mostOpen, 1);
}

TEST(JackOpen, AClientTheServerShutDownIsKeptAsItIs) {
    Opener opener{{{false, true}, {true, false}}};
    auto owner = opener.run();
    EXPECT_TRUE(owner->client.down);
    EXPECT_EQ(opener.opened, 1);
}

}  // namespace
}  // namespace zendra::test
