#include "platform/plat_temp.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

namespace {
// Every signal whose default action ends the process (SIGKILL and SIGSTOP
// aside, which nothing can catch). SIGXFSZ is ignored instead
// (plat_ignore_file_size_signal).
constexpr int cleanup_signals[] = {SIGHUP,  SIGINT,  SIGQUIT,   SIGILL,  SIGTRAP,  SIGABRT,   SIGBUS,
                                   SIGFPE,  SIGUSR1, SIGSEGV,   SIGUSR2, SIGPIPE,  SIGALRM,   SIGTERM,
                                   SIGSTKFLT, SIGXCPU, SIGVTALRM, SIGPROF, SIGIO, SIGPWR, SIGSYS};
constexpr int signal_count = sizeof cleanup_signals / sizeof cleanup_signals[0];
// ".", "." and six random characters around the destination's name.
constexpr size_t temp_extra = 8;

// What the signal handler removes. Only async-signal-safe calls touch it
// there; the lock orders the threads that arm and release it.
struct armed_file {
    volatile sig_atomic_t armed = 0;
    int folder = -1;
    char name[NAME_MAX + 1] = {};
    bool installed[signal_count] = {};
    struct sigaction saved[signal_count] = {};
};
armed_file armed;
std::mutex armed_lock;

extern "C" void remove_and_end(int sig) {
    if (armed.armed) ::unlinkat(armed.folder, armed.name, 0);
    armed.armed = 0;
    // Our handler is only ever put in place of the default action: end the
    // process as that action would have.
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    ::sigaction(sig, &dfl, nullptr);
    ::raise(sig);
}

void arm(int folder, const std::string& name) {
    std::lock_guard<std::mutex> lock(armed_lock);
    if (armed.armed || name.size() > NAME_MAX) return;
    armed.folder = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
    if (armed.folder < 0) return;
    std::memcpy(armed.name, name.c_str(), name.size() + 1);
    armed.armed = 1;
    for (int i = 0; i < signal_count; ++i) {
        armed.installed[i] = false;
        struct sigaction old {};
        // A signal the program ignores or handles itself is left to it.
        if (::sigaction(cleanup_signals[i], nullptr, &old) != 0 || old.sa_handler != SIG_DFL ||
            (old.sa_flags & SA_SIGINFO))
            continue;
        struct sigaction act {};
        act.sa_handler = remove_and_end;
        sigemptyset(&act.sa_mask);
        armed.installed[i] = ::sigaction(cleanup_signals[i], &act, &armed.saved[i]) == 0;
    }
}

char random_char() {
    static const char set[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::atomic<unsigned> counter{0};
    unsigned char byte = 0;
    if (::getrandom(&byte, 1, GRND_NONBLOCK) != 1)
        byte = static_cast<unsigned char>(::getpid() ^ std::time(nullptr) ^ (counter++ * 2654435761u));
    return set[byte % (sizeof set - 1)];
}

// The destination's name cut to at most max bytes, not inside a UTF-8 character.
std::string fitting_name(const std::string& name, size_t max) {
    if (name.size() <= max) return name;
    size_t cut = max;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    return name.substr(0, cut);
}

// Makes the hidden name beside `name` with `make` (0 or more on success,
// else -1 with errno; EEXIST tries another name) and arms it, with the
// signals held back until it is armed, so that none finds it unknown.
template <class Make>
int make_temp_name(int folder, const std::string& name, long name_max, std::string& temp_name, Make make) {
    plat_ignore_file_size_signal();
    if (name_max <= static_cast<long>(temp_extra)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    const std::string base = "." + fitting_name(name, static_cast<size_t>(name_max) - temp_extra) + ".";
    sigset_t block, old;
    sigemptyset(&block);
    for (int sig : cleanup_signals) sigaddset(&block, sig);
    pthread_sigmask(SIG_BLOCK, &block, &old);
    int rc = -1;
    std::string candidate;
    for (int attempt = 0; attempt < 100 && rc < 0; ++attempt) {
        candidate = base;
        for (size_t i = 0; i < temp_extra - 2; ++i) candidate += random_char();
        rc = make(candidate);
        if (rc < 0 && errno != EEXIST) break;
    }
    const int err = errno;
    if (rc >= 0) arm(folder, candidate);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (rc < 0) {
        errno = err;
        return -1;
    }
    temp_name = candidate;
    return rc;
}
}  // namespace

int plat_create_temp(int folder, const std::string& name, long name_max, std::string& temp_name) {
    return make_temp_name(folder, name, name_max, temp_name, [folder](const std::string& candidate) {
        return ::openat(folder, candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
                        0600);
    });
}

int plat_create_unnamed(int folder) {
    plat_ignore_file_size_signal();
    // The file gets its name through /proc when it is complete.
    if (::access("/proc/self/fd", X_OK) != 0) return -1;
    return ::openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
}

int plat_name_unnamed(int fd, int folder, const std::string& name, long name_max, std::string& temp_name) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return make_temp_name(folder, name, name_max, temp_name, [&](const std::string& candidate) {
        return ::linkat(AT_FDCWD, self.c_str(), folder, candidate.c_str(), AT_SYMLINK_FOLLOW);
    });
}

void plat_ignore_file_size_signal() {
    // Only the default action is replaced: a program's own choice stays.
    struct sigaction old {};
    if (::sigaction(SIGXFSZ, nullptr, &old) != 0 || old.sa_handler != SIG_DFL || (old.sa_flags & SA_SIGINFO)) return;
    struct sigaction ign {};
    ign.sa_handler = SIG_IGN;
    sigemptyset(&ign.sa_mask);
    ::sigaction(SIGXFSZ, &ign, nullptr);
}

void plat_release_temp(const std::string& temp_name) {
    std::lock_guard<std::mutex> lock(armed_lock);
    if (!armed.armed || temp_name != armed.name) return;
    armed.armed = 0;
    for (int i = 0; i < signal_count; ++i)
        if (armed.installed[i]) ::sigaction(cleanup_signals[i], &armed.saved[i], nullptr);
    ::close(armed.folder);
    armed.folder = -1;
}

namespace {
int scratch_in(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
    // A file system without unnamed files: a named one, unlinked at once,
    // with every signal held back in between so that none finds it named.
    std::string name = folder + "/.tabrixa-XXXXXX";
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &old);
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    const int err = errno;
    if (fd >= 0) ::unlink(name.c_str());
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    errno = err;
    return fd;
}
}  // namespace

int plat_create_scratch(std::string& folder, const std::string& beside) {
    plat_ignore_file_size_signal();
    if (!beside.empty()) {
        folder = beside;
        const int fd = scratch_in(folder);
        if (fd >= 0) return fd;
    }
    const char* dir = std::getenv("TMPDIR");
    folder = dir && *dir ? dir : "/tmp";
    return scratch_in(folder);
}

bool plat_release_front(int fd, unsigned long long bytes) {
    // Whole blocks only: a block released in part is zeroed, bytes after the front with it.
    struct stat st {};
    struct statvfs vfs {};
    unsigned long long block = 4096;
    if (::fstat(fd, &st) == 0 && st.st_blksize > 0) block = std::max<unsigned long long>(block, st.st_blksize);
    if (::fstatvfs(fd, &vfs) == 0 && vfs.f_frsize > 0) block = std::max<unsigned long long>(block, vfs.f_frsize);
    const unsigned long long whole = bytes / block * block;
    if (whole == 0) return true;
    return ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(whole)) == 0;
}
