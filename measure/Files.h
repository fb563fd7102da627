// What parlune-measure finds at the paths it reads and writes, asked of
// stat() before anything opens them: opening a FIFO blocks until the other
// end comes, and a device such as /dev/zero never ends.
#pragma once
#include <string>

// Why a file to read (a config file, a recording) is refused: "" for a
// regular file, for one that is not there (opening it says so) and for the
// program's own standard input; else "is a FIFO, not a regular file" and
// the like.
std::string NotAFileToRead(const std::string& path);

// Why a file to write (lines, a picture) is refused: "" for a regular file,
// a path where nothing is yet, a character device (/dev/null, a terminal)
// and the program's own standard output or error (/dev/stdout in a pipe);
// else "is a FIFO, not a regular file" and the like.
std::string NotAFileToWrite(const std::string& path);

// Throws Stop (status 1, "PATH: is a FIFO, not a regular file") unless
// NotAFileToWrite has nothing against the path.
void CheckFileToWrite(const std::string& path);

// A key that is equal for two paths of the same file: the canonical path
// where the file (or its folder) exists, else the absolute path made plain.
std::string SameFileKey(const std::string& path);
