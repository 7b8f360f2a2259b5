#include "console/ui_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <stdexcept>
#include <thread>

namespace qorsv {
namespace {

struct FakeTime {
  uint64_t now = 0;
  UiLoop::Clock Clock() {
    return [this] { return now; };
  }
};

TEST(UiLoopTest, ConsoleTimersTickAtTheirPeriods) {
  FakeTime time;
  UiLoop loop(time.Clock(), [](const std::string&) {});
  std::map<std::string, int> ticks;
  for (auto [name, period] :
       {std::pair{"Timer1", 120000}, {"timed_log_saver", 10000}, {"svuptime", 60000}}) {
    loop.AddTimer(name, period, [&ticks, name = std::string(name)] { ++ticks[name]; });
  }
  for (time.now = 0; time.now <= 240000; time.now += 1000) loop.RunDueTimers(time.now);
  EXPECT_EQ(ticks["Timer1"], 2);
  EXPECT_EQ(ticks["timed_log_saver"], 24);
  EXPECT_EQ(ticks["svuptime"], 4);
}

TEST(UiLoopTest, MissedTicksAreNotMadeUpAndStoppedTimersStayQuiet) {
  FakeTime time;
  UiLoop loop(time.Clock(), [](const std::string&) {});
  int saves = 0;
  int id = loop.AddTimer("timed_log_saver", 10000, [&saves] { ++saves; });
  EXPECT_EQ(loop.RunDueTimers(9999), 0u);
  EXPECT_EQ(loop.RunDueTimers(35000), 1u);  // three periods late: one tick
  EXPECT_EQ(loop.RunDueTimers(44999), 0u);
  EXPECT_EQ(loop.RunDueTimers(45000), 1u);
  loop.StopTimer(id);
  EXPECT_EQ(loop.RunDueTimers(100000), 0u);
  EXPECT_EQ(saves, 2);
}

TEST(UiLoopTest, EscapedErrorsAreReportedAndTheLoopCarriesOn) {
  FakeTime time;
  std::vector<std::string> reported;
  UiLoop loop(time.Clock(), [&reported](const std::string& text) { reported.push_back(text); });
  int ticks = 0;
  loop.AddTimer("svuptime", 60000, [&ticks] {
    if (++ticks == 1) throw std::runtime_error("Cannot write settings");
  });
  std::vector<int> order;
  loop.Post([] { throw std::runtime_error("handler failed"); });
  loop.Post([&order] {
    order.push_back(1);
    throw 42;
  });
  loop.Post([&order] { order.push_back(2); });
  EXPECT_EQ(loop.RunPendingTasks(), 3u);
  loop.RunDueTimers(60000);
  loop.RunDueTimers(120000);
  EXPECT_EQ(ticks, 2);
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  EXPECT_EQ(reported,
            (std::vector<std::string>{"handler failed", "Unknown error", "Cannot write settings"}));
}

TEST(UiLoopTest, PostAndWaitBlocksUntilTheLoopThreadHasRunTheTask) {
  UiLoop* loop_pointer = nullptr;
  std::atomic<bool> ready{false};
  std::thread ui([&] {
    UiLoop loop;
    loop_pointer = &loop;
    ready = true;
    loop.Run();
    ready = false;
  });
  while (!ready) std::this_thread::yield();

  std::thread::id ran_on;
  EXPECT_TRUE(loop_pointer->PostAndWait([&] { ran_on = std::this_thread::get_id(); }));
  EXPECT_EQ(ran_on, ui.get_id());
  // On the loop's own thread the task runs at once instead of waiting for itself.
  bool inner = false;
  loop_pointer->PostAndWait([&] { loop_pointer->PostAndWait([&] { inner = true; }); });
  EXPECT_TRUE(inner);
  loop_pointer->Quit();
  ui.join();
}

TEST(UiLoopTest, QuitReleasesWaitersWhoseTaskNeverRan) {
  UiLoop loop([] { return uint64_t{0}; }, [](const std::string&) {});
  std::atomic<int> result{-1};
  std::thread waiter([&] { result = loop.PostAndWait([] {}) ? 1 : 0; });
  while (loop.QueuedTaskCount() == 0) std::this_thread::yield();
  loop.Quit();
  waiter.join();
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(loop.PostAndWait([] {}));
}

TEST(UiLoopTest, RunLaterTicksOnceAndAfterWorkHooksFollowEachRound) {
  FakeTime time;
  UiLoop loop(time.Clock(), [](const std::string&) {});
  int later = 0;
  int hooks = 0;
  loop.RunLater(50, [&later] { ++later; });
  int hook = loop.AddAfterWorkHook([&hooks] { ++hooks; });
  EXPECT_EQ(loop.RunDueTimers(49), 0u);
  EXPECT_EQ(loop.RunPendingTasks(), 0u);
  EXPECT_EQ(hooks, 0);  // no work, no round
  EXPECT_EQ(loop.RunDueTimers(50), 1u);
  EXPECT_EQ(loop.RunDueTimers(1000), 0u);  // once only
  EXPECT_EQ(later, 1);
  EXPECT_EQ(hooks, 1);
  loop.Post([] {});
  loop.Post([] {});
  loop.RunPendingTasks();
  EXPECT_EQ(hooks, 2);  // one round for both tasks
  loop.RemoveAfterWorkHook(hook);
  loop.Post([] {});
  loop.RunPendingTasks();
  EXPECT_EQ(hooks, 2);
}

}  // namespace
}  // namespace qorsv
