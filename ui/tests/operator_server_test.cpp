#include "ui/operator_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "console/server_log.h"
#include "console/tests/temp_dir.h"

namespace qorsv {
namespace {

constexpr char kToken[] = "00112233445566778899aabbccddeeff";

// A plain client socket to 127.0.0.1 with reads that give up after a few seconds.
class Client {
 public:
  explicit Client(uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      throw std::runtime_error("connect failed");
    }
  }
  ~Client() { ::close(fd_); }
  void Send(const std::string& text) {
    ASSERT_EQ(::send(fd_, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
  }
  // Reads until `marker` has arrived (or the peer closed, or time ran out); returns everything.
  std::string ReadUntil(const std::string& marker, int timeout_ms = 5000) {
    while (received_.find(marker) == std::string::npos) {
      pollfd watched{fd_, POLLIN, 0};
      if (::poll(&watched, 1, timeout_ms) <= 0) break;
      char buffer[4096];
      ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      received_.append(buffer, static_cast<size_t>(got));
    }
    return received_;
  }
  std::string ReadAll() { return ReadUntil(std::string(1, '\0')); }

 private:
  int fd_ = -1;
  std::string received_;
};

class CounterSource : public StateSource {
 public:
  explicit CounterSource(int& n) : n_(n) {}
  Json FullState() override { return Json{{"n", n_}}; }
  std::vector<Json> Changes() override {
    std::vector<Json> events;
    fields_.AddEvent(FullState(), events);
    return events;
  }

 private:
  int& n_;
  FieldChanges fields_;
};

class OperatorServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteFile(dir.Path("ui/console.html"), "<html><head><title>console</title>");
    testing::WriteFile(dir.Path("ui/shared/a.js"), "export {}");
    testing::WriteFile(dir.Path("secret.txt"), "secret");
    testing::WriteFile(dir.Path("help/html/sql_query.html"), "help");
    testing::WriteFile(dir.Path("help/html/inttostr.htm"), "help");
    testing::WriteFile(dir.Path("ui/console.css"), "body {}");
    testing::WriteFile(dir.Path("ui/images/a.svg"), "<svg/>");
    server.AddFolder("/help/", dir.Path("help/html/"));
    server.Events().AddSource("counter", std::make_unique<CounterSource>(n));
    server.AddPage("/", "console.html");
    server.AddCommand("counter", "add", [this](const Json& args) {
      ui_thread_seen = loop.OnLoopThread();
      n += args.value("by", 1);
      return Json(n);
    });
    server.AddCommand("counter", "fail", [](const Json&) -> Json {
      throw std::runtime_error("settings file is read-only");
    });
    server.AddCommand("counter", "refuse",
                      [](const Json&) -> Json { throw CommandError("no such line"); });
    server.Start();
    loop_thread = std::thread([this] { loop.Run(); });
    port = server.Port();
  }
  void TearDown() override {
    loop.Quit();
    loop_thread.join();
    server.Stop();
    SetShowLog(false);
    ProcessLogBuffer().Clear();
  }

