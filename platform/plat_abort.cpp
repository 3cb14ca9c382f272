#include "platform/plat_abort.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace {
// Read by the handler: only async-signal-safe work touches them there.
char text_buf[1024];
volatile sig_atomic_t text_len = 0;
struct sigaction saved {};

extern "C" void on_abort(int sig) {
    if (errno == ENOMEM && text_len > 0) {
        for (size_t done = 0, len = static_cast<size_t>(text_len); done < len;) {
            const ssize_t n = ::write(STDOUT_FILENO, text_buf + done, len - done);
            if (n <= 0 && errno != EINTR) break;
            if (n > 0) done += static_cast<size_t>(n);
        }
        ::_exit(255);
    }
    // Not memory: the default action, as if no guard were there.
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    ::sigaction(sig, &dfl, nullptr);
    ::raise(sig);
}
}  // namespace

plat_memory_abort::plat_memory_abort(const std::string& text) {
    set_text(text);
    struct sigaction old {};
    // A program that handles SIGABRT itself keeps it.
    if (::sigaction(SIGABRT, nullptr, &old) != 0 || old.sa_handler != SIG_DFL || (old.sa_flags & SA_SIGINFO)) return;
    struct sigaction act {};
    act.sa_handler = on_abort;
    sigemptyset(&act.sa_mask);
    installed_ = ::sigaction(SIGABRT, &act, &saved) == 0;
}

plat_memory_abort::~plat_memory_abort() { release(); }

void plat_memory_abort::release() {
    if (installed_) ::sigaction(SIGABRT, &saved, nullptr);
    installed_ = false;
    text_len = 0;
}

void plat_memory_abort::set_text(const std::string& text) {
    // The handler never sees half a text: it is off while the text changes.
    text_len = 0;
    const size_t n = std::min(text.size(), sizeof text_buf - 1);
    std::memcpy(text_buf, text.data(), n);
    text_len = static_cast<sig_atomic_t>(n);
}
