// The compiled programs of page blocks, kept between runs.
//
// Compiling dominates a page block's run, and the same block is run again and again with other
// request values. When a block's key (see late_binding.h) comes up a second time, its text is
// compiled once more with the prelude's values as late literals and that program is kept; later
// runs of the key load it and set their own values. (Waiting for the second run means that
// requests which never repeat, such as ever-new form fields, cost one compilation each, no
// more.) A key whose program needs a value while compiling is remembered as such, so that its
// runs compile straight away.
//
// At most kCapacity keys are remembered; the oldest goes first.
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

  enum class KeyState {
    kUnknown,           // never run
    kSeenOnce,          // run once, compiled for that run
    kKept,              // a program is kept
    kCompiledEachTime,  // its program depends on the values
  };

  struct Found {
    KeyState state = KeyState::kUnknown;
    script::SharedProgram program;  // kKept
  };

  Found Find(const std::string& key) const;
  // The key's first run.
  void MarkSeen(const std::string& key);
  // Keeps `program` for the key; null: its runs compile every time.
  void Store(const std::string& key, script::SharedProgram program);
  void Clear();
  // The number of keys remembered.
  size_t size() const;

 private:
  void Put(const std::string& key, Found found);

  mutable std::mutex lock_;
  std::unordered_map<std::string, Found> programs_;
  std::deque<std::string> order_;  // keys, oldest first
};

}  // namespace qorsv
