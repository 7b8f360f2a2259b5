#include "ui/workbench_state.h"

namespace qorsv {
namespace {

class WorkbenchSource : public StateSource {
 public:
  explicit WorkbenchSource(WorkbenchWindows& windows) : windows_(windows) {}

  Json FullState() override { return Fields(); }
  std::vector<Json> Changes() override {
    std::vector<Json> events;
    fields_.AddEvent(Fields(), events);
    return events;
  }

 private:
  Json Fields() { return Json{{"visible", windows_.WorkbenchVisible()}}; }

  WorkbenchWindows& windows_;
  FieldChanges fields_;
};

}  // namespace

void AddWorkbenchState(OperatorServer& server, WorkbenchWindows& windows) {
  server.Events().AddSource("workbench", std::make_unique<WorkbenchSource>(windows));
}

}  // namespace qorsv
