// When ZENDRA_CALLBACK_TIMES names a file, the program writes the audio
// callback's timing histogram there as it ends, for measuring a real session.
#pragma once

namespace zendra {

void writeCallbackReport();

}  // namespace zendra
