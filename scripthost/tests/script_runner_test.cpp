#include "scripthost/script_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "console/compile_report.h"
#include "console/product.h"
#include "console/server_log.h"
#include "console/ui_loop.h"
#include "scripthost/echo_slots.h"
#include "scripthost/program_cache.h"
#include "scripthost/sql_handles.h"
#include "scripthost/tests/temp_dir.h"

namespace qorsv {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

std::string ShippedExtQor() {
  std::filesystem::path repo = std::filesystem::path(__FILE__).parent_path() / "../..";
  return ReadFile((repo / "runtime/scripts/ext.qor").string());
}

// ext.qor with one routine's text replaced.
std::string ExtQorWith(const std::string& from, const std::string& to) {
  std::string text = ShippedExtQor();
  size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

class ScriptRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir_ / "scripts");
    std::filesystem::create_directories(dir_ / "temp");
    WriteFile(dir_ / "scripts/ext.qor", ShippedExtQor());
  }

  ScriptRunInput Input(const std::string& script) {
    ScriptRunInput input;
    input.script_text = script;
    input.client_address = "10.1.2.3";
    input.host_name = "www.test";
    input.host_root = "/srv/www/";
    input.document = "/p.html";
    input.data = &data_;
    input.thread_id = 5151;
    input.response = &response_;
    input.program_dir = dir_.Dir();
    return input;
  }

  std::string Run(const std::string& script, ScriptRunDetails* details = nullptr) {
    return runscript(Input(script), details);
  }

  // No temporary file is left under its own name (spare files may stay for later runs).
  bool TempIsEmpty() const {
    for (const auto& entry : std::filesystem::directory_iterator(dir_ / "temp")) {
      if (entry.path().filename().string().rfind("qortmpscr", 0) == 0) return false;
    }
    return true;
  }

  TempDir dir_;
  RequestData data_;
  ResponseInfo response_;
};

TEST_F(ScriptRunnerTest, SmallRunReturnsWhatTheScriptWrote) {
  ScriptRunDetails details;
  EXPECT_EQ(Run("\r\nbegin\r\n  write_html('hi', uniqueecho);\r\nend.", &details), "hi");
  EXPECT_TRUE(details.compiled);
  EXPECT_TRUE(details.loaded);
  EXPECT_EQ(details.main_block_error, "");
  ASSERT_EQ(response_.ResponseCookies.size(), 1u);
  const ResponseCookie& cookie = response_.ResponseCookies[0];
  EXPECT_EQ(cookie.name, "qorserver");
  EXPECT_EQ(cookie.value, kProductBanner);
  EXPECT_EQ(cookie.max_age, 10077682);
  EXPECT_TRUE(TempIsEmpty());  // the ".pfii" copy is gone
  EXPECT_FALSE(ScriptEchoSlots().Busy(1));
}

TEST_F(ScriptRunnerTest, RequestValuesReachTheScriptUnchanged) {
  data_.params.Append("a", "b'c\tx\xe9");
  data_.params.Append("empty", "");
  data_.headers.Append("X-Quote", "it's");
  data_.cookies.Append("k", "v\r\nw");
  std::string script =
      "\r\nbegin\r\necho(getparam('A') + '|' + getparam('empty') + '|' + getheader('x-quote') +"
      "\r\n  '|' + getcookie('k') + '|' + myip + '|' + myhost + '|' + myhostdir + '|' +"
      "\r\n  localdoc + '|' + lastvisit + '|' + userip + '|' + inttostr(params.count));\r\nend.";
  EXPECT_EQ(Run(script), "b'c\tx\xe9||it's|v\r\nw|10.1.2.3|www.test|/srv/www/|/p.html||10.1.2.3|2");
}

