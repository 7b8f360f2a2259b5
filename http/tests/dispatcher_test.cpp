#include "http/dispatcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "console/operator_messages.h"
#include "console/server_log.h"
#include "console/traffic_counters.h"
#include "console/workbench_link.h"
#include "http/local_path.h"
#include "http/mime_table.h"
#include "http/tests/byte_streams.h"
#include "http/tests/temp_program_dir.h"
#include "http/virtual_hosts.h"
#include "transport/platform.h"
#include "transport/spool_file.h"

namespace qorsv {
namespace {

struct Answer {
  int status;
  std::string content_type;
  int64_t content_length;
  std::string text;  // ContentText
  std::string sent;  // what ServeFile streamed, header included
};

class DispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_ = dir_.path() + "site/";
    dir_.Write("site/img/a.png", "PNGDATA");
    dir_.Write("site/sub/index.html", "<p>sub</p>\r\n");
    dir_.Write("site/page.qor", "begin end.\r\n");
    dir_.Write("site/index.html", "<p>home</p>\r\n");
    dir_.Write("other/index.html", "<p>other</p>\r\n");
    dir_.Write("secret.txt", "do not serve");
    LoadMimeTable(dir_.Write("config/mimetypes.dat",
                             ".png\r\nimage/png\r\n.html\r\ntext/html\r\n.txt\r\ntext/plain\r\n"));
    SetHosts({{"*", site_}, {"other.test", dir_.path() + "other/"}});
    // Pages are turned into output files in the program directory's temp folder.
    std::filesystem::create_directories(ProgramDir() + "temp");
  }
  void TearDown() override {
    SetHosts({});
    LoadMimeTable(dir_.path() + "config/none.dat");
    SetWorkbenchFileName("");
  }

  static void SetHosts(std::vector<std::pair<std::string, std::string>> hosts) {
    HostRootDirs().Update([&](HostEntries& entries) {
      entries.clear();
      for (auto& [name, root] : hosts) entries.push_back(Thostrootdirs{name, root, 1});
    });
  }

  Answer Dispatch(const std::string& command, const std::string& document,
                  std::vector<std::string> headers = {"Host: www.test", ""},
                  const std::string& params = "") {
    RequestInfo request;
    request.Command = command;
    request.Document = document;
    request.RemoteIP = "127.0.0.1";
    request.UnparsedParams = params;
    request.RawHeaders = HeaderLines(std::move(headers));
    StringSink sink;
    ResponseWriter writer(sink, command == "HEAD");
    ConnectionThread thread(4242, writer);
    ResponseInfo response;
    HTTPServerCommandGet(thread, request, response);
    return Answer{response.StatusCode(), response.ContentType, response.ContentLength,
                  response.ContentText, sink.out};
  }

  static std::string Body(const Answer& answer) {
    size_t end = answer.sent.find("\r\n\r\n");
    return end == std::string::npos ? "" : answer.sent.substr(end + 4);
  }

  TempProgramDir dir_;
  std::string site_;
};

TEST_F(DispatcherTest, StaticFilesAndDefaultDocuments) {
  struct Case {
    const char* command;
    const char* document;
    const char* type;
    const char* body;
  } cases[] = {
      {"GET", "/img/a.png", "image/png", "PNGDATA"},
      {"GET", "/sub/", "text/html", "<p>sub</p>\r\n"},
      {"GET", "/", "text/html", "<p>home</p>\r\n"},
      {"GET", "//img/./x/../a.png", "image/png", "PNGDATA"},
      {"GET", "/page.qor", "text/html", "begin end.\r\n"},  // no MIME entry: a page
      // A POST goes through the page processor and keeps the file's type.
      {"POST", "/img/a.png", "image/png", "PNGDATA\r\n"},
  };
  for (const Case& c : cases) {
    Answer answer = Dispatch(c.command, c.document);
    EXPECT_EQ(answer.status, 200) << c.document;
    EXPECT_EQ(answer.content_type, c.type) << c.document;
    EXPECT_EQ(Body(answer), c.body) << c.document;
    EXPECT_NE(answer.sent.find("Content-Length: " + std::to_string(strlen(c.body)) + "\r\n"),
              std::string::npos)
        << answer.sent;
  }
}

TEST_F(DispatcherTest, HeadGivesTheSizeOnlyAndRunsNothing) {
  Answer answer = Dispatch("HEAD", "/page.qor");
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.content_length, 12);
  EXPECT_TRUE(answer.sent.empty());
  EXPECT_TRUE(answer.text.empty());
}

