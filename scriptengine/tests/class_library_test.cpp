// The host class library at work: files written and read by the classes, the memory and object
// lifetimes of runs that make many objects, the application object.
#include "scriptengine/class_library.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "scriptengine/tests/script_support.h"

namespace qorsv::script {
namespace {

using testing::RunScript;
using testing::ScriptOptions;
using testing::ScriptRun;

namespace fs = std::filesystem;

class ClassFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("qorsv_classes_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::string Read(const std::string& name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // `script` with every "@dir" replaced by the test's folder.
  std::string WithDir(std::string script) const {
    for (size_t at; (at = script.find("@dir")) != std::string::npos;) {
      script.replace(at, 4, dir_.string());
    }
    return script;
  }

  fs::path dir_;
};

TEST_F(ClassFilesTest, StringListsWriteCrLfAndReadEveryLineEnd) {
  {
    std::ofstream mixed(dir_ / "mixed.txt", std::ios::binary);
    mixed << "one\r\ntwo\nthree\rfour";
  }
  ScriptRun run = RunScript(WithDir(R"(
var sl: TStringList;
begin
  sl := TStringList.Create;
  sl.LoadFromFile('@dir/mixed.txt');
  printi(sl.Count);
  sl.Add('five');
  sl.SaveToFile('@dir/out.txt');
  try
    sl.LoadFromFile('@dir/missing.txt');
  except
    print(ExceptionParam);
  end;
  printi(sl.Count);
  sl.Free;
end.)"));
  ASSERT_TRUE(run.completed) << run.message << run.error;
  EXPECT_EQ(run.output,
            "4\nCannot open file \"" + Path("missing.txt") + "\". No such file or directory\n5\n");
  EXPECT_EQ(Read("out.txt"), "one\r\ntwo\r\nthree\r\nfour\r\nfive\r\n");
}

TEST_F(ClassFilesTest, FileAndMemoryStreamsKeepEveryByte) {
  ScriptRun run = RunScript(WithDir(R"(
var fs: TFileStream; ms: TMemoryStream; s: string; i: Integer;
begin
  fs := TFileStream.Create('@dir/data.bin', fmCreate);
  for i := 0 to 255 do s := s + Chr(i);
  fs.WriteBuffer(s, Length(s));
  fs.Position := 10;
  fs.Write('AB', 2);
  printi(fs.Size);
  print(fs.FileName);
  fs.Free;
  fs := TFileStream.Create('@dir/data.bin', fmOpenRead or fmShareDenyWrite);
  fs.Seek(10, soFromBeginning);
  fs.Read(s, 3);
  print(s);
  ms := TMemoryStream.Create;
  ms.CopyFrom(fs, 0);
  fs.Free;
  ms.SaveToFile('@dir/copy.bin');
  ms.Clear;
  ms.LoadFromFile('@dir/copy.bin');
  printi(ms.Size);
  try
    fs := TFileStream.Create('@dir/none/data.bin', fmCreate);
  except
    print(ExceptionParam);
  end;
  ms.Free;
end.)"));
  ASSERT_TRUE(run.completed) << run.message << run.error;
  std::string expected(256, '\0');
  for (int i = 0; i < 256; ++i) expected[static_cast<size_t>(i)] = static_cast<char>(i);
  expected[10] = 'A';
  expected[11] = 'B';
  EXPECT_EQ(run.output, "256\n" + Path("data.bin") + "\nAB\x0c\n256\nCannot create file \"" +
                            Path("none/data.bin") + "\". No such file or directory\n");
  EXPECT_EQ(Read("data.bin"), expected);
  EXPECT_EQ(Read("copy.bin"), expected);
}

TEST(ClassLifetimeTest, HundredThousandObjectsMadeAndFreed) {
  ScriptRun run = RunScript(R"(
var i: Integer; sl: TStringList; kept: TList;
begin
  kept := TList.Create;
  for i := 1 to 100000 do
  begin
    sl := TStringList.Create;
    sl.Add(IntToStr(i));
    if i mod 10000 = 0 then kept.Add(sl) else sl.Free;
  end;
  printi(kept.Count);
  print(TStringList(kept[9]).Strings[0]);
  for i := 0 to kept.Count - 1 do TObject(kept[i]).Free;
  kept.Free;
end.)");
  ASSERT_TRUE(run.completed) << run.message << run.error;
  EXPECT_EQ(run.output, "10\n100000\n");
  EXPECT_EQ(run.live_objects, 0u);
  // Nothing is left counted against the run's cap: the objects and their lists were given back.
  EXPECT_LT(run.memory.live, 4096);
  EXPECT_LT(run.memory.peak, 64 * 1024);
}

TEST(ClassLifetimeTest, OwnersFreeWhatTheyOwnHoweverDeepOrWide) {
  ScriptRun run = RunScript(R"(
var root, c: TComponent; parts: array of TComponent; i: Integer;
begin
  root := TComponent.Create(nil);
  c := root;
  for i := 1 to 300000 do c := TComponent.Create(c);
  root.Free;
  root := TComponent.Create(nil);
  SetLength(parts, 100000);
  for i := 0 to 99999 do parts[i] := TComponent.Create(root);
  for i := 0 to 99998 do parts[i].Free;
  printi(root.ComponentCount);
  if root.Components[0] = parts[99999] then print('the last one is left');
  root.Free;
end.)");
  ASSERT_TRUE(run.completed) << run.message << run.error;
  EXPECT_EQ(run.output, "1\nthe last one is left\n");
  EXPECT_EQ(run.live_objects, 0u);
}

TEST(ClassLifetimeTest, ObjectsARunForgetsAreFreedWithIt) {
  // Under AddressSanitizer a leak here fails the test run.
  ScriptRun run = RunScript(R"(
var i: Integer; sl: TStringList; c: TComponent;
begin
  c := TComponent.Create(nil);
  for i := 1 to 1000 do
  begin
    sl := TStringList.Create;
    sl.Text := 'a'#13#10'b';
    TComponent.Create(c).Tag := i;
    TMemoryStream.Create.Write('data', 4);
  end;
end.)");
  ASSERT_TRUE(run.completed) << run.message << run.error;
  EXPECT_EQ(run.live_objects, 3001u);
}

TEST(ClassLifetimeTest, AFreedObjectsHandleFindsNothingWhenItsSlotIsReused) {
  ScriptRun run = RunScript(R"(
var a, b: TStringList;
begin
  a := TStringList.Create;
  a.Free;
  b := TStringList.Create;
  b.Add('b');
  printi(b.Count);
  a.Add('a');
end.)");
  EXPECT_FALSE(run.completed);
  EXPECT_EQ(run.output, "1\n");
  EXPECT_EQ(run.error, "Access to an object that was freed (TStrings.Add)");
}

TEST(ClassLifetimeTest, ACallOnNilNamesTheCall) {
  ScriptRun run = RunScript("var sl: TStringList; begin sl.Sorted := True; end.");
  EXPECT_FALSE(run.completed);
  EXPECT_EQ(run.error, "Null Pointer Exception (TStringList.Sorted)");
}

TEST(ClassMemoryTest, ListsAndStreamsCountAgainstTheRunsCap) {
  for (const char* script : {
           // Distinct strings held by a list.
           "var sl: TStringList; s: string; i: Integer; begin sl := TStringList.Create;\n"
           "s := StringOfChar('x', 1000000); for i := 1 to 100000 do sl.Add(s + IntToStr(i)); "
           "end.",
           // The slots of lists.
           "var l: TList; begin l := TList.Create; l.Count := 100000000; end.",
           "var l: TStringList; begin l := TStringList.Create; l.Capacity := 100000000; end.",
           // A memory stream.
           "var ms: TMemoryStream; s: string; i: Integer; begin ms := TMemoryStream.Create;\n"
           "s := StringOfChar('x', 1000000); for i := 1 to 100000 do ms.Write(s, Length(s)); "
           "end.",
       }) {
    ScriptRun run = RunScript(script);
    EXPECT_FALSE(run.completed) << script;
    EXPECT_EQ(run.error, "Out Of Memory") << script;
  }
}

TEST(ClassLifetimeTest, RunsOnManyThreadsShareTheLibrary) {
  // The first runs build the classes' bindings while others already look them up.
  const std::string script = R"(
var sl: TStringList; list: TList; s: TStringStream; i: Integer;
begin
  sl := TStringList.Create; list := TList.Create; s := TStringStream.Create('');
  for i := 1 to 200 do begin sl.Add(IntToStr(i mod 17)); list.Add(sl); end;
  sl.Sorted := True;
  s.WriteString(sl.CommaText);
  printi(Length(s.DataString) + list.Count);
end.)";
  std::vector<std::string> outputs(8);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < outputs.size(); ++t) {
    threads.emplace_back([&, t] { outputs[t] = RunScript(script).output; });
  }
  for (std::thread& thread : threads) thread.join();
  for (const std::string& output : outputs) EXPECT_EQ(output, "680\n");
}

TEST(ClassApplicationTest, TheHostsApplicationObject) {
  ScriptOptions options;
  options.after_load = [](TPSExec& exec) {
    ASSERT_TRUE(exec.SetVariableObject("APPLICATION",
                                       NewApplicationObject("TorvaneServer!", "/opt/qorsv/qorsv")));
  };
  ScriptRun run = RunScript(R"(
begin
  print(Application.Title + ' ' + Application.ExeName + ' ' + Application.ClassName);
  Application.Title := 'Mine';
  Application.ProcessMessages;
  print(Application.Title);
  if Application is TComponent then print('a component');
  TApplication.Create(nil);
end.)",
                            options);
  EXPECT_EQ(run.output, "TorvaneServer! /opt/qorsv/qorsv TApplication\nMine\na component\n");
  EXPECT_EQ(run.error, "There are no windows in a server script: TApplication cannot be created");
}

TEST(ClassAssignTest, AssignCopiesWhatItCanAndRefusesTheRest) {
  ScriptRun run = RunScript(R"(
var a, b: TStringList;
begin
  a := TStringList.Create; b := TStringList.Create;
  a.CommaText := 'x,y,z';
  b.Assign(a);
  a.Clear;
  print(b.CommaText);
  b.Assign(b);
  printi(b.Count);
  try
    b.Assign(TComponent.Create(nil));
  except
    print(ExceptionParam);
  end;
  try
    b.Assign(nil);
  except
    print(ExceptionParam);
  end;
  b.AddStrings(b);
  printi(b.Count);
end.)");
  ASSERT_TRUE(run.completed) << run.message << run.error;
  EXPECT_EQ(run.output,
            "x,y,z\n3\nCannot assign a TComponent to a TStringList\n"
            "Cannot assign a nil to a TStringList\n6\n");
}

TEST(ClassCompileTest, ClassesAreDeclaredOnlyWhenNamed) {
  // A script may use the names of library classes for its own things.
  ScriptRun run = RunScript(R"(
var TList: Integer; Add: string;
type TStringList = record Count: Integer; end;
var sl: TStringList;
begin
  TList := 3;
  sl.Count := TList;
  Add := 'own';
  printi(sl.Count);
  print(Add);
end.)");
  ASSERT_TRUE(run.completed) << run.message << run.error;
  EXPECT_EQ(run.output, "3\nown\n");
}

}  // namespace
}  // namespace qorsv::script

