// A unit of long-running work and the base of every conversion job.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

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

    // Also ends a wait in begin_result.
    void request_stop();
    bool stop_requested() const { return stop_.load(); }
    void clear_stop() { stop_.store(false); }

    // The owner may hold the result back while it decides whether to stop
    // (a question to the user): hold_result returns once no result is being
    // written, and until release_result the work waits in begin_result.
    void hold_result();
    void release_result();
    // The work, right before it writes its result: true when it may write it
    // now (then end_result afterwards), false once a stop was requested.
    bool begin_result();
    void end_result();

private:
    std::atomic<bool> stop_{false};
    std::mutex result_mutex_;
    std::condition_variable result_cv_;
    bool held_ = false;
    bool writing_ = false;
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
    // What makes a file a settings file, for every program alike: it loads
    // (tk_profile::load) and sets at least one of profile_keys() of
    // "Generic settings" to a value. Anything else throws tk_exception
    // level 1 naming the file.
    void read_settings_file(tk_profile& profile, const std::string& path) const;
    // The keys of "Generic settings" the converter takes.
    virtual std::vector<std::string> profile_keys() const;
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
