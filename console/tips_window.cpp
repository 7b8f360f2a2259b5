#include "console/tips_window.h"

namespace qorsv {

const std::array<std::string, 7>& TipsWindow::Tips() {
  static const std::array<std::string, 7> tips = {
      "You can chain one ore more qOr servers to do bandwidth balance control ?",
      "You can debug your scripts without leaving or stoping the server ? Just hit the Debugger "
      "button !",
      "Installing as a service is a simple task ? Hit the Start as service button ! ( beta "
      "disabled )",
      "That you can manage application priority so your server would not block when managing "
      "huge scripts !",
      "The SQLite engine is one of the best emmbembed sql engines ? See the help file on using "
      "it.",
      "Maximum domains qOr can handle at one time is arround 100 per one machine ?",
      "qOr can monitor itself for errors and restart engine ( not machine ) so that it can do "
      "error repairs ?",
  };
  return tips;
}

void TipsWindow::Open(size_t start, bool show_on_startup) {
  visible_ = true;
  current_ = start % Tips().size();
  show_on_startup_ = show_on_startup;
}

void TipsWindow::NextTip() { current_ = (current_ + 1) % Tips().size(); }

bool TipsWindow::Close() {
  visible_ = false;
  return show_on_startup_;
}

}  // namespace qorsv
