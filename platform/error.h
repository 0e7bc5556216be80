#pragma once
// The few Windows error codes the program branches on, mapped from errno in
// this one place, and the calling thread's last error of the platform layer.
#include <cstdint>

constexpr uint32_t LErrorSuccess = 0;
constexpr uint32_t LErrorFileNotFound = 2;
constexpr uint32_t LErrorPathNotFound = 3;
constexpr uint32_t LErrorAccessDenied = 5;
constexpr uint32_t LErrorSharingViolation = 32;
constexpr uint32_t LErrorAlreadyExists = 183;
constexpr uint32_t LErrorOperationAborted = 995;
// Everything else that failed.
constexpr uint32_t LErrorGeneric = 31;

// ENOENT -> file not found, ENOTDIR -> path not found, EACCES/EPERM/EROFS/EISDIR ->
// access denied, EBUSY/ETXTBSY/EAGAIN/EWOULDBLOCK -> sharing violation (the
// failures that pass once another user lets go), EEXIST -> already exists,
// ECANCELED/EINTR -> aborted, 0 -> success, anything else -> generic.
uint32_t LPlatformErrorFromErrno(int err);

// Set by every failing call of the platform layer that documents it.
uint32_t LPlatformLastError();
void LPlatformSetLastError(uint32_t code);
// Sets the last error from errno and returns it.
uint32_t LPlatformSetLastErrorFromErrno();
