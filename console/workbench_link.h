// WorkbenchFileName: the path of the document open in the workbench. The workbench sets it on
// the UI thread; the dispatcher reads it on connection threads for the workbench run request.
//
// Both functions may be called from any thread.
#pragma once

#include <string>

namespace qorsv {

std::string WorkbenchFileName();
void SetWorkbenchFileName(const std::string& path);

}  // namespace qorsv
