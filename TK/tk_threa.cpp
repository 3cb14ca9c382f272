#include "TK/tk_threa.h"

#include <chrono>
#include <cstdio>

#include "TK/tk_errh.h"
#include "TK/tk_except.h"
#include "TK/tk_log.h"

tk_thread::tk_thread(bool owns_functor) : owns_functor_(owns_functor) {}

tk_thread::~tk_thread() {
    try {
        if (is_running()) terminate();
        else close();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
}

tk_thread_functor* tk_thread::get_functor() {
    owns_functor_ = true;
    return new tk_thread_functor;
}

bool tk_thread::is_running() const {
    if (!thread_.joinable() || !state_) return false;
    std::lock_guard<std::mutex> lock(state_->mutex);
    return !state_->finished;
}

bool tk_thread::wait_finished(int timeout_ms) const {
    if (!state_) return true;
    std::unique_lock<std::mutex> lock(state_->mutex);
    if (timeout_ms < 0) {
        state_->finished_cv.wait(lock, [this] { return state_->finished; });
        return true;
    }
    return state_->finished_cv.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                        [this] { return state_->finished; });
}

void tk_thread::start() {
    if (is_running()) throw tk_mail_assertion("tk_threa", 92);
    close();
    tk_thread_functor* functor = get_functor();
    if (!functor) throw tk_mail_assertion("tk_threa", 105);
    functor_ = functor;
    functor_->clear_stop();
    state_ = std::make_shared<state>();
    thread_ = std::thread(&tk_thread::thread_proc, functor_, state_);
}

void tk_thread::thread_proc(tk_thread_functor* functor, std::shared_ptr<state> st) {
    // Nothing may leave a thread's entry: it would terminate the process.
    try {
        if (!functor) throw tk_mail_assertion("tk_threa", 149);
        functor->run();
    } catch (...) {
        try {
            tk_report_current(1, "tk_threa", 149);
        } catch (...) {
        }
    }
    std::lock_guard<std::mutex> lock(st->mutex);
    st->finished = true;
    st->finished_cv.notify_all();
}

void tk_thread::close() {
    if (is_running()) throw tk_mail_assertion("tk_threa", 71);
    if (thread_.joinable()) thread_.join();
    state_.reset();
    if (functor_ && owns_functor_) delete functor_;
    functor_ = nullptr;
}

void tk_thread::terminate() {
    if (!is_running()) throw tk_mail_assertion("tk_threa", 55);
    tk_log::write(2, "tk_thread::terminate");
    functor_->request_stop();
    thread_.join();
    close();
}
