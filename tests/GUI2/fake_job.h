// A conversion job for the page tests: settings in fields, a password check,
// and a run that converts "pages" one at a time as the test releases them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <string>

#include "GUI2/wiz_job.h"
#include "TK/tk_errh.h"
#include "TK/tk_except.h"

class fake_job : public wiz_job {
public:
    std::string src, dest, pswd, range;
    bool tables = true, open_exit = false;
    std::string right_password;  // check_source wants this one
    bool dest_unusable = false;
    int total_pages = 2;
    // run fails after this many pages with a level-1 error (-1: never).
    int fail_after = -1;
    // run reports a warning at this page and goes on unless stopped (-1: never).
    int warn_at = -1;
    bool profile_bad = false;
    bool profile_none = false;  // the chosen file is no settings file
    bool store_ok = true;
    std::string stored_profile;

    std::string source() const override { return src; }
    void set_source(const std::string& p) override { src = p; }
    std::string destination() const override { return dest; }
    void set_destination(const std::string& p) override { dest = p; }
    std::string password() const override { return pswd; }
    void set_password(const std::string& p) override { pswd = p; }
    std::string page_range() const override { return range; }
    void set_page_range(const std::string& r) override {
        range = r;
        if (r.find("3-1") != std::string::npos) throw tk_exception("Invalid page range", tk_level_error);
    }
    bool graph_tab() const override { return tables; }
    void set_graph_tab(bool on) override { tables = on; }
    bool open_on_exit() const override { return open_exit; }
    void set_open_on_exit(bool on) override { open_exit = on; }

    void check_source(const std::string&, const std::string& password) override {
        if (password != right_password) throw tk_exception("Incorrect password", tk_level_error);
    }
    void check_destination(const std::string&) override {
        if (dest_unusable) throw tk_exception("Destination is a folder", tk_level_error);
    }
    bool load_profile_file(const std::string&) override {
        if (profile_bad) throw tk_exception("Invalid page range", tk_level_error);
        return !profile_none;
    }
    bool store_profile_file(const std::string& path) override {
        stored_profile = path;
        return store_ok;
    }

    // Lets the run convert n more pages.
    void release(int n) {
        {
            std::lock_guard<std::mutex> lock(m_);
            budget_ += n;
        }
        cv_.notify_all();
    }

    void run() override {
        count_ = total_pages;
        for (int page = 0; page < total_pages; ++page) {
            std::unique_lock<std::mutex> lock(m_);
            cv_.wait(lock, [&] { return budget_ > 0 || stop_; });
            if (stop_) return;  // stopped: no workbook
            --budget_;
            lock.unlock();
            if (page == warn_at) {
                error_handler::instance().handle(tk_exception("Page too large", tk_level_warning), 1);
                std::lock_guard<std::mutex> again(m_);
                if (stop_) return;
            }
            if (page == fail_after) {
                error_handler::instance().handle(tk_exception("Damaged page", tk_level_error), 1);
                return;
            }
            done_ = page + 1;
        }
        {
            // The workbook waits while it is held back, and a stop then writes none.
            std::unique_lock<std::mutex> lock(m_);
            at_result_ = true;
            cv_.notify_all();
            cv_.wait(lock, [&] { return !held_ || stop_; });
            if (stop_) return;
            std::ofstream(dest) << "workbook";
        }
        ok_ = true;
    }
    void hold_result() override {
        std::lock_guard<std::mutex> lock(m_);
        held_ = true;
    }
    void release_result() override {
        {
            std::lock_guard<std::mutex> lock(m_);
            held_ = false;
        }
        cv_.notify_all();
    }
    // Whether run has come to writing its workbook.
    bool at_result() {
        std::lock_guard<std::mutex> lock(m_);
        return at_result_;
    }
    void request_stop() override {
        {
            std::lock_guard<std::mutex> lock(m_);
            stop_ = true;
        }
        cv_.notify_all();
    }
    long pages_done() const override { return done_; }
    long page_count() const override { return count_; }
    double get_percent() const override {
        const long c = count_, d = done_;
        return c == 0 ? 0.0 : static_cast<double>(static_cast<unsigned long>(d) * 100 / c);
    }
    bool succeeded() const override { return ok_; }
    bool stopped() const override {
        std::lock_guard<std::mutex> lock(m_);
        return stop_;
    }

private:
    mutable std::mutex m_;
    std::condition_variable cv_;
    int budget_ = 0;
    bool stop_ = false;
    bool held_ = false;
    bool at_result_ = false;
    std::atomic<long> done_{0}, count_{0};
    std::atomic<bool> ok_{false};
};
