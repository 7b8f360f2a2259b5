#include "scripthost/program_cache.h"

namespace qorsv {

ProgramCache::Found ProgramCache::Find(const std::string& key) const {
  std::lock_guard<std::mutex> hold(lock_);
  auto found = programs_.find(key);
  if (found == programs_.end()) return {};
  return {true, found->second};
}

void ProgramCache::Store(const std::string& key, script::SharedProgram program) {
  std::lock_guard<std::mutex> hold(lock_);
  auto [it, inserted] = programs_.try_emplace(key, std::move(program));
  if (!inserted) return;  // another run of the same key stored it first
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
