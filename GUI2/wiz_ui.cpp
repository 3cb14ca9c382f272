#include "GUI2/wiz_ui.h"

#include <memory>

wiz_ui::~wiz_ui() = default;

namespace {
// One cross-thread call. The caller's stack holds fn, so once the caller has
// given up (abandoned) the posted call must not run it any more; once it has
// started (running) the caller waits for it to end.
struct ui_call {
    bool running = false;
    bool done = false;
    bool abandoned = false;
};
}  // namespace

bool wiz_ui::call_on_ui(const std::function<void()>& fn) {
    if (on_ui_thread()) {
        fn();
        return true;
    }
    auto state = std::make_shared<ui_call>();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closing_) return false;
    }
    const std::function<void()>* target = &fn;
    post([this, state, target] {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (state->abandoned) return;
            state->running = true;
        }
        try {
            (*target)();
        } catch (...) {
            // The worker learns nothing more than "done"; the interface goes on.
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            state->done = true;
        }
        cv_.notify_all();
    });
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [&] { return state->done || (closing_ && !state->running); });
    if (state->done) return true;
    state->abandoned = true;
    return false;
}

void wiz_ui::begin_closing() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    cv_.notify_all();
}