namespace qorsv::script {
namespace {

// scripts/classes.txt lists the library for script writers, as scripts/functions.txt lists the
// routines; the help pages are made from it. It must say exactly what the library declares.
std::string RenderClassListing() {
  std::string text =
      "// The host classes of qOr scripts, with the types and constants their members use.\r\n"
      "// The graphics, control and form classes are declared for scripts written for desktop\r\n"
      "// programs; a server script has no windows, so creating one is a run-time error.\r\n";
  for (const char* type : vm_internal::ClassLibraryTypes()) text += std::string(type) + "\r\n";
  for (const char* constant : vm_internal::ClassLibraryConstants()) {
    text += std::string(constant) + "\r\n";
  }
  for (const vm_internal::ClassDef& def : vm_internal::ClassLibrary()) {
    text += "\r\ntype " + std::string(def.name) + " = class";
    if (def.parent != nullptr) text += "(" + std::string(def.parent) + ")";
    text += "\r\n";
    for (const vm_internal::MemberDef& member : def.members) {
      text += "  " + std::string(member.declaration) + "\r\n";
    }
    text += "end;\r\n";
  }
  return text;
}

TEST(ClassListingTest, TheShippedListingIsTheLibrary) {
  const fs::path listing =
      fs::path(__FILE__).parent_path().parent_path().parent_path() / "runtime/scripts/classes.txt";
  std::ifstream in(listing, std::ios::binary);
  std::stringstream shipped;
  shipped << in.rdbuf();
  std::string expected = RenderClassListing();
  if (shipped.str() != expected) {
    const fs::path fresh = fs::temp_directory_path() / "classes.txt";
    std::ofstream(fresh, std::ios::binary) << expected;
    ADD_FAILURE() << listing << " differs from the class library; the library's listing is in "
                  << fresh << " (copy it over, then run tools/help_pages/make_help_pages.py)";
  }
}

}  // namespace
}  // namespace qorsv::script
