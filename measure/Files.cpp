#include "measure/Files.h"

#include <sys/stat.h>

#include <filesystem>
#include <initializer_list>
#include <system_error>

#include "measure/Stop.h"

namespace {

// The kind of a file that is not a regular one, as a message says it.
std::string Kind(const struct stat& st)
{
    if (S_ISDIR(st.st_mode)) return "a directory";
    if (S_ISFIFO(st.st_mode)) return "a FIFO";
    if (S_ISSOCK(st.st_mode)) return "a socket";
    if (S_ISBLK(st.st_mode)) return "a block device";
    if (S_ISCHR(st.st_mode)) return "a character device";
    return "not a file";
}

// True when the path names one of these descriptors, already open: the
// program's own standard input or output, whatever it is, opens at once.
bool OneOf(const struct stat& st, std::initializer_list<int> fds)
{
    for (const int fd : fds) {
        struct stat own {};
        if (fstat(fd, &own) == 0 && own.st_dev == st.st_dev && own.st_ino == st.st_ino) return true;
    }
    return false;
}

} // namespace

std::string NotAFileToRead(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode) || OneOf(st, {0})) return {};
    return "is " + Kind(st) + ", not a regular file";
}

std::string NotAFileToWrite(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISCHR(st.st_mode) || OneOf(st, {1, 2})) return {};
    return "is " + Kind(st) + ", not a regular file";
}

void CheckFileToWrite(const std::string& path)
{
    if (const std::string why = NotAFileToWrite(path); !why.empty()) Fail(kExitFile, path + ": " + why);
}

std::string SameFileKey(const std::string& path)
{
    std::error_code e;
    const std::filesystem::path absolute = std::filesystem::absolute(path, e).lexically_normal();
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(absolute, e);
    return (e ? absolute : canonical).string();
}
