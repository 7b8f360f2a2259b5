#include "http/http_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include "transport/error.h"
#include "transport/open_connections.h"
#include "transport/platform.h"

namespace qorsv {
namespace {

// A client connection to the listener under test; reads give up after 10 s.
class Client {
 public:
  explicit Client(uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    timeval timeout{10, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  }
  ~Client() { ::close(fd_); }

  void Send(const std::string& text) {
    ASSERT_EQ(::send(fd_, text.data(), text.size(), MSG_NOSIGNAL), static_cast<ssize_t>(text.size()));
  }
  void HalfClose() { ::shutdown(fd_, SHUT_WR); }

  // Everything until the server closes the connection.
  std::string ReceiveAll() {
    std::string all;
    char buffer[4096];
    ssize_t got;
    while ((got = ::recv(fd_, buffer, sizeof buffer, 0)) > 0) all.append(buffer, static_cast<size_t>(got));
    closed_ = got == 0;
    return all;
  }
  bool ClosedByServer() const { return closed_; }

 private:
  int fd_;
  bool closed_ = false;
};

std::string Exchange(uint16_t port, const std::string& request, bool half_close = false) {
  Client client(port);
  client.Send(request);
  if (half_close) client.HalfClose();
  return client.ReceiveAll();
}

// What the handler saw of the last request.
struct Seen {
  std::mutex mutex;
  RequestInfo request;
  pid_t thread_id = 0;
};

class HttpListenerTest : public ::testing::Test {
 protected:
  void StartWith(HttpListener::CommandHandler handler,
                 std::chrono::milliseconds timeout = HttpListener::kReadTimeout) {
    listener_ = std::make_unique<HttpListener>(std::move(handler), timeout);
    listener_->Start(0);
    port_ = listener_->Port();
  }

  HttpListener::CommandHandler Recording(std::function<void(ResponseInfo&)> answer) {
    return [this, answer](ConnectionThread& thread, const RequestInfo& request,
                          ResponseInfo& response) {
      {
        std::lock_guard<std::mutex> lock(seen_.mutex);
        seen_.request = request;
        seen_.thread_id = thread.ThreadId();
        EXPECT_EQ(thread.ThreadId(), CurrentThreadId());
      }
      answer(response);
    };
  }

  Seen seen_;
  std::unique_ptr<HttpListener> listener_;
  uint16_t port_ = 0;
};

TEST_F(HttpListenerTest, ExactResponseBytes) {
  StartWith(Recording([](ResponseInfo& response) {
    response.ContentText = "hello";
    response.AddCookiesFromText("a=1");
  }));
  EXPECT_EQ(Exchange(port_, "GET / HTTP/1.1\r\n\r\n"),
            "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; Version=\"1\"\r\nServer: Indy/8.0.25\r\n"
            "Content-Type: text/html\r\nContent-Length: 5\r\n\r\nhello");
  std::lock_guard<std::mutex> lock(seen_.mutex);
  EXPECT_EQ(seen_.request.RawHeaders.Count(), 1u);
  EXPECT_EQ(seen_.request.UnparsedParams, "");
  EXPECT_EQ(seen_.request.RemoteIP, "127.0.0.1");
}

TEST_F(HttpListenerTest, HandlerErrorsBecomeStatus500WithTheText) {
  StartWith(Recording([](ResponseInfo& response) {
    response.ContentType = "image/png";
    throw QorsvError("Cannot open file /x.png");
  }));
  EXPECT_EQ(Exchange(port_, "GET /x.png HTTP/1.1\r\n\r\n"),
            "HTTP/1.1 500 Internal Server Error\r\nServer: Indy/8.0.25\r\nContent-Type: "
            "image/png\r\nContent-Length: 23\r\n\r\nCannot open file /x.png");
}

TEST_F(HttpListenerTest, UnansweredRequestsCloseWithoutAByte) {
  std::atomic<int> calls{0};
  StartWith([&](ConnectionThread&, const RequestInfo&, ResponseInfo&) { ++calls; });
  const char* requests[] = {
      "DELETE / HTTP/1.1\r\n\r\n",
      "OPTIONS * HTTP/1.1\r\n\r\n",
      "NOBLANK\r\n\r\n",
      "GET / HTTP/1.1\r\nAuthorization: Bearer t\r\n\r\n",
  };
  for (const char* request : requests) {
    Client client(port_);
    client.Send(request);
    EXPECT_EQ(client.ReceiveAll(), "") << request;
    EXPECT_TRUE(client.ClosedByServer()) << request;
  }
  EXPECT_EQ(calls, 0);
}

TEST_F(HttpListenerTest, StalledClientIsDroppedAfterTheReadTimeout) {
  std::atomic<int> calls{0};
  StartWith([&](ConnectionThread&, const RequestInfo&, ResponseInfo&) { ++calls; },
            std::chrono::milliseconds(200));
  Client client(port_);
  client.Send("GET / HTTP/1.1\r\nHost: slow");
  EXPECT_EQ(client.ReceiveAll(), "");
  EXPECT_TRUE(client.ClosedByServer());
  EXPECT_EQ(calls, 0);
}

TEST_F(HttpListenerTest, ConcurrentRequestsRunOnTheirOwnThreads) {
  std::mutex mutex;
  std::condition_variable all_in;
  std::set<pid_t> ids;
  constexpr int kClients = 4;
  StartWith([&](ConnectionThread& thread, const RequestInfo&, ResponseInfo& response) {
    std::unique_lock<std::mutex> lock(mutex);
    ids.insert(thread.ThreadId());
    all_in.notify_all();
    // Every request waits until all are being served at once.
    all_in.wait_for(lock, std::chrono::seconds(10), [&] { return ids.size() == kClients; });
    response.ContentText = "ok";
  });
  std::vector<std::thread> clients;
  std::atomic<int> answered{0};
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&] {
      if (Exchange(port_, "GET / HTTP/1.1\r\n\r\n").find("\r\n\r\nok") != std::string::npos) {
        ++answered;
      }
    });
  }
  for (std::thread& client : clients) client.join();
  EXPECT_EQ(answered, kClients);
  EXPECT_EQ(ids.size(), static_cast<size_t>(kClients));
}

TEST_F(HttpListenerTest, OpenConnectionsCountsAndStopClosesIdleClients) {
  StartWith(Recording([](ResponseInfo&) {}));
  uint16_t before = OpenConnections();
  {
    Client idle(port_);
    idle.Send("GET / HTTP/1.1\r\n");  // a request that is not complete yet
    for (int i = 0; i < 200 && OpenConnections() != before + 1; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(OpenConnections(), before + 1);
    listener_->Stop();
    EXPECT_FALSE(listener_->Active());
    EXPECT_EQ(idle.ReceiveAll(), "");
    EXPECT_TRUE(idle.ClosedByServer());
  }
  EXPECT_EQ(OpenConnections(), before);
  // The port is free again.
  HttpListener again(Recording([](ResponseInfo&) {}));
  again.Start(port_);
  EXPECT_TRUE(again.Active());
}

TEST_F(HttpListenerTest, SecondListenerOnTheSamePortFailsWithTheFixedText) {
  StartWith(Recording([](ResponseInfo&) {}));
  HttpListener second(Recording([](ResponseInfo&) {}));
  try {
    second.Start(port_);
    FAIL() << "bound twice";
  } catch (const QorsvError& error) {
    EXPECT_STREQ(error.what(), "Could not bind socket. Address and port are already in use.");
  }
  EXPECT_FALSE(second.Active());
}

}  // namespace
}  // namespace qorsv
