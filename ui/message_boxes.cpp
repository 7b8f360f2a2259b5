#include "ui/message_boxes.h"

#include "console/operator_messages.h"

namespace qorsv {
namespace {

class MessageBoxSource : public StateSource {
 public:
  explicit MessageBoxSource(UiLoop& loop) {
    // A box raised or closed on another thread: an empty task wakes the loop, and the round of
    // work it makes publishes the boxes.
    SetOperatorMessageObserver([&loop] { loop.Post([] {}); });
  }
  ~MessageBoxSource() override { SetOperatorMessageObserver(nullptr); }

  Json FullState() override { return Fields(); }
  std::vector<Json> Changes() override {
    std::vector<Json> events;
    fields_.AddEvent(Fields(), events);
    return events;
  }

 private:
  static Json Fields() {
    std::vector<OperatorMessage> pending = PendingOperatorMessages();
    Json boxes = Json::array();
    for (size_t i = 0; i < pending.size() && i < kShownMessageBoxes; ++i) {
      boxes.push_back(Json{{"number", pending[i].number}, {"text", JsonText(pending[i].text)}});
    }
    return Json{{"boxes", std::move(boxes)}, {"count", pending.size()}};
  }

  FieldChanges fields_;
};

}  // namespace

void AddMessageBoxes(OperatorServer& server) {
  server.Events().AddSource("messages", std::make_unique<MessageBoxSource>(server.Loop()));
  server.AddCommand("messages", "close", [](const Json& args) {
    if (!args.contains("number") || !args["number"].is_number_unsigned()) {
      throw CommandError("The command needs the box's number.");
    }
    // A box another page closed first is closed already: nothing to do.
    return Json(CloseOperatorMessage(args["number"].get<uint64_t>()));
  });
}

}  // namespace qorsv
