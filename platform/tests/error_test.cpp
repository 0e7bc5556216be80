#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "platform/error.h"

namespace {

TEST(ErrorMapping, ErrnoToTheCodesTheProgramBranchesOn) {
    struct Case {
        int err;
        uint32_t code;
    } cases[] = {
        {0, LErrorSuccess},
        {ENOENT, LErrorFileNotFound},
        {ENOTDIR, LErrorPathNotFound},
        {EACCES, LErrorAccessDenied},
        {EPERM, LErrorAccessDenied},
        {EROFS, LErrorAccessDenied},
        {EISDIR, LErrorAccessDenied},
        {EBUSY, LErrorSharingViolation},
        {ETXTBSY, LErrorSharingViolation},
        {EAGAIN, LErrorSharingViolation},
        {EWOULDBLOCK, LErrorSharingViolation},
        {EEXIST, LErrorAlreadyExists},
        {ECANCELED, LErrorOperationAborted},
        {EIO, LErrorGeneric},
        {ENOSPC, LErrorGeneric},
    };
    for (const auto& c : cases) EXPECT_EQ(LPlatformErrorFromErrno(c.err), c.code) << c.err;
}

TEST(ErrorMapping, LastErrorIsPerThread) {
    errno = ENOENT;
    EXPECT_EQ(LPlatformSetLastErrorFromErrno(), LErrorFileNotFound);
    uint32_t other = 99;
    std::thread([&] { other = LPlatformLastError(); }).join();
    EXPECT_EQ(other, LErrorSuccess);
    EXPECT_EQ(LPlatformLastError(), LErrorFileNotFound);
}

}  // namespace