TEST_F(ScriptRunnerTest, CompileErrorsAnswerTheMarkedListingLine) {
  UiLoop loop([] { return uint64_t{0}; }, [](const std::string&) {});
  std::vector<CompileReport> reports;
  SetCompileReportLoop(&loop);
  SetCompileReportSink([&](const CompileReport& report) { reports.push_back(report); });

  ScriptRunDetails details;
  std::string output = Run("\r\nbegin\r\n  echo('a');\r\n  nosuchroutine(1);\r\nend.", &details);
  loop.RunPendingTasks();
  SetCompileReportSink(nullptr);
  SetCompileReportLoop(nullptr);

  EXPECT_FALSE(details.compiled);
  ASSERT_FALSE(details.compiler_messages.empty());
  ASSERT_EQ(reports.size(), 1u);
  const CompileReport& report = reports[0];
  EXPECT_TRUE(report.failed);
  EXPECT_EQ(report.messages, details.compiler_messages);
  // The row is the script's second line, after the prelude and the whole of ext.qor.
  std::vector<std::string> listing = ListingLines(report.compiled_text);
  ASSERT_GE(report.error_line, 3);
  ASSERT_LE(report.error_line, static_cast<int>(listing.size()));
  EXPECT_EQ(listing[report.error_line - 1], "  nosuchroutine(1);");
  EXPECT_EQ(listing[report.error_line - 4], "");  // the line break before the block's lines
  const std::string line = "[" + std::to_string(report.error_line) + "]    nosuchroutine(1);";
  EXPECT_EQ(output, "Script error . " + line);
  EXPECT_EQ(report.status_text, output + " [ " + line + " ] ");
  EXPECT_TRUE(response_.ResponseCookies.empty());  // nothing of the script ran
  EXPECT_TRUE(TempIsEmpty());
}

TEST_F(ScriptRunnerTest, SystemIsTheOnlyUnitAndApplicationIsSet) {
  ScriptRunDetails details;
  std::string output = Run("\r\nuses Classes;\r\nbegin echo('a'); end.", &details);
  EXPECT_EQ(output, "Script error . [" +
                        std::to_string(ErrorLineOfMessages(details.compiler_messages)) +
                        "]  uses Classes;");
  EXPECT_EQ(Run("\r\nuses System;\r\nbegin if Application <> nil then echo('set'); end."), "set");
}

TEST_F(ScriptRunnerTest, LoadFailureAnswersTheCompiledTextAndTheMissingItem) {
  ScriptRunDetails details;
  std::string output =
      Run("\r\nfunction Gone(x: integer): integer; external 'Gone@nosuchlib_qorsv.so cdecl';"
          "\r\nbegin\r\n  echo(inttostr(Gone(1)));\r\nend.",
          &details);
  EXPECT_TRUE(details.compiled);
  EXPECT_FALSE(details.loaded);
  EXPECT_EQ(output.rfind(" const uniqueecho=1; myip='10.1.2.3';", 0), 0u) << output;
  size_t tail = output.find(kLoadFailureText);
  ASSERT_NE(tail, std::string::npos) << output;
  EXPECT_NE(output.substr(tail + strlen(kLoadFailureText)), "");  // the engine's parameter
  EXPECT_NE(output.rfind("  echo(inttostr(Gone(1)));\r\nend.", tail), std::string::npos);
  EXPECT_TRUE(response_.ResponseCookies.empty());
}

TEST_F(ScriptRunnerTest, FailuresThatPropagate) {
  struct Case {
    const char* what;
    std::string ext_qor;
    std::string script;
    bool call_failure;  // else a preprocess failure
    std::string message;
  } cases[] = {
      {"missing include", ShippedExtQor(), "\r\n{$i missing.qor}", false,
       "Unable to find file '" + dir_.Dir() + "scripts/missing.qor' used from '"},
      {"unknown directive", ShippedExtQor(), "\r\n{$R x}", false,
       "Unknown compiler directives at "},
      {"ext.qor without setuserip",
       ExtQorWith("procedure setuserip(ip: string);", "procedure setuserip2(ip: string);"),
       "\r\nbegin echo('a'); end.", true, "Unknown procedure"},
      {"setusersonline without its parameter",
       ExtQorWith("procedure setusersonline(count: Word);\r\nbegin\r\n  usersonline := count;",
                  "procedure setusersonline;\r\nbegin\r\n  usersonline := 0;"),
       "\r\nbegin echo('a'); end.", true, "Too many parameters"},
      {"a called routine ends with a runtime error",
       ExtQorWith("  userip := ip;", "  RaiseException(erCustomError, 'no ip for you');"),
       "\r\nbegin echo('a'); end.", true, "no ip for you"},
  };
  for (const Case& c : cases) {
    WriteFile(dir_ / "scripts/ext.qor", c.ext_qor);
    response_ = ResponseInfo();
    try {
      Run(c.script);
      ADD_FAILURE() << c.what << ": no failure";
    } catch (const ScriptCallFailure& failure) {
      EXPECT_TRUE(c.call_failure) << c.what;
      EXPECT_EQ(std::string(failure.what()), c.message) << c.what;
    } catch (const ScriptPreprocessFailure& failure) {
      EXPECT_FALSE(c.call_failure) << c.what;
      EXPECT_EQ(std::string(failure.what()).rfind(c.message, 0), 0u) << failure.what();
    }
    EXPECT_TRUE(TempIsEmpty()) << c.what;
    EXPECT_FALSE(ScriptEchoSlots().Busy(1)) << c.what;
  }
}

