// Runs a check as an unprivileged user. Root may write read-only files, so
// under root (as in CI) the check runs in a child process that first drops to
// the user "nobody", as setpriv --reuid=nobody --regid=nogroup --clear-groups
// does; otherwise it runs in this process. The check's text comes back;
// a child that cannot be run gives a text starting with "(unprivileged: ".
#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

inline std::string run_unprivileged(const std::function<std::string()>& check) {
    if (::geteuid() != 0) return check();
    const passwd* pw = ::getpwnam("nobody");
    if (!pw) return "(unprivileged: no user nobody)";
    const uid_t uid = pw->pw_uid;
    const gid_t gid = pw->pw_gid;
    int fds[2];
    if (::pipe(fds) != 0) return "(unprivileged: no pipe)";
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return "(unprivileged: no child process)";
    }
    if (pid == 0) {
        ::close(fds[0]);
        std::string out;
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0 || ::geteuid() == 0) {
            out = "(unprivileged: cannot drop privileges)";
        } else {
            try {
                out = check();
            } catch (...) {
                out = "(unprivileged: the check threw)";
            }
        }
        for (size_t done = 0; done < out.size();) {
            ssize_t n = ::write(fds[1], out.data() + done, out.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string out;
    char buf[256];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "(unprivileged: the child failed)";
    return out;
}
