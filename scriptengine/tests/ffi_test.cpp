#include "scriptengine/ffi.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "scriptengine/engine_error.h"

namespace qorsv::script {
namespace {

// The test library is built next to this test binary, which is the program directory here.
constexpr char kTestLib[] = "ffi_test_lib.dll";

FfiValue Int(int64_t v) { return {v, 0, nullptr}; }
FfiValue Float(double v) { return {0, v, nullptr}; }
FfiValue Ptr(const void* p) { return {0, 0, p}; }

class FfiCallTest : public ::testing::Test {
 protected:
  void* Fn(const std::string& name) {
    const ResolvedFunction fn = libs_.Resolve(kTestLib, name);
    EXPECT_TRUE(fn.found()) << name << " missing: " << fn.missing;
    return fn.address;
  }
  ExternalLibraries libs_;
};

TEST_F(FfiCallTest, IntegerResultsKeepTheirDeclaredWidth) {
  struct Case {
    const char* function;
    FfiType result;
    std::vector<FfiType> params;
    std::vector<FfiValue> args;
    int64_t expected;
  };
  using T = FfiType;
  const std::vector<Case> cases = {
      {"qt_add_i32", T::kInt32, {T::kInt32, T::kInt32}, {Int(40), Int(2)}, 42},
      {"qt_add_i32", T::kInt32, {T::kInt32, T::kInt32}, {Int(-5), Int(2)}, -3},
      {"qt_negate_i8", T::kInt8, {T::kInt8}, {Int(1)}, -1},
      {"qt_max_u8", T::kUInt8, {}, {}, 255},
      {"qt_min_i16", T::kInt16, {}, {}, -32768},
      {"qt_echo_u16", T::kUInt16, {T::kUInt16}, {Int(65535)}, 65535},
      // Arguments are cut to the parameter's width, as the C callee would see them.
      {"qt_echo_u16", T::kUInt16, {T::kUInt16}, {Int(65536 + 7)}, 7},
      {"qt_max_u32", T::kUInt32, {}, {}, 4294967295LL},
      {"qt_mul_i64",
       T::kInt64,
       {T::kInt64, T::kInt64},
       {Int(3000000000LL), Int(-3)},
       -9000000000LL},
      {"qt_max_u64", T::kUInt64, {}, {}, -1},
      {"qt_is_even", T::kBool, {T::kInt32}, {Int(10)}, 1},
      {"qt_is_even", T::kBool, {T::kInt32}, {Int(7)}, 0},
      {"qt_two", T::kBool, {}, {}, 1},
      {"qt_not", T::kBool, {T::kBool}, {Int(256)}, 0},
  };
  for (const Case& c : cases) {
    PreparedCall call(c.result, c.params);
    EXPECT_EQ(call.Invoke(Fn(c.function), c.args).i, c.expected) << c.function;
  }
}

TEST_F(FfiCallTest, FloatsTextAndPointers) {
  PreparedCall half(FfiType::kSingle, {FfiType::kSingle});
  EXPECT_DOUBLE_EQ(half.Invoke(Fn("qt_half"), std::vector{Float(5)}).d, 2.5);

  PreparedCall scale(FfiType::kDouble, {FfiType::kDouble, FfiType::kSingle, FfiType::kInt32});
  EXPECT_DOUBLE_EQ(scale.Invoke(Fn("qt_scale"), std::vector{Float(1.5), Float(4), Int(-1)}).d, 5.0);

  using T = FfiType;
  PreparedCall sum10(T::kDouble, {T::kInt32, T::kDouble, T::kInt64, T::kSingle, T::kInt16,
                                  T::kDouble, T::kUInt8, T::kDouble, T::kInt32, T::kDouble});
  const std::vector<FfiValue> args = {Int(1),   Float(2), Int(3),   Float(4), Int(5),
                                      Float(6), Int(7),   Float(8), Int(9),   Float(10)};
  EXPECT_DOUBLE_EQ(sum10.Invoke(Fn("qt_sum10"), args).d, 55.0);

  PreparedCall length(FfiType::kInt32, {FfiType::kPointer});
  EXPECT_EQ(length.Invoke(Fn("qt_length"), std::vector{Ptr("four")}).i, 4);
  EXPECT_EQ(length.Invoke(Fn("qt_length"), std::vector{Ptr(nullptr)}).i, -1);

  PreparedCall greeting(FfiType::kPointer, {});
  EXPECT_STREQ(static_cast<const char*>(greeting.Invoke(Fn("qt_greeting"), {}).p), "hello from C");

  int32_t target = 0;
  PreparedCall store(FfiType::kVoid, {FfiType::kPointer, FfiType::kInt32});
  store.Invoke(Fn("qt_store"), std::vector{Ptr(&target), Int(77)});
  EXPECT_EQ(target, 77);
}

TEST_F(FfiCallTest, WrongArgumentCountOrVoidParameterIsRefused) {
  PreparedCall add(FfiType::kInt32, {FfiType::kInt32, FfiType::kInt32});
  EXPECT_THROW(add.Invoke(Fn("qt_add_i32"), std::vector{Int(1)}), ScriptEngineError);
  EXPECT_THROW(PreparedCall(FfiType::kInt32, {FfiType::kVoid}), ScriptEngineError);
}

TEST(FfiSystemLibraryTest, CallsIntoLibcAndLibm) {
  ExternalLibraries libs;
  const ResolvedFunction pow_fn = libs.Resolve("libm.so.6", "pow");
  ASSERT_TRUE(pow_fn.found()) << pow_fn.missing;
  PreparedCall pow_call(FfiType::kDouble, {FfiType::kDouble, FfiType::kDouble});
  EXPECT_DOUBLE_EQ(pow_call.Invoke(pow_fn.address, std::vector{Float(2), Float(10)}).d, 1024.0);

  const ResolvedFunction strlen_fn = libs.Resolve("libc.so.6", "strlen");
  ASSERT_TRUE(strlen_fn.found()) << strlen_fn.missing;
  PreparedCall strlen_call(FfiType::kUInt64, {FfiType::kPointer});
  EXPECT_EQ(strlen_call.Invoke(strlen_fn.address, std::vector{Ptr("qorsv")}).i, 5);

  const ResolvedFunction abs_fn = libs.Resolve("libc.so.6", "abs");
  PreparedCall abs_call(FfiType::kInt32, {FfiType::kInt32});
  EXPECT_EQ(abs_call.Invoke(abs_fn.address, std::vector{FfiValue{-12, 0, nullptr}}).i, 12);
}

TEST(ExternalLibrariesTest, ReportsWhatIsMissing) {
  ExternalLibraries libs;
  const ResolvedFunction no_lib = libs.Resolve("nosuchlib_qorsv.dll", "Ping");
  EXPECT_FALSE(no_lib.found());
  EXPECT_EQ(no_lib.missing, "nosuchlib_qorsv.dll");
  const ResolvedFunction no_fn = libs.Resolve(kTestLib, "qt_no_such_function");
  EXPECT_FALSE(no_fn.found());
  EXPECT_EQ(no_fn.missing, "qt_no_such_function");
}

TEST(ExternalLibrariesTest, LoadsOncePerInstanceAndFreesOnDestruction) {
  std::string path;
  {
    ExternalLibraries libs;
    const ResolvedFunction bump = libs.Resolve(kTestLib, "qt_bump");
    const ResolvedFunction counter = libs.Resolve(kTestLib, "qt_counter");
    ASSERT_TRUE(bump.found() && counter.found());
    path = libs.LoadedPath(kTestLib);
    EXPECT_EQ(path, ExecutableDirectory() + "libffi_test_lib.so");
    PreparedCall call_bump(FfiType::kVoid, {});
    PreparedCall read(FfiType::kInt32, {});
    call_bump.Invoke(bump.address, {});
    call_bump.Invoke(libs.Resolve(kTestLib, "qt_bump").address, {});
    // One loaded copy: both bumps reached the same counter.
    EXPECT_EQ(read.Invoke(counter.address, {}).i, 2);
  }
  // Nothing else holds the library, so freeing the instance unloaded it.
  EXPECT_EQ(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
}

TEST(ExternalLibrariesTest, CandidatePathsInSearchOrder) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"netprobe.dll",
       {"/p/netprobe.dll", "/p/libnetprobe.so", "/p/netprobe.so", "netprobe.dll", "libnetprobe.so",
        "netprobe.so"}},
      {"Net.DLL", {"/p/Net.DLL", "/p/libNet.so", "/p/Net.so", "Net.DLL", "libNet.so", "Net.so"}},
      {"libm.so.6",
       {"/p/libm.so.6", "/p/liblibm.so.6.so", "/p/libm.so.6.so", "libm.so.6", "liblibm.so.6.so",
        "libm.so.6.so"}},
      {"sub\\x.dll", {"/p/sub/x.dll", "/p/sub/libx.so", "/p/sub/x.so"}},
      {"/opt/q/x.dll", {"/opt/q/x.dll", "/opt/q/libx.so", "/opt/q/x.so"}},
  };
  for (const auto& [name, expected] : cases) {
    EXPECT_EQ(ExternalLibraries::CandidatePaths("/p/", name), expected) << name;
  }
}

}  // namespace
}  // namespace qorsv::script
