// The system's failures: exceptions that carry the system's exact message text.
//
// A failure is raised where it happens and caught only where the system says it ends: the
// listener answers status 500 with the text, the UI loop shows it as an operator message, a
// native function's failure becomes the script's runtime error. Expected outcomes (not found,
// no handle) are values, not exceptions.
#pragma once

#include <stdexcept>
#include <string>

namespace qorsv {

class QorsvError : public std::runtime_error {
 public:
  explicit QorsvError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace qorsv
