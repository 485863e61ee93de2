#include "platform/regular_file_posix.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

const char* TypeName(mode_t mode) {
    switch (mode & S_IFMT) {
    case S_IFIFO:
        return "fifo";
    case S_IFLNK:
        return "symbolic link";
    case S_IFDIR:
        return "directory";
    case S_IFSOCK:
        return "socket";
    case S_IFCHR:
        return "character special file";
    case S_IFBLK:
        return "block special file";
    }
    return "not a regular file";
}

} // namespace

RegularFile OpenRegularFile(const std::string& path, int flags, mode_t mode) {
    RegularFile file;
    struct stat st {};
    // Looked at before the open, which is what a FIFO or a device acts on.
    if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        file.notAFile = TypeName(st.st_mode);
        return file;
    }
    file.fd = UniqueFd(
        ::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode));
    if (!file.fd) {
        file.error = errno;
        if (file.error == ELOOP) // a link put there since the look
            file.notAFile = TypeName(S_IFLNK);
        return file;
    }
    // Or something else put there since the look.
    if (::fstat(file.fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        file.notAFile = TypeName(st.st_mode);
        file.fd.Reset();
    }
    return file;
}
