// RunProgram: the console's start-up sequence with the real workbench models and the operator
// pages that show both windows. It lives here, at the top of the operator side, because the
// console library knows neither the workbench nor the pages.
#include <iostream>
#include <memory>

#include "console/console_program.h"
#include "console/program.h"
#include "transport/platform.h"
#include "ui/console_page.h"
#include "ui/file_browser.h"
#include "ui/message_boxes.h"
#include "ui/operator_server.h"
#include "ui/workbench_state.h"
#include "workbench/workbench_windows.h"

namespace qorsv {

int RunProgram(FrontEnd& front_end) {
  WorkbenchWindows windows(ProgramDir());
  auto pages = [&windows](ConsoleProgram& program) -> std::unique_ptr<OperatorPages> {
    auto server =
        std::make_unique<OperatorServer>(program.Loop(), program.Access(), ProgramDir() + "ui/");
    AddMessageBoxes(*server);
    AddFileBrowser(*server, ProgramDir());
    AddConsolePage(*server, program.Console());
    AddWorkbenchPage(*server, windows, ProgramDir());
    server->Start();
    return server;
  };
  return RunConsoleProgram(front_end, windows, ProgramDir(), std::cout, std::cerr, pages);
}

}  // namespace qorsv