TEST_F(DispatcherTest, MissingFilesAndDirectoriesGetTheNotFoundPage) {
  struct Case {
    const char* document;
    std::string local_path;
  } cases[] = {
      {"/x.html", site_ + "x.html"},
      {"/sub", site_ + "sub"},  // a directory without the trailing "/"
      {"/nosuch/", site_ + "nosuch/index.html"},
  };
  for (const Case& c : cases) {
    Answer answer = Dispatch("GET", c.document);
    EXPECT_EQ(answer.status, 404) << c.document;
    EXPECT_EQ(answer.content_type, "text/html");
    EXPECT_EQ(answer.text, NotFoundPage(c.local_path));
    EXPECT_TRUE(answer.sent.empty());
    const std::string tail = "<br>  <br> File : ?" + c.local_path + "? ";
    EXPECT_EQ(answer.text.substr(answer.text.size() - tail.size()), tail);
  }
  EXPECT_EQ(NotFoundPage("/p").substr(0, 49), "<html><head><title>Error</title></head><body><h1>");
}

TEST_F(DispatcherTest, DocumentsAboveTheHostRootAreNotFound) {
  const char* documents[] = {"/../secret.txt", "/sub/../../secret.txt", "/../../../../etc/passwd",
                             "/%2e%2e/secret.txt", "/..%2fsecret.txt", "/../site2/x"};
  for (const char* document : documents) {
    Answer answer = Dispatch("GET", document);
    EXPECT_EQ(answer.status, 404) << document;
    EXPECT_TRUE(answer.sent.empty()) << document;
  }
  Answer with_nul = Dispatch("GET", std::string("/index.html\0.png", 16));
  EXPECT_EQ(with_nul.status, 404);
}

TEST_F(DispatcherTest, HostsChooseTheRoot) {
  EXPECT_EQ(Body(Dispatch("GET", "/", {"host: OTHER.test", ""})), "<p>other</p>\r\n");
  EXPECT_EQ(Body(Dispatch("GET", "/", {"Host: unknown", ""})), "<p>home</p>\r\n");
  // Without a "host" line the "*" entry serves the request.
  EXPECT_EQ(Body(Dispatch("GET", "/", {""})), "<p>home</p>\r\n");
  SetHosts({});
  EXPECT_EQ(Dispatch("GET", "/etc/passwd", {""}).status, 404);  // no root: nothing is served
}

TEST_F(DispatcherTest, SentBytesAreCounted) {
  TrafficSnapshot before = ReadTrafficCounters();
  Dispatch("GET", "/img/a.png");
  Dispatch("HEAD", "/img/a.png");
  Dispatch("GET", "/missing.png");
  TrafficSnapshot after = ReadTrafficCounters();
  EXPECT_EQ(after.ServedFiles, before.ServedFiles + 1);
  uint64_t sent_before = before.OutKB * 1024ull + before.OutBytes;
  uint64_t sent_after = after.OutKB * 1024ull + after.OutBytes;
  EXPECT_EQ((sent_after - sent_before) % (1024 * 1024), 7u);
}

TEST_F(DispatcherTest, WorkbenchRunRequest) {
  std::string script = dir_.Write("scripts/my.qor", "write;");
  SetWorkbenchFileName(script);
  try {
    Dispatch("GET", "/-qorcompilerscript.qor", {"Host: anything", ""});
  } catch (const std::exception&) {
    // Whether the script runs is the page processor's matter; the wrapper page is ours.
  }
  EXPECT_EQ(dir_.Read("scripts/temp$$$.html"), "<%qor%>onload\r\n{$i my.qor}\r\n</%qor%>\r\n");

  SetWorkbenchFileName(dir_.Write("scripts/notes.txt", "plain"));
  EXPECT_EQ(Body(Dispatch("GET", "/dir/x-qorcompilerscript.qor")), "plain");
  SetWorkbenchFileName("");
  EXPECT_EQ(Dispatch("GET", "/-qorcompilerscript.qor").status, 404);
}

TEST_F(DispatcherTest, HeaderCapture) {
  RequestInfo request;
  request.RemoteIP = "10.1.1.1";
  request.UnparsedParams = "a=1&b=x+y";
  request.RawHeaders =
      HeaderLines({"Host: other.test", "Cookie: c1=1; c2=2", "Cookie: c3=3", "X:y", ""});
  CapturedRequest captured = CaptureRequestData(request, "77");
  EXPECT_TRUE(captured.has_host);
  EXPECT_EQ(captured.host_name, "other.test");
  EXPECT_EQ(captured.host_root, dir_.path() + "other/");
  const RequestData& data = *captured.data;
  EXPECT_EQ(data.params.count(), 2);
  EXPECT_EQ(data.params.paramvalue(2), "x y");
  ASSERT_EQ(data.headers.count(), 5);
  EXPECT_EQ(data.headers.headervalue(3), "c1=1; c2=2");  // a name's value is its first line's
  EXPECT_EQ(data.headers.headername(4), "");             // "X:y" has no ": "
  EXPECT_EQ(data.headers.headervalue(4), "");
  EXPECT_EQ(data.headers.headername(5), "");
  // Both "Cookie" lines give the first line's cookies.
  ASSERT_EQ(data.cookies.count(), 2);
  EXPECT_EQ(data.cookies.name(2), "c2");

  // A "cookie" line in lower case is stored, but only "Cookie" spelled so carries cookies.
  request.RawHeaders = HeaderLines({"cookie: lower=1", ""});
  CapturedRequest lower = CaptureRequestData(request, "77");
  EXPECT_EQ(lower.data->headers.headername(1), "cookie");
  EXPECT_EQ(lower.data->cookies.count(), 0);
  EXPECT_FALSE(lower.has_host);
  EXPECT_EQ(lower.host_root, site_);
}

