#include "console/workbench_link.h"

#include <mutex>

namespace qorsv {
namespace {

struct FileNameSlot {
  std::mutex mutex;
  std::string path;
};

FileNameSlot& Slot() {
  static FileNameSlot slot;
  return slot;
}

}  // namespace

std::string WorkbenchFileName() {
  FileNameSlot& slot = Slot();
  std::lock_guard<std::mutex> lock(slot.mutex);
  return slot.path;
}

void SetWorkbenchFileName(const std::string& path) {
  FileNameSlot& slot = Slot();
  std::lock_guard<std::mutex> lock(slot.mutex);
  slot.path = path;
}

}  // namespace qorsv
