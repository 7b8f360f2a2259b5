#include "transport/temp_names.h"

#include <sys/stat.h>

#include <mutex>
#include <random>

#include "transport/platform.h"

namespace qorsv {
namespace {

constexpr int kLetters = 24;
constexpr const char* kExtensionsInUse[] = {"", ".upload", ".html", ".pfii"};

bool AnyFileExists(const std::string& base) {
  struct stat info;
  for (const char* extension : kExtensionsInUse) {
    if (::stat((base + extension).c_str(), &info) == 0) return true;
  }
  return false;
}

// The generator behind one lock. It is seeded once: reseeding from the clock for every name
// would give threads that ask at the same instant the same name.
class NameSource {
 public:
  std::string Next(const std::string& program_dir) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (;;) {
      std::string base = program_dir + "temp/qortmpscr";
      for (int i = 0; i < kLetters; ++i) base += static_cast<char>('A' + letter_(generator_));
      if (!AnyFileExists(base)) return base;
    }
  }

 private:
  std::mutex mutex_;
  std::mt19937_64 generator_{std::random_device{}()};
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
