// When ZENDRA_CALLBACK_TIMES names a file, the program writes the audio
// callback's timing histogram there as it ends, for measuring a real session.
#pragma once

namespace zendra {

// Called at start: the report's extra measurements run only when it is wanted.
void prepareCallbackReport();
class OutputEngine;
void writeCallbackReport(const OutputEngine* engine);

}  // namespace zendra
