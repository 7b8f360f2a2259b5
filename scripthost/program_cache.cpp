#include "scripthost/program_cache.h"

namespace qorsv {

ProgramCache::Found ProgramCache::Find(const std::string& key) const {
  std::lock_guard<std::mutex> hold(lock_);
  auto found = programs_.find(key);
  return found == programs_.end() ? Found{} : found->second;
}

void ProgramCache::MarkSeen(const std::string& key) { Put(key, {KeyState::kSeenOnce, nullptr}); }

void ProgramCache::Store(const std::string& key, script::SharedProgram program) {
  KeyState state = program != nullptr ? KeyState::kKept : KeyState::kCompiledEachTime;
  Put(key, {state, std::move(program)});
}

void ProgramCache::Put(const std::string& key, Found found) {
  std::lock_guard<std::mutex> hold(lock_);
  auto [it, inserted] = programs_.try_emplace(key, found);
  if (!inserted) {
    // A later state wins; a run that saw the key unknown does not undo what another stored.
    if (static_cast<int>(found.state) > static_cast<int>(it->second.state)) it->second = found;
    return;
  }
  order_.push_back(key);
  if (order_.size() > kCapacity) {
    programs_.erase(order_.front());
    order_.pop_front();
  }
}

void ProgramCache::Clear() {
  std::lock_guard<std::mutex> hold(lock_);
  programs_.clear();
  order_.clear();
}

size_t ProgramCache::size() const {
  std::lock_guard<std::mutex> hold(lock_);
  return programs_.size();
}

}  // namespace qorsv
