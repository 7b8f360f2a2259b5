#include "ui/event_hub.h"

#include <gtest/gtest.h>

namespace qorsv {
namespace {

using std::chrono::milliseconds;

// A source with one counter field and, on request, one extra event per change.
class CounterSource : public StateSource {
 public:
  explicit CounterSource(int& n, std::string& extra) : n_(n), extra_(extra) {}
  Json FullState() override { return Json{{"n", n_}}; }
  std::vector<Json> Changes() override {
    std::vector<Json> events;
    fields_.AddEvent(Json{{"n", n_}}, events);
    if (!extra_.empty())
      events.push_back(Json{{"type", "append"}, {"text", std::exchange(extra_, "")}});
    return events;
  }

 private:
  int& n_;
  std::string& extra_;
  FieldChanges fields_;
};

// The events of a stream's text, in order.
std::vector<Json> Events(const std::string& text) {
  std::vector<Json> events;
  size_t at = 0;
  while ((at = text.find("data: ", at)) != std::string::npos) {
    size_t end = text.find("\n\n", at);
    events.push_back(Json::parse(text.substr(at + 6, end - at - 6)));
    at = end;
  }
  return events;
}

std::vector<Json> Take(EventSubscriber& subscriber) {
  return Events(subscriber.Wait(milliseconds(0)).text);
}

class EventHubTest : public ::testing::Test {
 protected:
  EventHubTest() {
    hub.AddSource("counter", std::make_unique<CounterSource>(n, extra));
    hub.AddSource("other", std::make_unique<CounterSource>(other_n, other_extra));
  }

  UiLoop loop{[] { return uint64_t{0}; }, [](const std::string&) {}};
  int n = 0;
  std::string extra;
  int other_n = 0;
  std::string other_extra;
  EventHub hub{loop};
};

TEST_F(EventHubTest, AStreamGetsTheWholeStateFirstThenEachChangeInOrder) {
  std::shared_ptr<EventSubscriber> early = hub.Subscribe({"counter"});
  n = 1;
  hub.Publish();
  // A page that connects now starts from n = 1: the change before it is not repeated to it.
  std::shared_ptr<EventSubscriber> late = hub.Subscribe({"counter"});
  n = 2;
  extra = "line";
  hub.Publish();
  hub.Publish();  // nothing changed: nothing sent

  std::vector<Json> first = Take(*early);
  ASSERT_EQ(first.size(), 4u);
  EXPECT_EQ(first[0]["type"], "full");
  EXPECT_EQ(first[0]["state"]["n"], 0);
  EXPECT_EQ(first[1]["fields"]["n"], 1);
  EXPECT_EQ(first[2]["fields"]["n"], 2);
  EXPECT_EQ(first[3]["type"], "append");
  for (size_t i = 1; i < first.size(); ++i) EXPECT_LT(first[i - 1]["seq"], first[i]["seq"]);

  std::vector<Json> second = Take(*late);
  ASSERT_EQ(second.size(), 3u);
  EXPECT_EQ(second[0]["state"]["n"], 1);
  EXPECT_EQ(second[1]["fields"]["n"], 2);
  // Both pages received the same events, with the same numbers.
  EXPECT_EQ(second[1], first[2]);
  EXPECT_EQ(second[2], first[3]);
}

TEST_F(EventHubTest, StreamsReceiveOnlyTheSourcesTheyFollow) {
  std::shared_ptr<EventSubscriber> counter_only = hub.Subscribe({"counter", "no such source"});
  std::shared_ptr<EventSubscriber> everything = hub.Subscribe({});
  other_n = 5;
  hub.Publish();
  std::vector<Json> counter_events = Take(*counter_only);
  ASSERT_EQ(counter_events.size(), 1u);
  EXPECT_EQ(counter_events[0]["source"], "counter");
  std::vector<Json> all_events = Take(*everything);
  ASSERT_EQ(all_events.size(), 3u);  // two whole states, one change
  EXPECT_EQ(all_events[2]["source"], "other");
}

TEST_F(EventHubTest, ChangesMadeByAnyTaskArePublishedAfterTheRound) {
  std::shared_ptr<EventSubscriber> page = hub.Subscribe({"counter"});
  Take(*page);
  loop.Post([this] { n = 7; });
  loop.RunPendingTasks();
  std::vector<Json> events = Take(*page);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]["fields"]["n"], 7);
}

TEST_F(EventHubTest, APageThatStopsReadingFallsBehindAndIsResynchronised) {
  std::shared_ptr<EventSubscriber> reading = hub.Subscribe({"counter"});
  std::shared_ptr<EventSubscriber> stalled = hub.Subscribe({"counter"});
  for (size_t i = 0; i < kMaxQueuedEvents + 10; ++i) {
    ++n;
    hub.Publish();
    if (i % 100 == 0) Take(*reading);
  }
  EXPECT_EQ(stalled->BehindCount(), 1u);
  EXPECT_EQ(stalled->QueuedBytes(), 0u);  // dropped, and nothing queued while behind
  EXPECT_EQ(reading->BehindCount(), 0u);

  EventSubscriber::Taken taken = stalled->Wait(milliseconds(0));
  EXPECT_TRUE(taken.behind);
  EXPECT_TRUE(taken.text.empty());
  ASSERT_TRUE(hub.Resync(*stalled));
  ++n;
  hub.Publish();
  std::vector<Json> events = Take(*stalled);
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0]["type"], "behind");
  EXPECT_EQ(events[1]["type"], "full");
  EXPECT_EQ(events[1]["state"]["n"], n - 1);
  EXPECT_EQ(events[2]["fields"]["n"], n);
}

TEST_F(EventHubTest, TheQueueIsBoundedInBytesToo) {
  std::shared_ptr<EventSubscriber> stalled = hub.Subscribe({"counter"});
  for (int i = 0; i < 10; ++i) {
    extra = std::string(1 << 20, 'x');
    hub.Publish();
    EXPECT_LE(stalled->QueuedBytes(), kMaxQueuedBytes);
  }
  EXPECT_EQ(stalled->BehindCount(), 1u);
}

TEST_F(EventHubTest, ClosingEndsEveryStreamAfterItsQueue) {
  std::shared_ptr<EventSubscriber> page = hub.Subscribe({"counter"});
  n = 3;
  hub.Publish();
  hub.CloseAll();
  EventSubscriber::Taken taken = page->Wait(milliseconds(0));
  EXPECT_TRUE(taken.closed);
  EXPECT_EQ(Events(taken.text).size(), 2u);
  EXPECT_TRUE(hub.Subscribe({"counter"})->Wait(milliseconds(0)).closed);
  hub.Unsubscribe(page);
  EXPECT_EQ(hub.SubscriberCount(), 0u);
}

TEST_F(EventHubTest, NoStreamOnceTheLoopHasEnded) {
  std::thread other([this] {
    loop.Quit();
    EXPECT_EQ(hub.Subscribe({"counter"}), nullptr);
  });
  other.join();
}

}  // namespace
}  // namespace qorsv
