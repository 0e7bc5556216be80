#include "platform/error.h"

#include <cerrno>

namespace {
thread_local uint32_t t_last_error = 0;
}

uint32_t LPlatformErrorFromErrno(int err) {
    switch (err) {
    case 0:
        return LErrorSuccess;
    case ENOENT:
        return LErrorFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
        return LErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return LErrorAccessDenied;
    case EBUSY:
    case ETXTBSY:
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
        return LErrorSharingViolation;
    case EEXIST:
        return LErrorAlreadyExists;
    case ECANCELED:
    case EINTR:
        return LErrorOperationAborted;
    default:
        return LErrorGeneric;
    }
}

uint32_t LPlatformLastError() { return t_last_error; }
void LPlatformSetLastError(uint32_t code) { t_last_error = code; }

uint32_t LPlatformSetLastErrorFromErrno() {
    t_last_error = LPlatformErrorFromErrno(errno);
    return t_last_error;
}
