// The conversion as the wizard's pages see it: the settings they show and
// change, the checks of the file page, profiles, and the run on the worker
// thread with its progress counters. The program wraps the converter in it;
// the tests use a scripted job.
#pragma once

#include <string>

#include "TK/tk_singl.h"

class wiz_job : public tk_singleton<wiz_job> {
public:
    ~wiz_job() override;

    virtual std::string source() const = 0;
    virtual void set_source(const std::string& path) = 0;
    virtual std::string destination() const = 0;
    virtual void set_destination(const std::string& path) = 0;
    virtual std::string password() const = 0;
    virtual void set_password(const std::string& password) = 0;
    virtual std::string page_range() const = 0;
    // Throws tk_exception "Invalid page range" (level 1) for a bad list.
    virtual void set_page_range(const std::string& range) = 0;
    virtual bool graph_tab() const = 0;
    virtual void set_graph_tab(bool on) = 0;
    virtual bool open_on_exit() const = 0;
    virtual void set_open_on_exit(bool on) = 0;

    // Test open of the PDF with the password; throws tk_exception.
    virtual void check_source(const std::string& path, const std::string& password) = 0;
    // Whether the destination is usable; throws tk_exception.
    virtual void check_destination(const std::string& path) = 0;

    // Throws for a missing profile or a bad page list in it.
    virtual bool load_profile_file(const std::string& path) = 0;
    // False when the profile could not be written.
    virtual bool store_profile_file(const std::string& path) = 0;

    // Worker thread. Returns when done, failed or stopped; errors go to the
    // error handler.
    virtual void run() = 0;
    // Any thread: asks run to stop as soon as it can, leaving no workbook.
    virtual void request_stop() = 0;
    // Any thread: holds the run's result back (no workbook is written or
    // replaced) until release_result or request_stop; returns once no
    // workbook is being written.
    virtual void hold_result() = 0;
    virtual void release_result() = 0;
    // Read on the interface thread while run works.
    virtual long pages_done() const = 0;
    virtual long page_count() const = 0;
    virtual double get_percent() const = 0;
    // After run: whether the workbook was written.
    virtual bool succeeded() const = 0;
    // Whether a stop was asked for (Abort on a warning): the run then ends
    // without its workbook.
    virtual bool stopped() const = 0;
};
