// The tips window `tip`: a modal dialog showing one of seven tips, stepping through them, with a
// check box that says whether it opens by itself at start-up.
//
// Model state of the console window; UI thread only.
#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace qorsv {

class TipsWindow {
 public:
  static constexpr char kTitle[] = "Tips and Tricks";
  static constexpr char kHeader[] = "Did you know...";
  static const std::array<std::string, 7>& Tips();

  // Opens on tip `start` (wrapped into range), with the check box set as stored.
  void Open(size_t start, bool show_on_startup);
  // "&Next Tip": the next tip, after the last back to the first.
  void NextTip();
  // "&Close": hides the window; returns the check box state for "Show_On_Startup".
  bool Close();

  bool Visible() const { return visible_; }
  size_t CurrentIndex() const { return current_; }
  const std::string& TipText() const { return Tips()[current_]; }
  bool ShowOnStartup() const { return show_on_startup_; }
  void SetShowOnStartup(bool checked) { show_on_startup_ = checked; }

 private:
  bool visible_ = false;
  size_t current_ = 0;
  bool show_on_startup_ = true;
};

}  // namespace qorsv
