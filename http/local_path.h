// Local file paths for requests: the normal absolute form of a path, and whether a path stays
// inside a host's root directory.
//
// Pure functions, callable from any thread.
#pragma once

#include <string>
#include <string_view>

namespace qorsv {

// The path made absolute (a relative path is taken against the current directory) and normal:
// repeated "/" collapsed, "." and ".." segments resolved ("/.." stays "/"). A trailing "/" is
// kept. Only the text is looked at; links are not followed.
std::string NormalisePath(std::string_view path);

// Whether a normal path is the normal root directory itself or lies below it.
bool IsWithin(std::string_view path, std::string_view root);

}  // namespace qorsv
