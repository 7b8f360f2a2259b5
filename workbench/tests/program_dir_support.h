// A program directory for workbench tests: templates, the library list, the template file, a
// scheme folder and a help page, in a fresh temporary directory.
#pragma once

#include <string>

#include "console/tests/temp_dir.h"

namespace qorsv::testing {

class WorkbenchProgramDir {
 public:
  WorkbenchProgramDir() {
    WriteFile(Path("scripts/templates/index.html"), "<html>\r\n<%qor%>onload\r\n</%qor%>\r\n");
    WriteFile(Path("scripts/templates/new.qor"), "begin\nend.\n");
    WriteFile(Path("scripts/functions.txt"),
              "function IntToStr(Value: Integer): string;\r\nprocedure echo(s: string);\r\n");
    WriteFile(Path("config/qor.dci"), "[b | begin/end]\r\nbegin\r\n  |\r\nend;\r\n");
    WriteFile(Path("config/Schemes/dark.pal"), "0\r\n");
    WriteFile(Path("help/html/inttostr.htm"), "<html></html>");
  }
  std::string Dir() const { return dir_.Dir(); }
  std::string Path(const std::string& relative) const { return dir_.Path(relative); }

 private:
  TempDir dir_;
};

}  // namespace qorsv::testing
