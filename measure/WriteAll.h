// One write of a whole buffer to a file descriptor, for outputs that must
// know what reached the file: a row or a picture is whole or not there.
#pragma once
#include <unistd.h>

#include <cerrno>
#include <cstddef>

// Writes n bytes, going on after a short write or a signal; 0 when all were
// written, else the error, with *written (if given) the bytes that were.
inline int WriteAll(int fd, const char* data, std::size_t n, std::size_t* written = nullptr)
{
    std::size_t done = 0;
    int error = 0;
    while (done < n) {
        const ssize_t w = ::write(fd, data + done, n - done);
        if (w > 0) {
            done += static_cast<std::size_t>(w);
        } else if (w < 0 && errno == EINTR) {
            continue;
        } else {
            error = w < 0 ? errno : EIO;
            break;
        }
    }
    if (written != nullptr) *written = done;
    return error;
}
