// The standard dialogs a window opens (open file, save file, one-line input, colour, message
// box), expressed without a widget toolkit.
//
// A command that needs the operator's answer opens a request in its window's DialogSlot and
// returns; the window is then modal until the answer comes. The page renders the pending request
// (its kind and texts) and forwards the operator's answer with the request's id; the slot hands
// it to the rest of the command. An answer with a stale id (the request was answered from
// another page, or dropped) changes nothing.
//
// UI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace qorsv {

enum class DialogKind {
  kOpenFile,  // choose an existing file; `directory` is where browsing starts
  kSaveFile,  // choose a file name to write; `text` is the initial name
  kInput,     // one line of text: `title`, `prompt`, `text` the default answer
  kColour,    // choose a colour: `colour` is the starting one (colour_values.h)
  kMessage,   // a message box with `prompt` as its text and one OK button
};

struct DialogRequest {
  uint64_t id = 0;
  DialogKind kind = DialogKind::kMessage;
  std::string title;
  std::string prompt;
  std::string text;
  // File dialogs: the folder to start in (absolute, without trailing "/"), the filter as
  // "Description|*.ext" (empty: every file), the extension added to a name typed without one.
  std::string directory;
  std::string filter;
  std::string default_extension;
  // The open dialog hides the read-only option.
  bool hide_read_only = false;
  int32_t colour = 0;
};

// Confirmed with OK, Open or Save; not confirmed with Cancel or the close box. `text` is the
// chosen path or the typed line, `colour` the chosen colour.
struct DialogAnswer {
  bool confirmed = false;
  std::string text;
  int32_t colour = 0;

  static DialogAnswer Cancel() { return DialogAnswer{}; }
  static DialogAnswer Ok(std::string text = {}) { return DialogAnswer{true, std::move(text), 0}; }
  static DialogAnswer Colour(int32_t colour) { return DialogAnswer{true, {}, colour}; }
};

class DialogSlot {
 public:
  using Continuation = std::function<void(const DialogAnswer&)>;

  // Opens the request (its id is assigned here) with what runs on the answer. A request still
  // pending is dropped without an answer.
  void Open(DialogRequest request, Continuation on_answer);
  // A message box whose OK runs `then` (when given).
  void Message(std::string text, std::function<void()> then = {});

  const std::optional<DialogRequest>& Pending() const { return pending_; }
  bool IsOpen() const { return pending_.has_value(); }

  // Delivers the answer to the pending request with this id: the request is closed first, then
  // the rest of the command runs (and may open the next request). False for a stale id. What
  // the command raises passes to the caller.
  bool Answer(uint64_t id, const DialogAnswer& answer);
  // Closes the pending request without running the rest of its command.
  void Drop();

 private:
  std::optional<DialogRequest> pending_;
  Continuation on_answer_;
  uint64_t next_id_ = 1;
};

}  // namespace qorsv
