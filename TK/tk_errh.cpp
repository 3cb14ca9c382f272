#include "TK/tk_errh.h"

#include <cstdio>
#include <cstdlib>

#include "TK/tk_log.h"

tk_error_converter::tk_error_converter() { tk_log::write(2, "tk_error_converter::empty ctor"); }

std::string tk_error_converter::convert(int code) const {
    tk_log::write(2, "tk_error_converter::convert(%d)", code);
    auto it = table_.find(static_cast<unsigned>(code));
    if (it == table_.end()) {
        tk_log::write(1, "Error message not found!");
        return std::string();
    }
    tk_log::write(1, "Error message has been found: %s", it->second.c_str());
    return it->second;
}

error_handler::error_handler() { tk_log::write(2, "error_handler::empty ctor"); }

error_handler::~error_handler() = default;

void error_handler::exit_process(int code) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::exit(code);
}

std::string error_handler::report_text(const tk_exception& e) const {
    std::string text;
    if (!prefix_.empty()) text = prefix_ + ": ";
    std::string table_text = converter_.convert(e.code());
    text += table_text.empty() ? std::string(e.what()) : table_text;
    return text;
}

void error_handler::handle(const tk_exception& e, int /*in_job*/) {
    tk_log::write(2, "error_handler::handle");
    if (e.level() == tk_level_internal) {
        tk_log::write(3, "Internal error:\n%s", e.what());
        std::printf("Internal error: %s\n", e.what());
        exit_process(-1);
    }
    const std::string text = report_text(e);
    tk_log::write(3, "Error:\n%s", text.c_str());
    if (!quiet_) {
        std::fputs(console_lines(text, e.level()).c_str(), stdout);
        // Out now: a process that the PDF core ends (out of memory) keeps what was said.
        std::fflush(stdout);
    }
    if (e.level() == tk_level_error) {
        tk_log::write(1, "Got 1-level error");
        exit_process(-1);
    }
    tk_log::write(1, "Got 0-level error");
}

std::string error_handler::console_lines(const std::string& text, int level) {
    // A warning leaves the run going (and its exit code 0): it is not called an error.
    std::string lines = level == tk_level_error ? "Error:\n" : "Warning:\n";
    for (char c : text) lines += c == '\n' ? ' ' : c;
    return lines + "\n";
}

void error_handler::handle_standard(const std::exception& e, int /*in_job*/) {
    tk_log::write(3, "ERROR:\n%s", e.what());
    std::fprintf(stderr, "%s\n", e.what());
    exit_process(-1);
}

tk_exception tk_current_as_internal_error(const char* source, int line) {
    try {
        throw;
    } catch (const char* text) {
        return tk_exception(text ? text : "", tk_level_internal);
    } catch (const std::string& text) {
        return tk_exception(text, tk_level_internal);
    } catch (const tk_exception& e) {
        return e;
    } catch (const std::exception& e) {
        return tk_exception(e.what(), tk_level_internal);
    } catch (...) {
    }
    return tk_mail_assertion(source, line);
}

void tk_report_current(int in_job, const char* source, int line) {
    error_handler* h = error_handler::find();
    try {
        throw;
    } catch (const tk_final_exception&) {
    } catch (const tk_exception& e) {
        if (h) h->handle(e, in_job);
        else std::fprintf(stderr, "%s\n", e.what());
    } catch (const std::exception& e) {
        if (h) h->handle_standard(e, in_job);
        else std::fprintf(stderr, "%s\n", e.what());
    } catch (...) {
        tk_exception e = tk_current_as_internal_error(source, line);
        if (h) h->handle(e, in_job);
        else std::fprintf(stderr, "%s\n", e.what());
    }
}
