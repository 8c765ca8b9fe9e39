#include "base/file_handle.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <utility>

namespace glimpses {
namespace {

bool IsOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

TEST(UniqueFdTest, ClosesOnceWhateverHappensToIt) {
  int raw = -1;
  {
    UniqueFd fd = UniqueFd::Open("/dev/null", O_RDONLY);
    ASSERT_TRUE(fd);
    raw = fd.get();
    EXPECT_TRUE(fcntl(raw, F_GETFD) & FD_CLOEXEC);
    UniqueFd moved = std::move(fd);
    EXPECT_FALSE(fd);
    EXPECT_EQ(moved.get(), raw);
    UniqueFd other = UniqueFd::Open("/dev/null", O_RDONLY);
    const int otherRaw = other.get();
    other = std::move(moved);  // closes what `other` held
    EXPECT_FALSE(IsOpen(otherRaw));
    EXPECT_TRUE(IsOpen(raw));
  }
  EXPECT_FALSE(IsOpen(raw));

  UniqueFd kept = UniqueFd::Open("/dev/null", O_RDONLY);
  raw = kept.release();
  EXPECT_FALSE(kept);
  EXPECT_TRUE(kept.Close());
  EXPECT_TRUE(IsOpen(raw));
  close(raw);

  EXPECT_FALSE(UniqueFd::Open("/no/such/file", O_RDONLY));
}

TEST(FileTest, ClosesOnceWhateverHappensToIt) {
  int raw = -1;
  {
    File file = File::Open("/dev/null", "rb");
    ASSERT_TRUE(file);
    raw = fileno(file.get());
    EXPECT_TRUE(fcntl(raw, F_GETFD) & FD_CLOEXEC);
    File moved = std::move(file);
    EXPECT_FALSE(file);
    EXPECT_TRUE(IsOpen(raw));
  }
  EXPECT_FALSE(IsOpen(raw));
  File closed = File::Open("/dev/null", "rb");
  EXPECT_TRUE(closed.Close());
  EXPECT_FALSE(closed);
  EXPECT_TRUE(closed.Close());
  EXPECT_FALSE(File::Open("/no/such/file", "rb"));
}

}  // namespace
}  // namespace glimpses
