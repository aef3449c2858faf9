// Counts what each thread allocates through operator new, for checks that a
// path which must not allocate (a realtime callback) does not.
#pragma once

namespace zendra::test {

long allocationsOnThisThread();

}  // namespace zendra::test
