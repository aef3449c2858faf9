#include "recording/frm_properties.h"

namespace zendra {

frmProperties::frmProperties() : ToolForm(QStringLiteral("Properties"), 5000, 3000) {}

}  // namespace zendra
