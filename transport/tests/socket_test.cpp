#include "transport/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

namespace qorsv {
namespace {

// A client socket connected to 127.0.0.1:port.
int ConnectTo(uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  return fd;
}

std::string ReadAll(int fd) {
  std::string all;
  char buffer[4096];
  ssize_t got;
  while ((got = ::read(fd, buffer, sizeof buffer)) > 0) all.append(buffer, static_cast<size_t>(got));
  return all;
}

constexpr std::chrono::milliseconds kRound{2000};

struct Pair {
  ListeningSocket listener{0, kRound};
  int client = -1;
  std::unique_ptr<Connection> server;

  // The client speaks first: a client is handed over only once its first bytes are there.
  Pair() {
    client = ConnectTo(listener.Port());
    EXPECT_EQ(::write(client, "!", 1), 1);
    ListeningSocket::Accepted accepted;
    EXPECT_EQ(listener.Accept(accepted), ListeningSocket::AcceptResult::kAccepted);
    EXPECT_EQ(accepted.remote_ip, "127.0.0.1");
    server = std::make_unique<Connection>(accepted.fd, accepted.remote_ip);
    char first;
    EXPECT_EQ(server->ReadSome(&first, 1), 1u);
  }
  ~Pair() {
    if (client >= 0) ::close(client);
  }
};

TEST(SocketTest, AcceptWaitsOneRoundAndStopEndsEveryWait) {
  ListeningSocket listener(0, std::chrono::milliseconds(20));
  ListeningSocket::Accepted accepted;
  EXPECT_EQ(listener.Accept(accepted), ListeningSocket::AcceptResult::kNothing);
  // A client that has sent nothing yet is not handed over.
  int silent = ConnectTo(listener.Port());
  EXPECT_EQ(listener.Accept(accepted), ListeningSocket::AcceptResult::kNothing);
  ::close(silent);

  ListeningSocket slow(0, std::chrono::milliseconds(60000));
  std::thread waiter([&] {
    ListeningSocket::Accepted none;
    EXPECT_EQ(slow.Accept(none), ListeningSocket::AcceptResult::kStopped);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  slow.Stop();
  waiter.join();
  slow.Close();
  ListeningSocket again(slow.Port(), kRound);  // the port is free once closed
}

TEST(SocketTest, ReadTimesOutWhenTheClientStalls) {
  Pair pair;
  pair.server->SetIdleTimeout(std::chrono::milliseconds(50));
  char buffer[16];
  EXPECT_THROW(pair.server->ReadSome(buffer, sizeof buffer), ConnectionLost);
  pair.server->SetIdleTimeout(std::chrono::milliseconds(60000));
  pair.server->SetReadDeadline(Clock::now());
  EXPECT_THROW(pair.server->ReadSome(buffer, sizeof buffer), ConnectionLost);
}

TEST(SocketTest, SendFileStreamsTheWholeFile) {
  std::string path = ::testing::TempDir() + "socket_test_file.bin";
  std::string content(300000, 'x');
  for (size_t i = 0; i < content.size(); i += 7) content[i] = static_cast<char>('a' + i % 26);
  std::ofstream(path, std::ios::binary) << content;
  int fd = ::open(path.c_str(), O_RDONLY);
  Pair pair;
  std::string received;
  std::thread reader([&] { received = ReadAll(pair.client); });
  EXPECT_EQ(pair.server->SendFile(fd, content.size() + 100), content.size());  // file ends early
  pair.server->Close();
  reader.join();
  ::close(fd);
  std::remove(path.c_str());
  EXPECT_EQ(received, content);
}

}  // namespace
}  // namespace qorsv
