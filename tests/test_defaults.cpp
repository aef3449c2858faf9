// Where the tests find the program, the demo kit and their artifacts folder
// when the environment does not say: the build that made them.
#include <cstdlib>

namespace {
struct Defaults {
    Defaults() {
        setenv("ZENDRA_BIN", ZENDRA_TEST_BIN, 0);
        setenv("ZENDRA_DEMO_KIT", ZENDRA_TEST_DEMO_KIT, 0);
        setenv("ZENDRA_E2E_ARTIFACTS", ZENDRA_TEST_ARTIFACTS, 0);
        setenv("ZENDRA_PW_RIG", ZENDRA_TEST_PW_RIG, 0);
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    }
} const defaults;
}  // namespace
