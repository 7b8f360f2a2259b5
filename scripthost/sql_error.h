// ESQLiteException: the failure of the script functions over SQL handles. It carries the exact
// message a script sees ("Table is at End of File", "Not a boolean field", ...); raised inside
// a native function it becomes the script's runtime error, which the script may catch.
#pragma once

#include <string>

#include "transport/error.h"

namespace qorsv {

class ESQLiteException : public QorsvError {
 public:
  explicit ESQLiteException(const std::string& message) : QorsvError(message) {}
};

}  // namespace qorsv
