#include "console/operator_messages.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "console/terminal_messages.h"

namespace qorsv {
namespace {

TEST(OperatorMessagesTest, BoxesAreListedInOrderAndClosedByNumber) {
  CloseAllOperatorMessages();
  PostOperatorMessage("first");
  PostOperatorMessage("second");
  std::vector<OperatorMessage> boxes = PendingOperatorMessages();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "first");
  EXPECT_EQ(boxes[1].text, "second");
  EXPECT_LT(boxes[0].number, boxes[1].number);

  EXPECT_TRUE(CloseOperatorMessage(boxes[0].number));
  EXPECT_FALSE(CloseOperatorMessage(boxes[0].number));  // already closed
  ASSERT_EQ(PendingOperatorMessages().size(), 1u);
  EXPECT_EQ(PendingOperatorMessages()[0].text, "second");
  CloseAllOperatorMessages();
  EXPECT_TRUE(PendingOperatorMessages().empty());
}

TEST(OperatorMessagesTest, ShowAndWaitReturnsOnlyWhenItsOwnBoxIsClosed) {
  CloseAllOperatorMessages();
  PostOperatorMessage("unrelated");
  std::atomic<bool> returned{false};
  std::thread script([&] {
    ShowOperatorMessageAndWait("UPS cannotdelete -> x");
    returned = true;
  });
  while (PendingOperatorMessages().size() < 2) std::this_thread::yield();
  std::vector<OperatorMessage> boxes = PendingOperatorMessages();
  ASSERT_EQ(boxes[1].text, "UPS cannotdelete -> x");

  EXPECT_TRUE(CloseOperatorMessage(boxes[0].number));
  EXPECT_FALSE(returned);
  EXPECT_TRUE(CloseOperatorMessage(boxes[1].number));
  script.join();
  EXPECT_TRUE(returned);
}

TEST(OperatorMessagesTest, TheObserverHearsOfEveryBoxRaisedOrClosed) {
  CloseAllOperatorMessages();
  std::atomic<int> changes{0};
  SetOperatorMessageObserver([&changes] { ++changes; });
  PostOperatorMessage("one");
  std::thread script([] { ShowOperatorMessageAndWait("two"); });
  while (changes < 2) std::this_thread::yield();
  CloseOperatorMessage(PendingOperatorMessages()[1].number);
  script.join();
  EXPECT_EQ(changes, 3);
  SetOperatorMessageObserver(nullptr);
  CloseAllOperatorMessages();
  EXPECT_EQ(changes, 3);
}

// The shut-down switch ends the program while a script may still wait for its box: the process
// must end all the same.
TEST(OperatorMessagesTest, TheProcessEndsWhileAScriptWaitsForItsBox) {
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::thread([] { ShowOperatorMessageAndWait("held at exit"); }).detach();
    while (PendingOperatorMessages().empty()) std::this_thread::yield();
    std::exit(0);
  }
  int status = 0;
  pid_t ended = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while ((ended = ::waitpid(child, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (ended == 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    FAIL() << "the process did not end while a box was waiting";
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(TerminalMessageCloserTest, EachLineTypedClosesTheOldestOpenBox) {
  CloseAllOperatorMessages();
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  {
    TerminalMessageCloser closer(fds[0]);
    std::atomic<int> returned{0};
    std::thread first([&] {
      ShowOperatorMessageAndWait("first");
      ++returned;
    });
    while (PendingOperatorMessages().size() < 1) std::this_thread::yield();
    std::thread second([&] {
      ShowOperatorMessageAndWait("second");
      ++returned;
    });
    while (PendingOperatorMessages().size() < 2) std::this_thread::yield();

    ASSERT_EQ(::write(fds[1], "\n", 1), 1);
    first.join();
    EXPECT_EQ(returned.load(), 1);
    ASSERT_EQ(PendingOperatorMessages().size(), 1u);
    EXPECT_EQ(PendingOperatorMessages()[0].text, "second");

    ASSERT_EQ(::write(fds[1], "ok\n", 3), 3);
    second.join();
    EXPECT_EQ(returned.load(), 2);
  }  // the closer stops although its input stays open
  ::close(fds[0]);
  ::close(fds[1]);
}

TEST(TerminalMessageCloserTest, NothingToWatchWithoutATerminal) {
  TerminalMessageCloser closer(-1);  // standard input of a test is no terminal
  EXPECT_EQ(TerminalMessageCloser::StandardInputIfTerminal() < 0, ::isatty(STDIN_FILENO) == 0);
}

}  // namespace
}  // namespace qorsv
