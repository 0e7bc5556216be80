#pragma once
// Reading a file that another program or user wrote, under bounds: only a
// regular file is read (a FIFO would block the reader, a device such as
// /dev/zero never ends), and never more than the caller's limit.
#include <cstdint>
#include <string>

enum class LPlatformRegularRead { Ok, Missing, NotRegular, TooLarge, Failed };

// Reads the whole file into out (emptied first).
LPlatformRegularRead LPlatformReadRegularFile(const std::string& path, uint64_t limit, std::string& out);
