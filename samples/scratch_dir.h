// A test fixture that gives each test a fresh folder under /tmp, removed
// afterwards, with helpers to put files in it and to list it.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <set>
#include <string>
#include <string_view>

#include "file_util.h"

namespace glimpses {

class ScratchDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/glimpses-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // Writes `bytes` to `name`; its path.
  std::string Write(const std::string& name, std::string_view bytes) const {
    std::string path = Path(name);
    EXPECT_TRUE(WriteFileAtomically(path, bytes.data(), bytes.size())) << path;
    return path;
  }
  std::string Write(const std::string& name, const Bytes& bytes) const {
    return Write(name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }

  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) names.insert(entry.path().filename().string());
    return names;
  }

  std::filesystem::path dir_;
};

}  // namespace glimpses
