// Sample Dock: choose the sample files and build the bank.
#pragma once
#include "core/tool_form.h"

namespace zendra {

class frmLoadSamples : public ToolForm {
    Q_OBJECT
public:
    frmLoadSamples();
};

}  // namespace zendra
