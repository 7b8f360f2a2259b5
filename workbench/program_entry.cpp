// RunProgram: the console's start-up sequence with the real workbench models. It lives here
// because the console library does not depend on the workbench.
#include <iostream>

#include "console/console_program.h"
#include "console/program.h"
#include "transport/platform.h"
#include "workbench/workbench_windows.h"

namespace qorsv {

int RunProgram(FrontEnd& front_end) {
  WorkbenchWindows windows(ProgramDir());
  return RunConsoleProgram(front_end, windows, ProgramDir(), std::cout, std::cerr);
}

}  // namespace qorsv
