// Loaded with LD_PRELOAD into a program under test: every flock fails as it
// does on an NFS home folder without a lock service (ENOLCK), or with the
// error number in QUELLIX_TEST_FLOCK_ERRNO (EBADF: NFS mounts that lock
// through fcntl, which wants a descriptor open for writing).

#include <cerrno>
#include <cstdlib>

extern "C" int flock(int, int) {
    const char* chosen = std::getenv("QUELLIX_TEST_FLOCK_ERRNO");
    errno = chosen ? std::atoi(chosen) : ENOLCK;
    return -1;
}
