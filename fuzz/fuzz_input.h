// The input of one fuzzing run as a file, for the readers that take a
// document by path. The folder lives in /dev/shm when it can, so a run costs
// no disk writes.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "samples/scratch_folder.h"

namespace glimpses {

inline const ScratchFolder& FuzzScratch() {
  static const ScratchFolder scratch("/dev/shm");
  return scratch;
}

// Writes the input as `name` in the scratch folder and gives its path. Aborts
// when it cannot: every later run would test nothing.
inline std::string WriteFuzzInput(std::string_view name, const std::uint8_t* data, std::size_t size) {
  std::string path = FuzzScratch().Write(name, std::string_view(reinterpret_cast<const char*>(data), size));
  if (path.empty()) std::abort();
  return path;
}

// Removes what a run wrote into the scratch folder under `name`.
inline void RemoveFuzzOutput(std::string_view name) { unlink(FuzzScratch().Path(name).c_str()); }

}  // namespace glimpses
