// Joining a folder and a name into a '/'-separated path.
#pragma once

#include <string>
#include <string_view>

namespace glimpses {

// `name` inside `folder`, with exactly the one '/' that `folder` lacks:
// ("a", "b") and ("a/", "b") give "a/b", ("/", "b") gives "/b", and an empty
// folder gives `name` alone.
std::string JoinPath(std::string_view folder, std::string_view name);

}  // namespace glimpses
