#include "test_program.h"

namespace zendra::test {

namespace {
std::function<std::shared_ptr<AudioBackend>()>& factory() {
    static std::function<std::shared_ptr<AudioBackend>()> f;
    return f;
}
std::unique_ptr<app::App>& current() {
    static std::unique_ptr<app::App> a;
    return a;
}
}  // namespace

void setBackendFactory(std::function<std::shared_ptr<AudioBackend>()> f) { factory() = std::move(f); }

void restartProgram() {
    current().reset();
    current() = std::make_unique<app::App>([] {
        auto& f = factory();
        return f ? f() : systemAudioBackend();
    });
}

void endProgram() { current().reset(); }

app::App& program() {
    if (!current()) restartProgram();
    return *current();
}

}  // namespace zendra::test
