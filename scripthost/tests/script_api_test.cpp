#include "scripthost/script_api.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "scripthost/echo_slots.h"
#include "scripthost/mail.h"
#include "scripthost/tests/fake_native_call.h"
#include "transport/error.h"

namespace qorsv {
namespace {

using testing::FakeNativeCall;

const script::NativeFunction& Native(const std::string& registered_name) {
  for (const NativeEntry& entry : ScriptApiNatives()) {
    if (entry.registered_name == registered_name && entry.function) return entry.function;
  }
  throw std::logic_error("no native " + registered_name);
}

FakeNativeCall CallNative(const std::string& name, std::vector<FakeNativeCall::Value> args) {
  FakeNativeCall call(std::move(args));
  Native(name)(call);
  return call;
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
      {20, "function FileCreate(const FileName: string): Integer;", "FILECREATE"},
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

TEST(ScriptApiTest, EveryNameIsRegisteredOnceExceptIntToStr) {
  std::map<std::string, int> registrations;
  for (const NativeEntry& entry : ScriptApiNatives()) {
    registrations[entry.registered_name] += entry.function ? 1 : 0;
  }
  EXPECT_EQ(registrations.size(), 92u);  // FileExists and FileCreate are declared twice
  for (const auto& [name, count] : registrations) {
    if (name == "INTTOSTR") {
      EXPECT_EQ(count, 0) << "the engine serves IntToStr";
    } else {
      EXPECT_EQ(count, 1) << name;
    }
  }
}

TEST(ScriptApiTest, MailRowsUseTheMailNatives) {
  std::map<std::string, std::string> mail_declarations;
  for (const NativeEntry& mail : MailNatives()) {
    mail_declarations[mail.registered_name] = mail.declaration;
  }
  int mail_rows = 0;
  for (const NativeEntry& entry : ScriptApiNatives()) {
    if (!entry.registered_name.starts_with("MAIL_")) continue;
    ++mail_rows;
    EXPECT_EQ(mail_declarations[entry.registered_name], entry.declaration);
  }
  EXPECT_EQ(mail_rows, 15);
}

TEST(ScriptApiTest, DeclaredNames) {
  EXPECT_EQ(DeclaredName("procedure  filemove(source,destination:string);"), "filemove");
  EXPECT_EQ(DeclaredName("procedure sql_rollback (handle:longword);"), "sql_rollback");
  EXPECT_EQ(DeclaredName("function sql_freehandles:longword;"), "sql_freehandles");
  EXPECT_EQ(DeclaredName("procedure mail_connect;"), "mail_connect");
  EXPECT_EQ(DeclaredName("Function FileIsOpen(Const fname: String): Boolean;"), "FileIsOpen");
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

TEST(ScriptApiTest, ConversionNativesPassTheirErrorsOn) {
  EXPECT_EQ(CallNative("INTTOHEX", {int64_t{-1}, int64_t{2}}).ResultStr(), "FFFFFFFF");
  EXPECT_EQ(CallNative("STRTOINT", {"$1F"}).ResultInt(), 31);
  try {
    CallNative("STRTOINT", {"12a"});
    FAIL();
  } catch (const QorsvError& error) {
    EXPECT_STREQ(error.what(), "'12a' is not a valid integer value");
  }
  EXPECT_EQ(CallNative("STRLEN", {std::string("ab\0cd", 5)}).ResultInt(), 2);
  EXPECT_EQ(CallNative("FLOATTOSTR", {2.5}).ResultStr(), "2.5");
  EXPECT_DOUBLE_EQ(CallNative("STRTOFLOAT", {"-1.25"}).ResultFloat(), -1.25);
}

TEST(ScriptApiTest, ClockPartsAreInRange) {
  struct Part {
    const char* name;
    int64_t low, high;
  } parts[] = {
      {"GETHOUR", 0, 23},      {"GETMIN", 0, 59},   {"GETSEC", 0, 59}, {"GETMSEC", 0, 999},
      {"GETYEAR", 2000, 9999}, {"GETMONTH", 1, 12}, {"GETDAY", 1, 31},
  };
  for (const Part& part : parts) {
    int64_t value = CallNative(part.name, {}).ResultInt();
    EXPECT_GE(value, part.low) << part.name;
    EXPECT_LE(value, part.high) << part.name;
  }
}

TEST(ScriptApiTest, RandomStaysBelowItsRange) {
  CallNative("RANDOMIZE", {});
  std::set<int64_t> seen;
  for (int i = 0; i < 2000; ++i) {
    int64_t value = CallNative("RANDOM", {int64_t{10}}).ResultInt();
    ASSERT_GE(value, 0);
    ASSERT_LT(value, 10);
    seen.insert(value);
  }
  EXPECT_EQ(seen.size(), 10u);
  EXPECT_EQ(CallNative("RANDOM", {int64_t{0}}).ResultInt(), 0);
  EXPECT_EQ(CallNative("RANDOM", {int64_t{-5}}).ResultInt(), 0);
}

TEST(ScriptApiTest, ReverseLookupAnswersEmptyForNonsense) {
  EXPECT_EQ(CallNative("RESOLVEIPTONAME", {"not an address"}).ResultStr(), "");
  EXPECT_EQ(CallNative("RESOLVEIPTONAME", {""}).ResultStr(), "");
  // Loopback normally has a name; whatever the host's files say, the call must come back.
  CallNative("RESOLVEIPTONAME", {"127.0.0.1"});
}

}  // namespace
}  // namespace qorsv