  std::string Exchange(const std::string& request) {
    Client client(port);
    client.Send(request);
    return client.ReadAll();
  }
  std::string Host() const { return "Host: 127.0.0.1:" + std::to_string(port) + "\r\n"; }
  std::string Post(const std::string& body, const std::string& headers) {
    return Exchange("POST /api/command HTTP/1.1\r\n" + Host() + headers +
                    "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
  }
  std::string OwnOrigin() const {
    return "Origin: http://127.0.0.1:" + std::to_string(port) + "\r\nX-Qorsv-Token: " + kToken +
           "\r\n";
  }
  static std::string Status(const std::string& response) {
    return response.substr(0, response.find("\r\n"));
  }
  static Json Body(const std::string& response) {
    return Json::parse(response.substr(response.find("\r\n\r\n") + 4));
  }

  testing::TempDir dir;
  std::vector<std::string> errors;
  UiLoop loop{[] { return uint64_t{0}; },
              [this](const std::string& text) { errors.push_back(text); }};
  OperatorServer server{loop, OperatorAccess{0, kToken}, dir.Path("ui/")};
  std::thread loop_thread;
  uint16_t port = 0;
  int n = 0;
  bool ui_thread_seen = false;
};

TEST_F(OperatorServerTest, ServesThePagesOnlyToTheTokenAndTheirOwnHost) {
  std::string token = std::string("?token=") + kToken;
  std::string page = Exchange("GET /" + token + " HTTP/1.1\r\n" + Host() + "\r\n");
  EXPECT_EQ(Status(page), "HTTP/1.1 200 OK");
  EXPECT_NE(page.find("<head>\n<base href=\"/k/" + std::string(kToken) + "/\"><title>console"),
            std::string::npos);
  const std::string prefix = std::string("/k/") + kToken;

  struct Case {
    std::string request;
    std::string status;
  } cases[] = {
      {"GET / HTTP/1.1\r\n" + Host() + "\r\n", "HTTP/1.1 403 Forbidden"},
      {"GET /" + token + " HTTP/1.1\r\nHost: attacker.example:" + std::to_string(port) + "\r\n\r\n",
       "HTTP/1.1 403 Forbidden"},
      {"GET /ui/shared/a.js" + token + " HTTP/1.1\r\n" + Host() + "\r\n", "HTTP/1.1 200 OK"},
      {"GET /ui/../secret.txt" + token + " HTTP/1.1\r\n" + Host() + "\r\n",
       "HTTP/1.1 404 Not Found"},
      {"GET /ui/%2e%2e/secret.txt" + token + " HTTP/1.1\r\n" + Host() + "\r\n",
       "HTTP/1.1 404 Not Found"},
      {"GET /elsewhere" + token + " HTTP/1.1\r\n" + Host() + "\r\n", "HTTP/1.1 404 Not Found"},
      {"GET /help/sql_query.html" + token + " HTTP/1.1\r\n" + Host() + "\r\n", "HTTP/1.1 200 OK"},
      {"GET /help/../../secret.txt" + token + " HTTP/1.1\r\n" + Host() + "\r\n",
       "HTTP/1.1 404 Not Found"},
      {"GET /help/.hidden" + token + " HTTP/1.1\r\n" + Host() + "\r\n", "HTTP/1.1 404 Not Found"},
      // The files a page loads carry the token as their path prefix.
      {"GET " + prefix + "/ui/shared/a.js HTTP/1.1\r\n" + Host() + "\r\n", "HTTP/1.1 200 OK"},
      {"GET " + prefix + "/help/sql_query.html HTTP/1.1\r\n" + Host() + "\r\n",
       "HTTP/1.1 200 OK"},
      {"GET " + prefix + "/ui/../secret.txt HTTP/1.1\r\n" + Host() + "\r\n",
       "HTTP/1.1 404 Not Found"},
      {"GET /k/00112233445566778899aabbccddeefe/ui/shared/a.js HTTP/1.1\r\n" + Host() + "\r\n",
       "HTTP/1.1 403 Forbidden"},
      {"GET /ui/shared/a.js HTTP/1.1\r\n" + Host() + "\r\n", "HTTP/1.1 403 Forbidden"},
      // A prefix fetches files only: never a page, a query or the event stream.
      {"GET " + prefix + "/ HTTP/1.1\r\n" + Host() + "\r\n", "HTTP/1.1 404 Not Found"},
      {"GET " + prefix + "/api/events?sources=counter HTTP/1.1\r\n" + Host() + "\r\n",
       "HTTP/1.1 404 Not Found"},
      {"POST " + prefix + "/api/command HTTP/1.1\r\n" + Host() + "Origin: http://127.0.0.1:" +
           std::to_string(port) + "\r\nContent-Length: 2\r\n\r\n{}",
       "HTTP/1.1 405 Method Not Allowed"},
      {"GET /elsewhere HTTP/1.1\r\n" + Host() + "\r\n", "HTTP/1.1 403 Forbidden"},
      {"PUT /" + token + " HTTP/1.1\r\n" + Host() +
           "Origin: http://127.0.0.1:" + std::to_string(port) + "\r\n\r\n",
       "HTTP/1.1 405 Method Not Allowed"},
      {"garbage\r\n\r\n", "HTTP/1.1 400 Bad Request"},
  };
  EXPECT_EQ(page.find("Set-Cookie"), std::string::npos);
  for (const Case& c : cases) {
    std::string response = Exchange(c.request);
    EXPECT_EQ(Status(response), c.status) << c.request;
    // Cookies reach every port of the host, the public web server's too: none is ever set.
    EXPECT_EQ(response.find("Set-Cookie"), std::string::npos) << c.request;
    if (c.status.find("403") != std::string::npos) {
      EXPECT_EQ(response.substr(response.size() - 10), "Forbidden\n");
      EXPECT_EQ(response.find("console"), std::string::npos);
    }
  }
}

TEST_F(OperatorServerTest, FilesGoOutWithTheirContentType) {
  // A help page named ".htm" must show as a page, not arrive as a download; pages name their
  // own character set.
  struct Case {
    std::string path, type;
  } cases[] = {
      {"/help/inttostr.htm", "text/html"},
      {"/help/sql_query.html", "text/html"},
      {"/ui/shared/a.js", "text/javascript; charset=utf-8"},
      {"/ui/console.css", "text/css; charset=utf-8"},
      {"/ui/images/a.svg", "image/svg+xml"},
  };
  for (const Case& c : cases) {
    std::string response =
        Exchange("GET /k/" + std::string(kToken) + c.path + " HTTP/1.1\r\n" + Host() + "\r\n");
    EXPECT_EQ(Status(response), "HTTP/1.1 200 OK") << c.path;
    EXPECT_NE(response.find("\r\nContent-Type: " + c.type + "\r\n"), std::string::npos) << c.path;
  }
}

TEST_F(OperatorServerTest, EachRefusalIsLoggedOnceWithTheClientAddressAndNoToken) {
  ProcessLogBuffer().Clear();
  Post("{}", std::string("X-Qorsv-Token: ") + kToken + "\r\n");  // no Origin
  Exchange("GET /?token=wrong HTTP/1.1\r\n" + Host() + "\r\n");
  Exchange("GET /k/00112233445566778899aabbccddeefe/ui/a.js HTTP/1.1\r\n" + Host() + "\r\n");
  Exchange(std::string("GET /k/") + kToken + "/ui/a.js HTTP/1.1\r\nHost: evil:1\r\n\r\n");
  std::vector<std::string> lines = ProcessLogBuffer().Lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_NE(
      lines[0].find("Console refused 127.0.0.1: foreign or missing Origin (POST /api/command)"),
      std::string::npos);
  EXPECT_NE(lines[1].find("Console refused 127.0.0.1: missing or wrong access token (GET /)"),
            std::string::npos);
  EXPECT_NE(lines[2].find("missing or wrong access token (GET /k/*/ui/a.js)"), std::string::npos);
  EXPECT_NE(lines[3].find("foreign Host header (GET /k/*/ui/a.js)"), std::string::npos);
  for (const std::string& line : lines) {
    EXPECT_EQ(line.find(kToken), std::string::npos);
    EXPECT_EQ(line.find("00112233445566778899aabbccddeefe"), std::string::npos);
  }
}

TEST_F(OperatorServerTest, CommandsRunOnTheUiThreadAndAnswerTheirOutcome) {
  std::string done = Post(R"({"source":"counter","command":"add","args":{"by":2}})", OwnOrigin());
  EXPECT_EQ(Status(done), "HTTP/1.1 200 OK");
  EXPECT_EQ(Body(done), (Json{{"ok", true}, {"result", 2}}));
  EXPECT_TRUE(ui_thread_seen);

  // A handler's error is the operator's message box, as a window handler's would be.
  std::string failed = Post(R"({"source":"counter","command":"fail"})", OwnOrigin());
  EXPECT_EQ(Body(failed)["error"], "settings file is read-only");
  EXPECT_EQ(errors, std::vector<std::string>{"settings file is read-only"});

  // What a page should not have asked is a 400, and no message box.
  struct Case {
    std::string body;
    std::string status;
  } cases[] = {
      {R"({"source":"counter","command":"refuse"})", "HTTP/1.1 400 Bad Request"},
      {R"({"source":"counter","command":"nothing"})", "HTTP/1.1 400 Bad Request"},
      {R"({"source":"counter","command":"add","args":{"by":"two"}})", "HTTP/1.1 400 Bad Request"},
      {"not json", "HTTP/1.1 400 Bad Request"},
      {"[1,2]", "HTTP/1.1 400 Bad Request"},
  };
  for (const Case& c : cases) {
    std::string response = Post(c.body, OwnOrigin());
    EXPECT_EQ(Status(response), c.status) << c.body;
    EXPECT_FALSE(Body(response)["ok"]) << c.body;
  }
  EXPECT_EQ(errors.size(), 1u);
}

TEST_F(OperatorServerTest, TheStreamStartsWithTheWholeStateAndCarriesChangesUntilTheServerStops) {
  Client stream(port);
  stream.Send(std::string("GET /api/events?sources=counter&token=") + kToken + " HTTP/1.1\r\n" +
              Host() + "\r\n");
  std::string first = stream.ReadUntil("\"type\":\"full\"");
  EXPECT_NE(first.find("Content-Type: text/event-stream"), std::string::npos);
  EXPECT_NE(first.find("retry: 1000"), std::string::npos);
  EXPECT_NE(first.find(R"("state":{"n":0})"), std::string::npos);

  Post(R"({"source":"counter","command":"add"})", OwnOrigin());
  Post(R"({"source":"counter","command":"add"})", OwnOrigin());
  std::string changes = stream.ReadUntil(R"({"n":2})");
  size_t one = changes.find(R"("fields":{"n":1})");
  size_t two = changes.find(R"("fields":{"n":2})");
  ASSERT_NE(one, std::string::npos);
  ASSERT_NE(two, std::string::npos);
  EXPECT_LT(one, two);

  server.Stop();
  std::string last = stream.ReadAll();
  EXPECT_NE(last.find(R"("type":"closed")"), std::string::npos);
}

TEST_F(OperatorServerTest, AConsolePortInUseIsNamedInTheError) {
  UiLoop other_loop{[] { return uint64_t{0}; }, [](const std::string&) {}};
  OperatorServer second{other_loop, OperatorAccess{port, kToken}, dir.Path("ui/")};
  try {
    second.Start();
    FAIL() << "the second server started";
  } catch (const QorsvError& error) {
    EXPECT_EQ(std::string(error.what()),
              "Console port " + std::to_string(port) +
                  ": Could not bind socket. Address and port are already in use.");
  }
}

}  // namespace
}  // namespace qorsv