TEST_F(ScriptRunnerTest, CookiesQueuedByTheScriptFollowTheServerCookie) {
  Run("\r\nbegin\r\n  addcookie('u', '1');\r\n  addcookie('v', '2');\r\nend.");
  // A second block of the same page keeps a single "qorserver" cookie.
  Run("\r\nbegin addcookie('w', '3'); end.");
  std::vector<std::string> cookies;
  for (const ResponseCookie& cookie : response_.ResponseCookies) {
    cookies.push_back(cookie.name + "=" + cookie.value);
  }
  EXPECT_EQ(cookies, (std::vector<std::string>{std::string("qorserver=") + kProductBanner, "u=1",
                                               "v=2", "w=3"}));
  EXPECT_EQ(response_.ResponseCookies[0].max_age, 10077682);
}

TEST_F(ScriptRunnerTest, OnlyTheLowEightBitsOfTheCookieCountCount) {
  // 258 queued cookies count as 2; every asked index answers, so the number of asks shows.
  std::string ext = ExtQorWith("  Result := addcookiescount;", "  Result := 258;");
  const std::string name_body =
      "  if (i >= 1) and (i <= addcookiescount) then\r\n    Result := addcookiesname[i];";
  size_t at = ext.find(name_body);
  ASSERT_NE(at, std::string::npos);
  ext.replace(at, name_body.size(), "  Result := 'c' + inttostr(i);");
  WriteFile(dir_ / "scripts/ext.qor", ext);
  Run("\r\nbegin echo('x'); end.");
  ASSERT_EQ(response_.ResponseCookies.size(), 3u);
  EXPECT_EQ(response_.ResponseCookies[1].name, "c1");
  EXPECT_EQ(response_.ResponseCookies[2].name, "c2");
}

