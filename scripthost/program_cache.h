// The compiled programs of page blocks, kept between runs.
//
// Compiling dominates a page block's run, and the same block is run again and again with other
// request values. A program compiled with the prelude's values as late literals is kept under
// the block's key (see late_binding.h) and loaded by later runs of the same key, which set the
// values after loading. A key whose program needed a value while compiling is remembered as
// such, so that its runs compile straight away.
//
// At most kCapacity keys are kept; the oldest goes first.
//
// Threading: one lock guards the table; programs are immutable once stored and shared.
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "scriptengine/exec.h"

namespace qorsv {

class ProgramCache {
 public:
  static constexpr size_t kCapacity = 256;

  struct Found {
    bool known = false;  // the key was compiled before
    script::SharedProgram program;  // null: the key's runs compile every time
  };

  Found Find(const std::string& key) const;
  // `program` null: the key's program depends on its values.
  void Store(const std::string& key, script::SharedProgram program);
  void Clear();
  size_t size() const;

 private:
  mutable std::mutex lock_;
  std::unordered_map<std::string, script::SharedProgram> programs_;
  std::deque<std::string> order_;  // keys, oldest first
};

}  // namespace qorsv
