#include "ui/event_hub.h"

#include <algorithm>

namespace qorsv {

Json FieldChanges::Diff(const Json& current) {
  Json changed = Json::object();
  for (auto it = current.begin(); it != current.end(); ++it) {
    auto last = last_.find(it.key());
    if (last == last_.end() || *last != it.value()) changed[it.key()] = it.value();
  }
  last_ = current;
  return changed;
}

void FieldChanges::AddEvent(const Json& current, std::vector<Json>& events) {
  Json changed = Diff(current);
  if (!changed.empty()) events.push_back(Json{{"type", "fields"}, {"fields", std::move(changed)}});
}

void EventSubscriber::Push(std::shared_ptr<const std::string> frame) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (behind_ || closed_) return;
  if (queue_.size() >= kMaxQueuedEvents || bytes_ + frame->size() > kMaxQueuedBytes) {
    queue_.clear();
    bytes_ = 0;
    behind_ = true;
    ++behind_count_;
  } else {
    bytes_ += frame->size();
    queue_.push_back(std::move(frame));
  }
  ready_.notify_all();
}

void EventSubscriber::Restart(std::vector<std::shared_ptr<const std::string>> frames) {
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.clear();
  bytes_ = 0;
  behind_ = false;
  for (auto& frame : frames) {
    bytes_ += frame->size();
    queue_.push_back(std::move(frame));
  }
  ready_.notify_all();
}

void EventSubscriber::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  ready_.notify_all();
}

EventSubscriber::Taken EventSubscriber::Wait(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  ready_.wait_for(lock, timeout, [this] { return !queue_.empty() || behind_ || closed_; });
  Taken taken;
  taken.behind = behind_;
  taken.closed = closed_;
  if (behind_) return taken;
  taken.text.reserve(bytes_);
  for (const auto& frame : queue_) taken.text += *frame;
  queue_.clear();
  bytes_ = 0;
  return taken;
}

uint64_t EventSubscriber::BehindCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return behind_count_;
}

size_t EventSubscriber::QueuedBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return bytes_;
}

EventHub::EventHub(UiLoop& loop) : loop_(loop) {
  hook_id_ = loop_.AddAfterWorkHook([this] { Publish(); });
}

EventHub::~EventHub() {
  loop_.RemoveAfterWorkHook(hook_id_);
  CloseAll();
}

void EventHub::AddSource(const std::string& name, std::unique_ptr<StateSource> source) {
  // The source's first Changes() would repeat its whole state to nobody: take it now.
  source->Changes();
  sources_.push_back(NamedSource{name, std::move(source)});
}

std::string EventHub::Frame(const Json& event) {
  // Sources put texts through JsonText; a stray invalid byte still must not end the stream.
  return "data: " + event.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n\n";
}

std::shared_ptr<const std::string> EventHub::Numbered(Json event, const std::string& source) {
  event["source"] = source;
  event["seq"] = next_seq_++;
  return std::make_shared<const std::string>(Frame(event));
}

void EventHub::Publish() {
  std::vector<std::shared_ptr<EventSubscriber>> subscribers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    subscribers = subscribers_;
  }
  for (NamedSource& named : sources_) {
    std::vector<Json> changes = named.source->Changes();
    for (Json& change : changes) {
      std::shared_ptr<const std::string> frame = Numbered(std::move(change), named.name);
      for (const auto& subscriber : subscribers) {
        if (subscriber->Follows(named.name)) subscriber->Push(frame);
      }
    }
  }
}

std::vector<std::shared_ptr<const std::string>> EventHub::FullStateFrames(
    const EventSubscriber& subscriber) {
  std::vector<std::shared_ptr<const std::string>> frames;
  for (NamedSource& named : sources_) {
    if (!subscriber.Follows(named.name)) continue;
    frames.push_back(
        Numbered(Json{{"type", "full"}, {"state", named.source->FullState()}}, named.name));
  }
  return frames;
}

std::shared_ptr<EventSubscriber> EventHub::Subscribe(std::set<std::string> sources) {
  std::erase_if(sources, [this](const std::string& name) {
    return std::none_of(sources_.begin(), sources_.end(),
                        [&name](const NamedSource& named) { return named.name == name; });
  });
  auto subscriber = std::make_shared<EventSubscriber>(std::move(sources));
  bool ran = loop_.PostAndWait([this, subscriber] {
    // Changes made before this moment reach the pages already open; the new page starts from
    // the state they lead to.
    Publish();
    subscriber->Restart(FullStateFrames(*subscriber));
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) {
      subscriber->Close();
    } else {
      subscribers_.push_back(subscriber);
    }
  });
  if (!ran) return nullptr;
  return subscriber;
}

bool EventHub::Resync(EventSubscriber& subscriber) {
  return loop_.PostAndWait([this, &subscriber] {
    Publish();
    std::vector<std::shared_ptr<const std::string>> frames;
    Json notice{{"type", "behind"}, {"seq", next_seq_++}};
    frames.push_back(std::make_shared<const std::string>(Frame(notice)));
    for (auto& frame : FullStateFrames(subscriber)) frames.push_back(std::move(frame));
    subscriber.Restart(std::move(frames));
  });
}

void EventHub::Unsubscribe(const std::shared_ptr<EventSubscriber>& subscriber) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase(subscribers_, subscriber);
}

void EventHub::CloseAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  for (const auto& subscriber : subscribers_) subscriber->Close();
}

size_t EventHub::SubscriberCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return subscribers_.size();
}

}  // namespace qorsv
