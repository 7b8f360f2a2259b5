#include "scripthost/script_random.h"

#include <chrono>
#include <mutex>
#include <random>

namespace qorsv {
namespace {

struct SharedGenerator {
  std::mutex mutex;
  std::mt19937 engine{std::random_device{}()};
};

SharedGenerator& Generator() {
  static SharedGenerator generator;
  return generator;
}

}  // namespace

void ReseedScriptRandom() {
  auto now = std::chrono::high_resolution_clock::now().time_since_epoch().count();
  SharedGenerator& generator = Generator();
  std::lock_guard lock(generator.mutex);
  generator.engine.seed(static_cast<std::mt19937::result_type>(now ^ (now >> 32)));
}

int32_t ScriptRandom(int32_t range) {
  if (range <= 0) return 0;
  SharedGenerator& generator = Generator();
  std::lock_guard lock(generator.mutex);
  return std::uniform_int_distribution<int32_t>(0, range - 1)(generator.engine);
}

}  // namespace qorsv
