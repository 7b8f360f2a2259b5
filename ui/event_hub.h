// The operator pages' event stream: every change of the windows' state, in order, to every open
// page, and the whole current state first to a page that connects.
//
// A page of the operator UI (the console, the workbench) adds its state as a named StateSource.
// After every round of work on the UI loop, the hub asks each source what changed and hands the
// changes, as numbered events, to every page stream that follows that source. A stream that
// connects gets, first, the whole state of each source it follows, taken on the UI thread between
// two rounds of changes, so nothing is missed or applied twice.
//
// Each stream's queue is bounded (kMaxQueuedEvents events, kMaxQueuedBytes bytes): a page that
// reads too slowly, or has stopped reading, falls behind instead of making memory grow. Its
// queue is dropped, and once it reads again it is told so ({"type":"behind"}) and receives the
// whole current state again.
//
// Threading: sources are added and asked on the UI thread only. Subscribe, Resync, Unsubscribe
// and CloseAll may be called from any thread (the stream threads); Subscribe and Resync run their
// work on the UI loop and wait for it. An EventSubscriber's Wait belongs to its stream's thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "console/ui_loop.h"
#include "ui/json_text.h"

namespace qorsv {

// One page's part of the state. Both calls run on the UI thread.
class StateSource {
 public:
  virtual ~StateSource() = default;
  // The whole current state, as a JSON object of fields.
  virtual Json FullState() = 0;
  // What changed since the previous call (or since the source was added): events, each a JSON
  // object with a "type" the page understands, in the order they must be applied. Typically one
  // {"type":"fields","fields":{...}} with the fields whose value changed.
  virtual std::vector<Json> Changes() = 0;
};

// For sources whose state is a set of fields: tells which fields changed since the last call.
class FieldChanges {
 public:
  // The fields of `current` (an object) that are new or differ from the previous call's.
  Json Diff(const Json& current);
  // The {"type":"fields"} event of the changed fields, if any, appended to `events`.
  void AddEvent(const Json& current, std::vector<Json>& events);

 private:
  Json last_ = Json::object();
};

inline constexpr size_t kMaxQueuedEvents = 2000;
inline constexpr size_t kMaxQueuedBytes = 8u << 20;

// One page's stream: the events queued for it and its state.
class EventSubscriber {
 public:
  explicit EventSubscriber(std::set<std::string> sources) : sources_(std::move(sources)) {}

  bool Follows(const std::string& source) const {
    return sources_.empty() || sources_.count(source) > 0;
  }
  const std::set<std::string>& Sources() const { return sources_; }

  // The hub's side: queues a frame; when the queue would pass its bounds it is dropped and the
  // subscriber is behind, and stays so (queuing nothing) until Restart.
  void Push(std::shared_ptr<const std::string> frame);
  // The queue replaced by these frames, no longer behind.
  void Restart(std::vector<std::shared_ptr<const std::string>> frames);
  // Ends the stream once its queue is written.
  void Close();

  // The stream's side: waits up to `timeout` for frames, then takes them all.
  struct Taken {
    std::string text;     // the frames, joined
    bool behind = false;  // the queue was dropped: Resync before reading on
    bool closed = false;  // nothing more will come
  };
  Taken Wait(std::chrono::milliseconds timeout);

  // How often this stream fell behind.
  uint64_t BehindCount() const;
  size_t QueuedBytes() const;

 private:
  const std::set<std::string> sources_;
  mutable std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::shared_ptr<const std::string>> queue_;
  size_t bytes_ = 0;
  bool behind_ = false;
  bool closed_ = false;
  uint64_t behind_count_ = 0;
};

class EventHub {
 public:
  // Publishes after every round of work of the loop. Construct and destroy on its thread.
  explicit EventHub(UiLoop& loop);
  ~EventHub();
  EventHub(const EventHub&) = delete;
  EventHub& operator=(const EventHub&) = delete;

  // UI thread, before pages connect. Names are unique ("console", "messages", "workbench").
  void AddSource(const std::string& name, std::unique_ptr<StateSource> source);
  // UI thread: every source's changes to the streams that follow it.
  void Publish();

  // A new stream following the named sources (all when empty; unknown names are ignored), its
  // queue holding the whole state of each. Nothing when the loop has ended.
  std::shared_ptr<EventSubscriber> Subscribe(std::set<std::string> sources);
  // After falling behind: a {"type":"behind"} event, then the whole state again. False when the
  // loop has ended.
  bool Resync(EventSubscriber& subscriber);
  void Unsubscribe(const std::shared_ptr<EventSubscriber>& subscriber);
  // Closes every stream (the server is stopping); later Subscribe calls give closed streams.
  void CloseAll();

  size_t SubscriberCount() const;

  // The text of one event as the stream sends it ("data: " + JSON + blank line).
  static std::string Frame(const Json& event);

 private:
  struct NamedSource {
    std::string name;
    std::unique_ptr<StateSource> source;
  };
  // The whole-state events of the sources a subscriber follows. UI thread.
  std::vector<std::shared_ptr<const std::string>> FullStateFrames(
      const EventSubscriber& subscriber);
  std::shared_ptr<const std::string> Numbered(Json event, const std::string& source);

  UiLoop& loop_;
  int hook_id_;
  std::vector<NamedSource> sources_;  // UI thread
  uint64_t next_seq_ = 1;             // UI thread

  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<EventSubscriber>> subscribers_;
  bool closed_ = false;
};

}  // namespace qorsv
