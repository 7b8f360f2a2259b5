#include "http/page_hand_over.h"

#include "http/page_processor.h"
#include "scripthost/script_runner.h"
#include "transport/platform.h"

namespace qorsv {

std::string HandOverToPageProcessor(const PageRequest& page) {
  return ProcessPage(
      page, [](const ScriptRunInput& input) { return runscript(input); }, ProgramDir());
}

}  // namespace qorsv
