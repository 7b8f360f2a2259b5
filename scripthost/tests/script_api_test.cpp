#include "scripthost/script_api.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <set>
#include <thread>

#include "console/operator_messages.h"
#include "scriptengine/compiler.h"
#include "scripthost/echo_slots.h"
#include "scripthost/mail.h"
#include "scripthost/tests/fake_native_call.h"
#include "transport/error.h"

namespace qorsv {
namespace {

using testing::FakeNativeCall;

FakeNativeCall CallNative(const std::string& name, std::vector<FakeNativeCall::Value> args) {
  for (const NativeEntry& entry : ScriptApiNatives()) {
    if (entry.registered_name != name || !entry.function) continue;
    FakeNativeCall call(std::move(args));
    entry.function(call);
    return call;
  }
  throw std::logic_error("no native " + name);
}

TEST(ScriptApiTest, NinetyFourDeclarationsInTheirOrder) {
  const std::vector<NativeEntry>& natives = ScriptApiNatives();
  ASSERT_EQ(natives.size(), 94u);
  struct Row {
    size_t number;
    const char* declaration;
    const char* registered_name;
  } rows[] = {
      {1, "function assign_textfile(FileName:string):integer;", "ASSIGN_TEXTFILE"},
      {12, "function IntToStr(Value: Integer): string;", "INTTOSTR"},
      {22, "function FileCreate(const FileName: string; Rights: Integer): Integer;", "FILECREATE"},
      {55, "procedure  filemove(source,destination:string);", "FILEMOVE"},
      {61, "procedure sql_rollback (handle:longword);", "SQL_ROLLBACK"},
      {79, "function sql_freehandles:longword;", "SQL_FREEHANDLES"},
      {94, "function mail_islocked:boolean;", "MAIL_ISLOCKED"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(natives[row.number - 1].declaration, row.declaration) << row.number;
    EXPECT_EQ(natives[row.number - 1].registered_name, row.registered_name) << row.number;
  }
}

// The runner hands the declarations to each compilation without checking them again: every one
// must declare a routine the compiler accepts.
TEST(ScriptApiTest, EveryDeclarationCompiles) {
  std::vector<std::string> texts;
  for (const NativeEntry& entry : ScriptApiNatives()) texts.push_back(entry.declaration);
  EXPECT_NO_THROW(script::NativeDeclarations checked(texts));
}

TEST(ScriptApiTest, EveryNameIsRegisteredOnceExceptIntToStr) {
  std::map<std::string, int> registrations;
  for (const NativeEntry& entry : ScriptApiNatives()) {
    registrations[entry.registered_name] += entry.function ? 1 : 0;
  }
  EXPECT_EQ(registrations.size(), 92u);  // FileExists and FileCreate are declared twice
  for (const auto& [name, count] : registrations) {
    EXPECT_EQ(count, name == "INTTOSTR" ? 0 : 1) << name;
  }
  // The mail rows carry the mail module's own declarations.
  for (const NativeEntry& mail : MailNatives()) {
    EXPECT_EQ(registrations.count(mail.registered_name), 1u) << mail.registered_name;
  }
}

TEST(ScriptApiTest, OutputNativesAppendToTheNamedSlot) {
  int slot = TakeOutputSlot();
  CallNative("WRITE_HTML", {std::string("be\0fore", 7), int64_t{slot}});
  CallNative("NEWLINE", {int64_t{slot}});
  CallNative("WRITE_HTML", {"x", int64_t{slot}});
  EXPECT_EQ(SlotOutput(slot), "be\r\nx");
  ReleaseOutputSlot(slot);
  EXPECT_THROW(CallNative("NEWLINE", {int64_t{0}}), QorsvError);
  EXPECT_THROW(CallNative("WRITE_HTML", {"x", int64_t{1001}}), QorsvError);
}

TEST(ScriptApiTest, NativesPassArgumentsAndErrorsThrough) {
  EXPECT_EQ(CallNative("INTTOHEX", {int64_t{-1}, int64_t{2}}).ResultStr(), "FFFFFFFF");
  EXPECT_THROW(CallNative("STRTOINT", {"12a"}), QorsvError);
  EXPECT_EQ(CallNative("STRLEN", {std::string("ab\0cd", 5)}).ResultInt(), 2);
  EXPECT_EQ(CallNative("MIDSTR", {"abc", int64_t{2}, int64_t{5}}).ResultStr(), "bc");
  EXPECT_EQ(CallNative("RESOLVEIPTONAME", {"not an address"}).ResultStr(), "");
}

TEST(ScriptApiTest, MsgWaitsUntilTheOperatorClosesTheBox) {
  std::atomic<bool> returned{false};
  std::thread script([&] {
    CallNative("MSG", {"hello operator"});
    returned = true;
  });
  std::vector<OperatorMessage> pending;
  while (pending.empty()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    pending = PendingOperatorMessages();
  }
  EXPECT_EQ(pending.back().text, "hello operator");
  EXPECT_FALSE(returned);
  CloseOperatorMessage(pending.back().number);
  script.join();
  EXPECT_TRUE(returned);
}

TEST(ScriptApiTest, RandomCoversItsRangeAndNothingElse) {
  CallNative("RANDOMIZE", {});
  std::set<int64_t> seen;
  for (int i = 0; i < 2000; ++i) seen.insert(CallNative("RANDOM", {int64_t{10}}).ResultInt());
  EXPECT_EQ(seen, (std::set<int64_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(CallNative("RANDOM", {int64_t{0}}).ResultInt(), 0);
}

}  // namespace
}  // namespace qorsv
