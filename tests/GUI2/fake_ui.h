// A scripted stand-in for the wizard's windows: it keeps control states,
// records every box and answers questions and file dialogs from queues.
// Calls posted by other threads wait in a queue until the test pumps it.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "GUI2/wiz_ui.h"

struct fake_ctrl {
    std::string text;
    bool check = false;
    bool enabled = true;
    bool shown = true;
    bool read_only = false;
    int progress = 0;
};

class fake_ui : public wiz_ui {
public:
    // One shown box or dialog: kind ("error", "message", "ask", "continue",
    // "internal", "file"), caption and text.
    struct box {
        std::string kind, caption, text;
    };

    std::vector<box> boxes;
    std::deque<bool> ask_answers;                   // default No
    std::function<void()> while_asking;             // runs while a question is open
    std::deque<std::pair<int, bool>> continue_answers;  // default Continue
    std::deque<int> internal_answers;               // default OK
    std::deque<std::pair<bool, std::string>> file_answers;  // default Cancel
    std::vector<wiz_file_request> file_requests;

    std::map<std::pair<int, int>, fake_ctrl> ctrls;
    int focused_ctrl = 0;
    unsigned buttons = 0;
    std::map<int, bool> sheet_buttons;
    int focused_button = 0;
    std::vector<int> page_jumps;
    std::map<int, int> timers;
    std::string title;
    std::string clipboard;
    std::vector<std::string> opened;
    bool open_ok = true;  // whether the desktop had a program for what was opened
    // end_process may come from the worker.
    std::atomic<int> end_code{0};
    std::atomic<bool> ended{false};

    fake_ui() : ui_thread_(std::this_thread::get_id()) {}
    ~fake_ui() override { begin_closing(); }

    void show_error(const std::string& caption, const std::string& text) override { add("error", caption, text); }
    void show_message(const std::string& caption, const std::string& text) override {
        add("message", caption, text);
    }
    bool ask(const std::string& caption, const std::string& text) override {
        add("ask", caption, text);
        if (while_asking) while_asking();
        return pop(ask_answers, false);
    }
    int continue_or_abort(const std::string& caption, const std::string& text, bool& dont_show) override {
        add("continue", caption, text);
        auto a = pop(continue_answers, std::make_pair(int(wiz_answer_continue), false));
        dont_show = a.second;
        return a.first;
    }
    int internal_error(const std::string& caption, const std::string& text) override {
        add("internal", caption, text);
        return pop(internal_answers, int(wiz_answer_ok));
    }
    bool choose_file(const wiz_file_request& request, std::string& path) override {
        add("file", request.title, request.folder + "|" + request.name);
        file_requests.push_back(request);
        auto a = pop(file_answers, std::make_pair(false, std::string()));
        if (a.first) path = a.second;
        return a.first;
    }

    fake_ctrl& c(int page, int ctrl) { return ctrls[{page, ctrl}]; }
    std::string get_text(int page, int ctrl) override { return c(page, ctrl).text; }
    void set_text(int page, int ctrl, const std::string& text) override { c(page, ctrl).text = text; }
    void append_text(int page, int ctrl, const std::string& text) override { c(page, ctrl).text += text; }
    bool get_check(int page, int ctrl) override { return c(page, ctrl).check; }
    void set_check(int page, int ctrl, bool on) override { c(page, ctrl).check = on; }
    void enable_ctrl(int page, int ctrl, bool enable) override { c(page, ctrl).enabled = enable; }
    void focus_ctrl(int, int ctrl) override { focused_ctrl = ctrl; }
    void show_ctrl(int page, int ctrl, bool show) override { c(page, ctrl).shown = show; }
    void set_read_only(int page, int ctrl, bool on) override { c(page, ctrl).read_only = on; }
    void set_progress(int page, int ctrl, int value) override { c(page, ctrl).progress = value; }

    void set_title(const std::string& t) override { title = t; }
    void set_icon(int) override {}
    void set_buttons(unsigned mask) override { buttons = mask; }
    void enable_button(int id, bool enable) override { sheet_buttons[id] = enable; }
    void focus_button(int id) override { focused_button = id; }
    void go_to_page(int page) override { page_jumps.push_back(page); }
    bool start_timer(int id, int period_ms) override {
        timers[id] = period_ms;
        return true;
    }
    void stop_timer(int id) override { timers.erase(id); }

    void copy_to_clipboard(const std::string& text) override { clipboard = text; }
    bool open_document(const std::string& target) override {
        opened.push_back(target);
        return open_ok;
    }
    void end_process(int code) override {
        ended = true;
        end_code = code;
    }

    bool on_ui_thread() const override { return std::this_thread::get_id() == ui_thread_; }

    // Runs the calls other threads have posted; returns how many ran.
    int pump() {
        std::deque<std::function<void()>> calls;
        {
            std::lock_guard<std::mutex> lock(queue_mutex_);
            calls.swap(queue_);
        }
        for (auto& f : calls) f();
        return static_cast<int>(calls.size());
    }
    // Pumps until pred holds; gives up after 30 s (a hung worker, never a
    // slow one: the conditions are states, not times).
    template <class P>
    bool pump_until(P pred) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            pump();
            if (pred()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return pred();
    }
    std::size_t queued() {
        std::lock_guard<std::mutex> lock(queue_mutex_);
        return queue_.size();
    }

    int count(const std::string& kind) const {
        int n = 0;
        for (auto& b : boxes) n += b.kind == kind;
        return n;
    }

protected:
    void post(std::function<void()> fn) override {
        std::lock_guard<std::mutex> lock(queue_mutex_);
        queue_.push_back(std::move(fn));
    }

private:
    void add(const char* kind, const std::string& caption, const std::string& text) {
        boxes.push_back({kind, caption, text});
    }
    template <class T>
    static T pop(std::deque<T>& q, T dflt) {
        if (q.empty()) return dflt;
        T v = q.front();
        q.pop_front();
        return v;
    }

    std::thread::id ui_thread_;
    std::mutex queue_mutex_;
    std::deque<std::function<void()>> queue_;
};
