// A throw-away program directory for tests: a fresh folder with temp/ and config/ inside,
// removed with everything in it when the test ends.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace qorsv {

class TempProgramDir {
 public:
  TempProgramDir() {
    std::string pattern = ::testing::TempDir() + "qorsv_http_" + std::string(6, 'X');  // mkdtemp
    char* made = ::mkdtemp(pattern.data());
    path_ = std::string(made ? made : pattern.c_str()) + "/";
    std::filesystem::create_directories(path_ + "temp");
    std::filesystem::create_directories(path_ + "config");
  }
  ~TempProgramDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempProgramDir(const TempProgramDir&) = delete;
  TempProgramDir& operator=(const TempProgramDir&) = delete;

  // The directory, with a trailing "/".
  const std::string& path() const { return path_; }

  // Writes a file below the directory (creating its folders) and returns its full path.
  std::string Write(const std::string& relative, const std::string& content) const {
    std::string full = path_ + relative;
    std::filesystem::create_directories(std::filesystem::path(full).parent_path());
    std::ofstream(full, std::ios::binary) << content;
    return full;
  }

  std::string Read(const std::string& relative) const {
    std::ifstream in(path_ + relative, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

 private:
  std::string path_;
};

}  // namespace qorsv
