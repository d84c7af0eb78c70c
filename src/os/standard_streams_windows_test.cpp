#include <windows.h>

#include <gtest/gtest.h>

#include "os/process_setup.hpp"
#include "os/standard_streams.hpp"
#include "os/win32.hpp"
#include "test_support.hpp"

namespace murv::os {
namespace {

// Standard output or error as the read end of a pipe, for the life of the object.
class CapturedStandard {
  public:
    explicit CapturedStandard(DWORD which) : which_(which), old_(::GetStdHandle(which)) {
        HANDLE ends[2];
        EXPECT_TRUE(::CreatePipe(&ends[0], &ends[1], nullptr, 0));
        read_.reset(ends[0]);
        write_.reset(ends[1]);
        ::SetStdHandle(which_, write_.get());
    }
    ~CapturedStandard() { ::SetStdHandle(which_, old_); }

    // Everything written so far; the writing end is closed.
    std::string take() {
        ::SetStdHandle(which_, old_);
        write_.reset();
        return test::read_all(read_.get());
    }
    void close_reader() { read_.reset(); }

  private:
    DWORD which_;
    HANDLE old_;
    win32::UniqueHandle read_;
    win32::UniqueHandle write_;
};

TEST(WriteStandard, WritesTheExactBytesWithoutLineEndTranslation) {
    const std::string bytes = "a\nb\r\n中文 \xff end";
    for (const auto& [stream, which] : {std::pair{StandardStream::output, STD_OUTPUT_HANDLE},
                                        std::pair{StandardStream::error, STD_ERROR_HANDLE}}) {
        CapturedStandard captured(which);
        ASSERT_TRUE(write_standard(stream, bytes));
        ASSERT_TRUE(write_standard(stream, "\n"));
        EXPECT_EQ(captured.take(), bytes + "\n");
    }
}

TEST(WriteStandard, APipeWithoutReaderIsAnErrorNotAnEnd) {
    prepare_process();
    CapturedStandard captured(STD_OUTPUT_HANDLE);
    captured.close_reader();
    const auto written = write_standard(StandardStream::output, "lost\n");
    ASSERT_FALSE(written);
    EXPECT_TRUE(written.error().message().ends_with(")")) << written.error().message();
}

// A parent may store INVALID_HANDLE_VALUE as the handle, and the last error is then anything.
TEST(WriteStandard, AnInvalidHandleIsAFailedWriteWhateverTheLastError) {
    const HANDLE old = ::GetStdHandle(STD_OUTPUT_HANDLE);
    ::SetStdHandle(STD_OUTPUT_HANDLE, INVALID_HANDLE_VALUE);
    ::SetLastError(ERROR_SUCCESS);
    const auto written = write_standard(StandardStream::output, "lost\n");
    ::SetStdHandle(STD_OUTPUT_HANDLE, old);
    EXPECT_TRUE(!written && written.error().message().ends_with("(os error 6)"));
}

}  // namespace
}  // namespace murv::os
