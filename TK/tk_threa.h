// Runs a tk_thread_functor on a worker thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "TK/tk_conv.h"

class tk_thread {
public:
    // owns_functor: the thread deletes its functor when it closes.
    explicit tk_thread(bool owns_functor = false);
    // A running worker is stopped and joined, a finished one closed.
    virtual ~tk_thread();
    tk_thread(const tk_thread&) = delete;
    tk_thread& operator=(const tk_thread&) = delete;

    // Starts the functor's run on a new thread (closing a finished one first);
    // starting while running, or without a functor, is an internal error.
    void start();
    // Forgets a finished thread (and deletes an owned functor); while running
    // this is an internal error.
    void close();
    // Asks the functor to stop, waits for the thread to end and closes it;
    // without a running thread this is an internal error.
    void terminate();

    bool is_running() const;
    bool has_thread() const { return thread_.joinable(); }
    // Waits until the worker's run has returned; false when the time ran out.
    // A negative timeout waits without limit.
    bool wait_finished(int timeout_ms) const;

protected:
    // The functor to run; the default supplies a plain functor that it owns.
    virtual tk_thread_functor* get_functor();

private:
    struct state {
        std::mutex mutex;
        std::condition_variable finished_cv;
        bool finished = false;
    };
    static void thread_proc(tk_thread_functor* functor, std::shared_ptr<state> st);

    std::thread thread_;
    bool owns_functor_;
    tk_thread_functor* functor_ = nullptr;
    std::shared_ptr<state> state_;
};
