#include "io/posix_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace {

using ordwell::io::OwnedBytes;
using ordwell::io::ReadAll;
using ordwell::io::UniqueFd;

// Returns a pipe's read end after a writer thread has sent `data` and closed the other end.
UniqueFd PipeCarrying(const std::string& data, std::thread& writer) {
  int fds[2];
  EXPECT_EQ(::pipe(fds), 0);
  writer = std::thread([fd = fds[1], data] {
    UniqueFd out(fd);
    EXPECT_TRUE(ordwell::io::WriteAll(out.get(), data));
  });
  return UniqueFd(fds[0]);
}

TEST(ReadAll, ReadsStreamsWholeAndStopsAtTheLimit) {
  struct Case {
    std::size_t bytes;
    std::size_t limit;
    int status;
  };
  for (const Case c : {Case{0, 100, 0}, Case{1, 100, 0}, Case{300'000, 1'000'000, 0},
                       Case{300'000, 300'000, 0}, Case{300'001, 300'000, EFBIG}, Case{5, 0, EFBIG}}) {
    std::string data(c.bytes, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 26);
    std::thread writer;
    const UniqueFd in = PipeCarrying(data, writer);
    OwnedBytes read;
    EXPECT_EQ(ReadAll(in.get(), c.limit, read), c.status) << c.bytes << " bytes, limit " << c.limit;
    writer.join();
    EXPECT_EQ(read.view(), std::string_view(data).substr(0, c.limit));
  }
}

TEST(ReadAll, ReadsARegularFileFromItsCurrentOffsetAndLeavesTheOffsetAtItsEnd) {
  // A small file, and one large enough to be read in two halves side by side.
  for (const std::size_t size : {std::size_t{8}, (std::size_t{33} << 19) + 3}) {
    char name[] = "/tmp/ordwell-io-XXXXXX";
    const UniqueFd file(::mkstemp(name));
    ASSERT_TRUE(file.valid());
    ::unlink(name);
    std::string rest(size, '\0');
    for (std::size_t i = 0; i < rest.size(); ++i) rest[i] = static_cast<char>('a' + i % 23);
    ASSERT_TRUE(ordwell::io::WriteAll(file.get(), "skip|" + rest));
    ASSERT_EQ(::lseek(file.get(), 5, SEEK_SET), 5);
    OwnedBytes read;
    EXPECT_EQ(ReadAll(file.get(), std::size_t{1} << 30, read), 0);
    EXPECT_TRUE(read.view() == rest) << size;
    EXPECT_EQ(::lseek(file.get(), 0, SEEK_CUR), static_cast<off_t>(5 + size));
    read.clear();
    EXPECT_EQ(read.size(), 0U);
  }
}

TEST(UniqueFd, ClosesOnceAndReportsOpenFailures) {
  UniqueFd missing = ordwell::io::Open("/nonexistent/ordwell", O_RDONLY);
  EXPECT_FALSE(missing.valid());
  EXPECT_EQ(errno, ENOENT);
  UniqueFd null = ordwell::io::Open("/dev/null", O_RDONLY);
  ASSERT_TRUE(null.valid());
  UniqueFd moved = std::move(null);
  EXPECT_FALSE(null.valid());  // NOLINT(bugprone-use-after-move): the moved-from state is the point
  EXPECT_TRUE(moved.Close());
  EXPECT_TRUE(moved.Close());  // nothing left to close
}

}  // namespace