TEST_F(ScriptRunnerTest, EveryRunHasItsOwnSlot) {
  // A run while slot 1 is held elsewhere gets slot 2; the next run gets slot 1 again.
  int held = ScriptEchoSlots().TakeOutputSlot();
  ASSERT_EQ(held, 1);
  EXPECT_EQ(Run("\r\nbegin echo(inttostr(uniqueecho)); end."), "2");
  ScriptEchoSlots().ReleaseOutputSlot(held);
  EXPECT_EQ(Run("\r\nbegin echo(inttostr(uniqueecho)); end."), "1");

  // Many runs at once: each one's output is its own.
  constexpr int kRuns = 12;
  std::vector<std::string> outputs(kRuns);
  std::vector<std::thread> threads;
  for (int i = 0; i < kRuns; ++i) {
    threads.emplace_back([&, i] {
      RequestData data;
      data.params.Append("id", "<" + std::to_string(i) + ">");
      ResponseInfo response;
      ScriptRunInput input = Input(
          "\r\nvar n: integer;\r\nbegin\r\n  for n := 1 to 200 do echo(getparam('id'));\r\nend.");
      input.data = &data;
      input.response = &response;
      outputs[i] = runscript(input);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int i = 0; i < kRuns; ++i) {
    std::string expected;
    for (int n = 0; n < 200; ++n) expected += "<" + std::to_string(i) + ">";
    EXPECT_EQ(outputs[i], expected) << i;
  }
  for (int slot = 1; slot <= kRuns; ++slot) EXPECT_FALSE(ScriptEchoSlots().Busy(slot)) << slot;
  EXPECT_TRUE(TempIsEmpty());
}

TEST_F(ScriptRunnerTest, LogLinesOfARun) {
  std::vector<std::string> syslog;
  SetLogViewSink([&](LogView view, const std::string& line) {
    if (view == LogView::kSyslog) syslog.push_back(line);
  });
  ProcessLogBuffer().TakeAll();
  SetShowLog(false);
  Run("\r\nbegin echo('q'); end.");
  std::vector<std::string> lines = ProcessLogBuffer().TakeAll();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find(" ] RUN SCRIPT \"\r\nbegin echo('q'); end.\""), std::string::npos)
      << lines[0];
  EXPECT_EQ(lines[1].rfind("Delta time :", 0), 0u) << lines[1];  // no time stamp
  EXPECT_TRUE(syslog.empty());

  SetShowLog(true);
  Run("\r\nbegin echo('q'); end.");
  SetShowLog(false);
  SetLogViewSink(nullptr);
  EXPECT_EQ(syslog, std::vector<std::string>{"ended connection :5151"});
}

TEST_F(ScriptRunnerTest, SqlHandlesLeftOpenAreReleasedWithTheRun) {
  WriteFile(dir_ / "db.sqlite", "");  // an empty file is an empty database
  uint32_t before = CountSqlHandlesInUse();
  std::string output =
      Run("\r\nvar h: longword;\r\nbegin\r\n  h := sql_getnewhandle('" + dir_.Dir() +
          "db.sqlite');\r\n  echo(inttostr(sql_freehandles));\r\nend.");
  EXPECT_EQ(output, std::to_string(before + 1));
  EXPECT_EQ(CountSqlHandlesInUse(), before);
}

// A main block that runs past the time limit ends like one with a runtime error: what it wrote
// and the cookies it queued go out, its SQL handle and slot are released, the log says why.
TEST_F(ScriptRunnerTest, TimeLimitEndsAnEndlessMainBlock) {
  WriteFile(dir_ / "db.sqlite", "");
  uint32_t handles_before = CountSqlHandlesInUse();
  ProcessLogBuffer().TakeAll();
  ScriptRunInput input =
      Input("\r\nvar h: longword;\r\nbegin\r\n  h := sql_getnewhandle('" + dir_.Dir() +
            "db.sqlite');\r\n  addcookie('u', '1');\r\n  echo('a');\r\n  while true do ;\r\nend.");
  input.time_limit = std::chrono::seconds(1);
  ScriptRunDetails details;
  EXPECT_EQ(runscript(input, &details), "a");
  EXPECT_EQ(details.main_block_error,
            "Script stopped: it ran longer than the ScriptTimeLimit of 1 s");
  ASSERT_EQ(response_.ResponseCookies.size(), 2u);
  EXPECT_EQ(response_.ResponseCookies[1].HeaderText(), "u=1; Version=\"1\"");
  EXPECT_EQ(CountSqlHandlesInUse(), handles_before);
  EXPECT_FALSE(ScriptEchoSlots().Busy(1));
  EXPECT_TRUE(TempIsEmpty());
  std::vector<std::string> lines = ProcessLogBuffer().TakeAll();
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
    return line.find("] " + TimeLimitMessage(std::chrono::seconds(1)) + " ID=5151") !=
           std::string::npos;
  }));

  // Within the limit nothing changes.
  response_ = ResponseInfo();
  input.script_text = "\r\nvar i: integer;\r\nbegin for i := 1 to 100000 do ; echo('b'); end.";
  ScriptRunDetails timely;
  EXPECT_EQ(runscript(input, &timely), "b");
  EXPECT_EQ(timely.main_block_error, "");
}

// An ext.qor routine called by name that runs past the limit fails the run, as any failing
// routine called by name does.
TEST_F(ScriptRunnerTest, TimeLimitAlsoBoundsTheRoutinesCalledByName) {
  WriteFile(dir_ / "scripts/ext.qor", ExtQorWith("  userip := ip;", "  while true do ;"));
  ScriptRunInput input = Input("\r\nbegin echo('a'); end.");
  input.time_limit = std::chrono::seconds(1);
  try {
    runscript(input);
    ADD_FAILURE() << "no failure";
  } catch (const ScriptCallFailure& failure) {
    EXPECT_EQ(std::string(failure.what()), TimeLimitMessage(std::chrono::seconds(1)));
  }
  EXPECT_FALSE(ScriptEchoSlots().Busy(1));
}

class KeptProgramTest : public ScriptRunnerTest {
 protected:
  std::string RunKept(const std::string& script, ScriptRunDetails* details) {
    return runscript(Input(script), details, &programs_);
  }
  ProgramCache programs_;
};

