// The process-wide error handler: turns a caught exception into output and
// decides whether the process goes on. This is the console form; the wizard
// derives its own form and registers it through the same single instance.
#pragma once

#include <exception>
#include <map>
#include <string>

#include "TK/tk_except.h"
#include "TK/tk_singl.h"

// Error code -> message text. Empty in this system, so every lookup misses.
class tk_error_converter {
public:
    tk_error_converter();
    std::string convert(int code) const;
    void add(int code, const std::string& text) { table_[static_cast<unsigned>(code)] = text; }

private:
    std::map<unsigned, std::string> table_;
};

class error_handler : public tk_singleton<error_handler> {
public:
    error_handler();
    ~error_handler() override;

    // Reports the exception. Console form: returns only for level 0; level 1
    // and 2 end the process with exit code -1. in_job is 0 from a program's
    // main and 1 from a job's run.
    virtual void handle(const tk_exception& e, int in_job);
    // A standard exception caught by a job's run. Console form: its text on
    // the standard error stream, then exit code -1.
    virtual void handle_standard(const std::exception& e, int in_job);
    // What the console form prints for a report of level 0 or 1: "Warning:"
    // or "Error:", then the text with its line ends as blanks, each ended by a line end.
    static std::string console_lines(const std::string& text, int level);

    const std::string& prefix() const { return prefix_; }
    void set_prefix(const std::string& p) { prefix_ = p; }
    bool quiet() const { return quiet_; }
    void set_quiet(bool q) { quiet_ = q; }

    // Flushes the standard streams and ends the process.
    [[noreturn]] static void exit_process(int code);

protected:
    // The report text of levels 0 and 1: prefix, table text or what(),
    // line feeds turned into blanks.
    std::string report_text(const tk_exception& e) const;

    std::string prefix_;
    bool quiet_ = false;
    tk_error_converter converter_;
};

// Inside a catch (...): the exception in flight as an internal error. Plain
// texts (const char*, std::string), which the workbook writer throws, keep
// their words; anything else becomes an assertion of the given source and line.
tk_exception tk_current_as_internal_error(const char* source, int line);
// Inside a catch: hands the exception in flight to the error handler (its text
// on the standard error stream when there is none). A tk_final_exception was
// reported already and is dropped; anything that is neither a tk_exception nor
// a standard exception goes as tk_current_as_internal_error(source, line).
void tk_report_current(int in_job, const char* source, int line);
