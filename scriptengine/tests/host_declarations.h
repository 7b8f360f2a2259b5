// The server's native declaration texts, for compiling test scripts as the server does.
#pragma once

#include <string>
#include <vector>

namespace qorsv::script::testing {

const std::vector<std::string>& HostDeclarations();

}  // namespace qorsv::script::testing