TEST_F(KeptProgramTest, LaterRequestsOfTheSameShapeRunTheKeptProgramWithTheirOwnValues) {
  const std::string script =
      "\r\nbegin\r\n  echo(getparam('name') + '|' + localdoc + '|' + myip + '|' +"
      "\r\n    inttostr(uniqueecho) + '|' + getheader('h') + '|' + getcookie('c'));\r\nend.";
  struct Request {
    std::string name, document, client, header, cookie;
    bool reused;
  } requests[] = {
      // The first run of a shape compiles, the second compiles and keeps, the third reuses.
      {"ann", "/p.html", "10.1.2.3", "one", "", false},
      {"bob's", "/q.html", "10.9.9.9", "two words", "", false},
      {"Cyd", "/r.html", "10.0.0.3", "", "", true},
      // A one-character text is a Char, and a cookie more another shape: their own programs.
      {"x", "/q.html", "10.9.9.9", "two", "", false},
      {"y", "/r.html", "10.0.0.1", "three", "", false},
      {"z", "/p.html", "10.0.0.1", "four", "", true},
      {"", "/s.html", "10.0.0.1", "five", "z'z", false},
      {"it", "/t.html", "10.0.0.2", "six", "ok", false},
      {"me", "/u.html", "10.0.0.2", "seven", "yes", true},
  };
  for (const Request& request : requests) {
    data_ = RequestData{};
    data_.params.Append("name", request.name);
    data_.headers.Append("h", request.header);
    if (!request.cookie.empty()) data_.cookies.Append("c", request.cookie);
    ScriptRunInput input = Input(script);
    input.document = request.document;
    input.client_address = request.client;
    ScriptRunDetails details;
    EXPECT_EQ(runscript(input, &details, &programs_),
              request.name + "|" + request.document + "|" + request.client + "|1|" +
                  request.header + "|" + request.cookie);
    EXPECT_EQ(details.reused_program, request.reused) << request.name;
    EXPECT_TRUE(details.compiler_messages.empty());
  }
  EXPECT_EQ(programs_.size(), 3u);
  EXPECT_TRUE(TempIsEmpty());
}

TEST_F(KeptProgramTest, ProgramsThatNeedAValueWhileCompilingAreCompiledForEveryRun) {
  const std::string scripts[] = {
      // A bound, and arithmetic a compiler folds, depend on the value.
      "\r\nvar a: array[1..uniqueecho] of Integer;\r\nbegin echo(inttostr(High(a))); end.",
      "\r\nbegin echo(inttostr(uniqueecho * 1000)); end.",
  };
  const std::string outputs[] = {"1", "1000"};
  for (int i = 0; i < 2; ++i) {
    for (int run = 0; run < 3; ++run) {
      ScriptRunDetails details;
      EXPECT_EQ(RunKept(scripts[i], &details), outputs[i]);
      EXPECT_FALSE(details.reused_program);
    }
  }
  EXPECT_EQ(programs_.size(), 2u);  // both remembered as programs to compile every time
}

TEST_F(KeptProgramTest, FailedCompilationsAreNotKeptAndAreReportedEveryTime) {
  for (int run = 0; run < 2; ++run) {
    ScriptRunDetails details;
    std::string output = RunKept("\r\nbegin\r\n  nosuchroutine;\r\nend.", &details);
    EXPECT_EQ(output.rfind("Script error . ", 0), 0u) << output;
    EXPECT_FALSE(details.compiled);
    EXPECT_FALSE(details.compiler_messages.empty());
  }
  EXPECT_EQ(programs_.size(), 0u);
}

TEST_F(KeptProgramTest, AChangedIncludeFileGivesANewProgram) {
  const std::string script = "\r\nbegin echo(greeting); end.";
  WriteFile(dir_ / "scripts/ext.qor",
            ShippedExtQor() + "\r\nfunction greeting: string; begin Result := 'hello'; end;\r\n");
  ScriptRunDetails details;
  for (int run = 0; run < 3; ++run) EXPECT_EQ(RunKept(script, &details), "hello");
  EXPECT_TRUE(details.reused_program);
  WriteFile(dir_ / "scripts/ext.qor",
            ShippedExtQor() + "\r\nfunction greeting: string; begin Result := 'howdy!'; end;\r\n");
  EXPECT_EQ(RunKept(script, &details), "howdy!");
  EXPECT_FALSE(details.reused_program);
}

TEST_F(KeptProgramTest, ConcurrentRunsShareAKeptProgramAndKeepTheirOwnOutput) {
  const std::string script = "\r\nbegin echo(getparam('n')); end.";
  RunKept(script, nullptr);
  RunKept(script, nullptr);  // keeps the program
  constexpr int kThreads = 8;
  constexpr int kRuns = 25;
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRuns; ++i) {
        RequestData data;
        std::string value = "v" + std::to_string(t * 1000 + i);
        data.params.Append("n", value);
        ScriptRunInput input = Input(script);
        input.data = &data;
        input.response = nullptr;
        if (runscript(input, nullptr, &programs_) != value) ++wrong;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace qorsv
