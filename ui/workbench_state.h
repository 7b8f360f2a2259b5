// The workbench window's state on the pages: the source "workbench". So far it carries what the
// console's "Debugger" button changes, the window's visibility ("visible"), so that a workbench
// page follows it; the workbench page adds its own fields and commands here.
//
// UI thread only.
#pragma once

#include "ui/operator_server.h"
#include "workbench/workbench_windows.h"

namespace qorsv {

void AddWorkbenchState(OperatorServer& server, WorkbenchWindows& windows);

}  // namespace qorsv
