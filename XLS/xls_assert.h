// Internal checks of the workbook writer go through one replaceable hook; the
// default reporter throws xls_assertion.
#pragma once

#include <exception>
#include <string>

namespace xls_core {

// What a failed internal check of the writer throws: "Assertion failed: <expr>
// at line <n> (<function>) in <file>".
class xls_assertion : public std::exception {
public:
    explicit xls_assertion(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

using xls_assert_reporter = void (*)(const char* expr, const char* file, int line, const char* func);

// The reporter in use; null silences every check.
extern xls_assert_reporter xls_assert_hook;

void xls_assert_dispatch(const char* expr, const char* file, int line, const char* func);
[[noreturn]] void xls_default_assert_reporter(const char* expr, const char* file, int line, const char* func);
// The message text of a failed check.
std::string xls_assertion_text(const char* expr, const char* file, int line, const char* func);

// Source texts that the checks name.
constexpr const char* xls_src_unit = "../../XLS/unit";
constexpr const char* xls_src_extformat = "../../XLS/extformat";
constexpr const char* xls_src_globalrec = "../../XLS/globalrec";

}  // namespace xls_core
