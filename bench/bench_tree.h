// The generated tree the search benchmarks share: 1,000,100 entries, 100
// top folders of 1,000 subfolders of 9 files each, named from a small
// vocabulary with document and other extensions; a few files carry the rare
// words "quasar nebula". Made once and reused while its stamp file is there.
#pragma once

#include <chrono>
#include <string>

namespace glimpses::bench {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d);

// Makes the tree under `root` unless it is already there, saying so on
// standard output; false, said on standard error, when it cannot be made.
bool EnsureTree(const std::string& root);

// Subfolder `sub` of top folder `top` (both from 0), relative to the root.
std::string TreeFolder(int top, int sub);

// The machine's load average: other work on the machine slows every figure.
void PrintLoad();

}  // namespace glimpses::bench
