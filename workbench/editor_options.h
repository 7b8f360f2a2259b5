// The editor options window `Teditopt` as model state. It is created once at start-up, after
// the workbench, and lives, hidden until opened, until the program ends.
//
// UI thread only.
#pragma once

namespace qorsv {

class EditorOptionsWindow {
 public:
  static constexpr char kTitle[] = "Editor options";

  bool Visible() const { return visible_; }

 private:
  bool visible_ = false;
};

}  // namespace qorsv
