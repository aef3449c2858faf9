// Record: record a take, play it back and save it.
#pragma once
#include "core/tool_form.h"

namespace zendra {

class frmRecord : public ToolForm {
    Q_OBJECT
public:
    frmRecord();
};

}  // namespace zendra
