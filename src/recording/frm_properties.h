// Properties: choice of the capture device.
#pragma once
#include "core/tool_form.h"

namespace zendra {

class frmProperties : public ToolForm {
    Q_OBJECT
public:
    frmProperties();
};

}  // namespace zendra
