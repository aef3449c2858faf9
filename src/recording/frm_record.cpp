#include "recording/frm_record.h"

namespace zendra {

frmRecord::frmRecord() : ToolForm(QStringLiteral("Record"), 5000, 3000) {}

}  // namespace zendra
