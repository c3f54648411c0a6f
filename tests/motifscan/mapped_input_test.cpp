// What only the mapped reader has: windows over the file, the hand-over to
// read() where the file grows past its size, and a file that shrinks while
// mapped. Everything else runs against both readers in the other tests.

#include "run_in_memory.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <string>

namespace {

std::size_t const page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));

// Every block a refill hands over holds the next bytes of the file, at most
// one window of them, and lies before the guard page; together they are the
// file. The start offsets put windows across page boundaries.
TEST(MotifscanMappedInput, WindowsHoldTheNextBytesAndNoMore) {
    std::string data;
    for (std::size_t k = 0; k < 2 * page + 100; ++k) data.push_back(static_cast<char>(k * 7 % 256));
    for (std::size_t skip : {std::size_t{0}, std::size_t{1}, page - 1, page + 1}) {
        for (std::size_t window : {std::size_t{1}, page - 1, page, 2 * page + 3, defaultMappedWindow}) {
            SCOPED_TRACE(testing::Message() << "skip " << skip << ", window " << window);
            TestInput source(data.substr(skip), Source{true, window});
            Input& in = source.in;
            std::string seen;
            while (refill(in)) {
                auto const size = static_cast<std::size_t>(in.end - in.pos);
                ASSERT_GE(size, 1u);
                ASSERT_LE(size, window);
                ASSERT_GE(in.pos, in.mapped.base);
                ASSERT_LE(in.end + page, in.mapped.base + in.mapped.length);
                seen.append(in.pos, in.end);
                in.pos = in.end;
            }
            EXPECT_EQ(seen, data.substr(skip));
            EXPECT_FALSE(refill(in));
        }
    }
}

TEST(MotifscanMappedInput, ReadsOnWhereTheFileGrewPastItsSize) {
    TestInput source("2\n1\nA\nAAA\n", Source{true, 4});
    ASSERT_TRUE(refill(source.in));
    std::string const more = "1\nB\nBB\n";
    ASSERT_EQ(::pwrite(source.fd, more.data(), more.size(), ::lseek(source.fd, 0, SEEK_END)),
              static_cast<ssize_t>(more.size()));
    RunResult const result = runProgram(source.in);
    EXPECT_TRUE(result.finished) << result.error;
    EXPECT_EQ(result.output, "3\n2\n");
}

// The file is cut while its first window is mapped, inside the second task's
// message. At a page boundary the lost pages fault: the first count stays
// printed, the second is not printed (it would count only part of the
// message), and the run ends with a read error. Inside a page, the rest of
// the page reads as zero bytes without a fault; the cut is found afterwards.
TEST(MotifscanMappedInput, FileShrinkingUnderTheWindowEndsTheRunWithAnError) {
    std::string const input = "3\n1\nA\nAAA\n1\nAB\n" + std::string(4 * page, 'A') + "B\n1\nA\nA\n";
    for (std::size_t cut : {page, 3 * page, 2 * page + 5}) {
        SCOPED_TRACE(testing::Message() << "cut at " << cut);
        TestInput source(input, Source{true, defaultMappedWindow});
        ASSERT_TRUE(refill(source.in));
        ASSERT_EQ(::ftruncate(source.fd, static_cast<off_t>(cut)), 0);
        RunResult const result = runProgram(source.in);
        if (cut % page == 0) {
            EXPECT_FALSE(result.finished);
            EXPECT_EQ(result.output, "3\n");
            EXPECT_EQ(result.error, "read error: Input/output error");
        } else {
            EXPECT_EQ(result.output.substr(0, 2), "3\n");
            EXPECT_TRUE(mappedFileShrank(source.in));
        }
    }
}

}  // namespace
