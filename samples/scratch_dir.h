// A test fixture that gives each test a fresh ScratchFolder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <string_view>

#include "samples/scratch_folder.h"

namespace glimpses {

class ScratchDirTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(scratch_.root().empty()) << "no scratch folder"; }

  std::string Path(std::string_view name) const { return scratch_.Path(name); }

  // Writes `bytes` to `name`; its path.
  std::string Write(std::string_view name, std::string_view bytes) const {
    std::string path = scratch_.Write(name, bytes);
    EXPECT_FALSE(path.empty()) << name;
    return path.empty() ? Path(name) : path;
  }
  std::string Write(std::string_view name, const Bytes& bytes) const {
    return Write(name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }

  std::set<std::string> Names() const { return scratch_.Names(); }

  ScratchFolder scratch_;
  const std::filesystem::path dir_{scratch_.root()};
};

}  // namespace glimpses
