// A unit of long-running work and the base of every conversion job.
#pragma once

#include <atomic>
#include <string>

class tk_profile;

// A unit of work: run steps until done, then finish. The stop flag lets the
// owner of a worker thread end the work between steps (there is no safe way
// to kill a thread from outside).
class tk_thread_functor {
public:
    virtual ~tk_thread_functor();
    // step until is_done (or a stop request), then finish; a stopped run does not finish.
    virtual void run();
    virtual bool is_done();
    // Sleeps 100 ms.
    virtual void step();
    virtual void finish();

    void request_stop() { stop_.store(true); }
    bool stop_requested() const { return stop_.load(); }
    void clear_stop() { stop_.store(false); }

private:
    std::atomic<bool> stop_{false};
};

class tk_converter : public tk_thread_functor {
public:
    tk_converter();
    ~tk_converter() override;

    // "src", "dest" and "logfile" of the section "Generic settings", each when
    // not empty. Checked first: a refused profile changes nothing.
    virtual bool load_profile(const tk_profile& profile);
    // Throws what taking the profile's own keys would throw (the log file's path).
    static void check_profile(const tk_profile& profile);
    // Sets "src", "dest" and "logfile" (empty values included).
    virtual bool store_profile(tk_profile& profile);
    // Checks the log file's path (level-1 errors) and keeps it; hands it to
    // the log when a log instance exists.
    void set_logfile(const std::string& path);
    static void check_logfile(const std::string& path);

    std::string source;
    std::string destination;
    std::string log_file;

protected:
    // Takes "src", "dest" and "logfile" from a profile that check_profile
    // has passed, without checking again.
    void take_profile(const tk_profile& profile);

private:
    // Keeps a checked log file's path.
    void use_logfile(const std::string& path);
};
