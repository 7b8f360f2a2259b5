#include "http/page_hand_over.h"

#include "http/page_processor.h"
#include "scripthost/program_cache.h"
#include "scripthost/script_runner.h"
#include "transport/platform.h"

namespace qorsv {

namespace {

// The programs of the server's page blocks, shared by all requests.
ProgramCache& ServerPrograms() {
  static ProgramCache programs;
  return programs;
}

}  // namespace

std::string HandOverToPageProcessor(const PageRequest& page) {
  return ProcessPage(
      page,
      [](const ScriptRunInput& input) { return runscript(input, nullptr, &ServerPrograms()); },
      ProgramDir());
}

}  // namespace qorsv
