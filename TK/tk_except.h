// Exceptions of the system: a message, a code and a level that the error
// handler acts on.
#pragma once

#include <exception>
#include <string>

enum tk_error_level {
    tk_level_warning = 0,   // the job may go on
    tk_level_error = 1,     // ends the current job
    tk_level_internal = 2,  // internal error
};

class tk_exception : public std::exception {
public:
    tk_exception(const std::string& message, int level);
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const { return message_; }
    int code() const { return code_; }
    int level() const { return level_; }

protected:
    std::string message_;
    int code_ = 0;
    int level_ = 0;
};

// Internal error: "Internal error: \ncode=" and the hex digits of "<source>\<line>".
// Callers pass the stem of their source file and the line of the check.
class tk_mail_assertion : public tk_exception {
public:
    tk_mail_assertion(const char* source, int line);
};

// Ends a job whose error has already been reported.
class tk_final_exception : public std::exception {
public:
    tk_final_exception();
    const char* what() const noexcept override { return ""; }
};

// A level-1 error carrying the system's last error number and its text.
class tk_exception_ex : public tk_exception {
public:
    tk_exception_ex();
};
