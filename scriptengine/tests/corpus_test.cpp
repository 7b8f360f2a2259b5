// Runs every program of the script corpus and compares what it prints, and how it fails, with
// the expectations written beside its code (see corpus/README.md).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "scriptengine/engine.h"

namespace qorsv::script {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpusDir = fs::path(__FILE__).parent_path() / "corpus";
// Generous for the corpus, small enough that an engine fault cannot hang the suite.
constexpr uint64_t kStepLimit = 200'000'000;

struct Expectations {
  std::vector<std::string> output;
  std::vector<std::string> compile_errors;
  std::optional<std::string> load_error;
  std::optional<std::string> runtime_error;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

// Script text as the server hands it over: lines ending in CR LF.
std::string WithCrLf(const std::string& text) {
  std::string out;
  for (size_t k = 0; k < text.size(); ++k) {
    if (text[k] == '\n' && (k == 0 || text[k - 1] != '\r')) out += '\r';
    out += text[k];
  }
  return out;
}

Expectations ReadExpectations(const std::string& source) {
  static const std::pair<const char*, int> kMarkers[] = {
      {"// expect error:", 1}, {"// expect load error:", 2}, {"// expect runtime error:", 3},
      {"// expect:", 0}};
  Expectations result;
  std::istringstream lines(source);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    for (const auto& [marker, kind] : kMarkers) {
      const size_t at = line.find(marker);
      if (at == std::string::npos) continue;
      std::string text = line.substr(at + std::char_traits<char>::length(marker));
      if (!text.empty() && text.front() == ' ') text.erase(0, 1);
      if (kind == 0) result.output.push_back(text);
      if (kind == 1) result.compile_errors.push_back(text);
      if (kind == 2) result.load_error = text;
      if (kind == 3) result.runtime_error = text;
      break;
    }
  }
  return result;
}

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(kCorpusDir)) {
    if (entry.is_regular_file() && entry.path().extension() == ".qor") {
      files.push_back(fs::relative(entry.path(), kCorpusDir).string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& line : lines) out += "  " + line + "\n";
  return out;
}

class CorpusTest : public ::testing::TestWithParam<std::string> {};

TEST_P(CorpusTest, ProducesExpectedOutput) {
  const fs::path path = kCorpusDir / GetParam();
  const std::string source = WithCrLf(ReadFile(path));
  const Expectations expect = ReadExpectations(source);

  TPSPreProcessor preprocessor;
  preprocessor.ResolveInclude = [&path](const std::string&, const std::string& name) {
    IncludeFile file;
    file.name = (path.parent_path() / name).string();
    file.found = fs::is_regular_file(file.name);
    if (file.found) file.text = WithCrLf(ReadFile(file.name));
    return file;
  };
  const std::string text = preprocessor.Preprocess(path.string(), source);

  TPSPascalCompiler compiler;
  compiler.MainBlockOptional = true;
  compiler.DeclareUnit = [](TPSPascalCompiler& c, const std::string& unit) {
    if (unit != "SYSTEM") return false;
    c.DeclareClassLibrary();
    c.DeclareHostVariable("Application", "TApplication");
    c.DeclareNative("procedure print(s: string);");
    c.DeclareNative("procedure printi(i: Int64);");
    return true;
  };
  const bool compiled = compiler.Compile(text);
  std::vector<std::string> messages;
  for (int i = 0; i < compiler.MessageCount(); ++i) messages.push_back(compiler.MessageText(i));
  if (!expect.compile_errors.empty()) {
    EXPECT_FALSE(compiled) << "compiled although errors were expected";
    for (const auto& error : expect.compile_errors) {
      EXPECT_NE(std::find(messages.begin(), messages.end(), error), messages.end())
          << "missing message: " << error << "\nmessages:\n" << Joined(messages);
    }
    return;
  }
  ASSERT_TRUE(compiled) << "messages:\n" << Joined(messages);

  std::vector<std::string> output;
  TPSExec exec;
  exec.SetStepLimit(kStepLimit);
  exec.SetClassImporter(TPSRuntimeClassImporter::Standard());
  exec.RegisterNative("PRINT", [&output](NativeCall& call) { output.push_back(call.Str(0)); });
  exec.RegisterNative("PRINTI", [&output](NativeCall& call) {
    output.push_back(std::to_string(call.Int(0)));
  });
  const bool loaded = exec.Load(compiler.ProgramImage());
  if (expect.load_error) {
    EXPECT_FALSE(loaded) << "loaded although a load error was expected";
    EXPECT_EQ(exec.LastErrorParameter(), *expect.load_error);
    return;
  }
  ASSERT_TRUE(loaded) << "load failed: " << exec.LastErrorParameter();

  const bool ran = exec.RunMainBlock();
  if (expect.runtime_error) {
    EXPECT_FALSE(ran) << "ran to the end although a runtime error was expected";
    if (!ran) {
      EXPECT_EQ(exec.LastErrorMessage(), *expect.runtime_error);
    }
  } else {
    EXPECT_TRUE(ran) << "runtime error: " << exec.LastErrorMessage();
  }
  EXPECT_EQ(Joined(output), Joined(expect.output));
}

std::string TestName(const ::testing::TestParamInfo<std::string>& info) {
  std::string name = info.param.substr(0, info.param.size() - 4);
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Programs, CorpusTest, ::testing::ValuesIn(CorpusFiles()), TestName);

}  // namespace
}  // namespace qorsv::script
