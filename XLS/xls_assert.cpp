#include "XLS/xls_assert.h"

namespace xls_core {

xls_assert_reporter xls_assert_hook = &xls_default_assert_reporter;

std::string xls_assertion_text(const char* expr, const char* file, int line, const char* func)
{
    std::string m = "Assertion failed: ";
    m += expr ? expr : "???";
    m += " at line ";
    m += std::to_string(line);
    if (func) {
        m += " (";
        m += func;
        m += ")";
    }
    if (file) {
        m += " in ";
        m += file;
    } else {
        m += " in [unidentified source file]";
    }
    return m;
}

void xls_assert_dispatch(const char* expr, const char* file, int line, const char* func)
{
    if (xls_assert_hook)
        xls_assert_hook(expr, file, line, func);
}

void xls_default_assert_reporter(const char* expr, const char* file, int line, const char* func)
{
    throw xls_assertion(xls_assertion_text(expr, file, line, func));
}

}  // namespace xls_core
