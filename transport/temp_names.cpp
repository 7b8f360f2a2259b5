#include "transport/temp_names.h"

#include <mutex>
#include <random>

#include "transport/platform.h"

namespace qorsv {
namespace {

constexpr int kLetters = 24;

// The generator behind one lock, seeded once with a full state from the system's entropy
// source: names then repeat neither between threads nor between runs of the program. (Reseeding
// from the clock for every name gave threads that asked at the same instant the same name.)
class NameSource {
 public:
  NameSource() {
    std::random_device entropy;
    std::seed_seq seed{entropy(), entropy(), entropy(), entropy(),
                       entropy(), entropy(), entropy(), entropy()};
    generator_.seed(seed);
  }

  std::string Next(const std::string& program_dir) {
    std::string base = program_dir + "temp/qortmpscr";
    std::lock_guard<std::mutex> lock(mutex_);
    for (int i = 0; i < kLetters; ++i) base += static_cast<char>('A' + letter_(generator_));
    return base;
  }

 private:
  std::mutex mutex_;
  std::mt19937_64 generator_;
  std::uniform_int_distribution<int> letter_{0, kLetters - 1};  // "A" to "X"
};

NameSource& Source() {
  static NameSource source;
  return source;
}

}  // namespace

std::string TempScriptNameIn(const std::string& program_dir) {
  return Source().Next(program_dir);
}

std::string TempScriptName() { return TempScriptNameIn(ProgramDir()); }

}  // namespace qorsv