TEST_F(DispatcherTest, SurplusHeaderLinesAreIgnored) {
  std::vector<std::string> lines;
  for (int i = 0; i < 300; ++i) lines.push_back("X-" + std::to_string(i) + ": v");
  lines.push_back("");
  RequestInfo request;
  request.RawHeaders = HeaderLines(lines);
  CapturedRequest captured = CaptureRequestData(request, "1");
  EXPECT_EQ(captured.data->headers.count(), 255);
  EXPECT_EQ(captured.data->headers.headername(255), "X-254");
}

TEST_F(DispatcherTest, LogLinesOfOneRequestInOrder) {
  ProcessLogBuffer().TakeAll();
  Dispatch("GET", "/img/a.png", {"Host: www.test", ""}, "q=1");
  std::vector<std::string> lines = ProcessLogBuffer().TakeAll();
  const std::string expected[] = {
      "HEADER NAME Host=www.test  ID=4242 - 127.0.0.1",
      "HEADER NAME =  ID=4242 - 127.0.0.1",
      "unparsed PARMS >> \"q=1\"  ID=4242",
      "requestinfo.command:GET ID=4242",
      "requestinfo.requested:/img/a.png ID=4242",
      "Localdoc:" + site_ + "img/a.png ID=4242",
  };
  ASSERT_EQ(lines.size(), std::size(expected));
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].substr(lines[i].find(" ] ") + 3), expected[i]);
  }
}

// A spooled form is captured from its file, and its log line holds only the form's beginning.
TEST_F(DispatcherTest, SpooledFormIsCapturedAndLoggedShort) {
  const std::string b = "-----------------------------1234";
  std::string big(3 * kLoggedSpooledBytes, 'v');
  std::string text = b + "\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n" + big + "\r\n" +
                     b + "\r\nContent-Disposition: form-data; name=\"c\"\r\n\r\nx\r\n" + b +
                     "--\r\n";
  std::shared_ptr<SpoolFile> spool = SpoolFile::Create(dir_.path() + "temp/");
  ASSERT_TRUE(spool && spool->Append(text.data(), text.size()));
  RequestInfo request;
  request.RawHeaders = HeaderLines({"Host: www.test", ""});
  request.SpooledParams = spool;
  CapturedRequest captured = CaptureRequestData(request, "1");
  ASSERT_EQ(captured.data->params.count(), 2);
  EXPECT_TRUE(captured.data->params.paramvalue(1) == big);
  EXPECT_EQ(captured.data->params.paramvalue(2), "x");

  EXPECT_EQ(UnparsedParamsLogText(request),
            "unparsed PARMS >> \"" + text.substr(0, kLoggedSpooledBytes) + "\" (" +
                std::to_string(text.size()) + " bytes, the first 4096 logged)");
  request.SpooledParams.reset();
  request.UnparsedParams = "a=1";
  EXPECT_EQ(UnparsedParamsLogText(request), "unparsed PARMS >> \"a=1\"");
}

TEST_F(DispatcherTest, PageOutputIsDeletedOrReported) {
  std::string output = dir_.Write("temp/qortmpscrAAAA.html", "out");
  RemovePageOutput(output);
  EXPECT_FALSE(std::filesystem::exists(output));

  // A directory in its place cannot be unlinked: the operator hears of it while showlog is on.
  std::string stuck = dir_.path() + "temp/qortmpscrBBBB.html";
  dir_.Write("temp/qortmpscrBBBB.html/keep", "x");
  CloseAllOperatorMessages();
  SetShowLog(false);
  RemovePageOutput(stuck);
  EXPECT_TRUE(PendingOperatorMessages().empty());
  SetShowLog(true);
  RemovePageOutput(stuck);
  SetShowLog(false);
  std::vector<OperatorMessage> messages = PendingOperatorMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "UPS cannotdelete -> " + stuck);
  CloseAllOperatorMessages();
}

}  // namespace
}  // namespace qorsv
