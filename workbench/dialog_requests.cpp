#include "workbench/dialog_requests.h"

namespace qorsv {

void DialogSlot::Open(DialogRequest request, Continuation on_answer) {
  request.id = next_id_++;
  pending_ = std::move(request);
  on_answer_ = std::move(on_answer);
}

void DialogSlot::Message(std::string text, std::function<void()> then) {
  DialogRequest request;
  request.kind = DialogKind::kMessage;
  request.prompt = std::move(text);
  Open(std::move(request), [then = std::move(then)](const DialogAnswer&) {
    if (then) then();
  });
}

bool DialogSlot::Answer(uint64_t id, const DialogAnswer& answer) {
  if (!pending_ || pending_->id != id) return false;
  Continuation on_answer = std::move(on_answer_);
  pending_.reset();
  on_answer_ = nullptr;
  if (on_answer) on_answer(answer);
  return true;
}

void DialogSlot::Drop() {
  pending_.reset();
  on_answer_ = nullptr;
}

}  // namespace qorsv
