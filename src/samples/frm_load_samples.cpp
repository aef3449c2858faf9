#include "samples/frm_load_samples.h"

namespace zendra {

frmLoadSamples::frmLoadSamples() : ToolForm(QStringLiteral("Sample Dock"), 7425, 3600) {}

}  // namespace zendra
