#include "scriptengine/ast.h"

#include <algorithm>

namespace qorsv::script::compiler_internal {

namespace {
constexpr size_t kBlockSize = 256 * 1024;
}

void Arena::Grow(size_t size) {
  size_t block = std::max(kBlockSize, size);
  blocks_.push_back(std::unique_ptr<char[]>(new char[block]));  // not zeroed: nodes initialise
  sizes_.push_back(block);
  cursor_ = blocks_.back().get();
  remaining_ = block;
}

void Arena::Reset() {
  if (blocks_.empty()) return;
  blocks_.resize(1);
  sizes_.resize(1);
  cursor_ = blocks_[0].get();
  remaining_ = sizes_[0];
}

}  // namespace qorsv::script::compiler_internal
