#include "console/operator_messages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

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

}  // namespace
}  // namespace qorsv
