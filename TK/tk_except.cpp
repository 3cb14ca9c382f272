#include "TK/tk_except.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "TK/tk_log.h"
#include "TK/tk_texts.h"

tk_exception::tk_exception(const std::string& message, int level)
    : message_(message.empty() ? tk_text(tk_txt_unknown_exception) : message), level_(level) {}

namespace {
std::string assertion_message(const char* source, int line) {
    char location[276];
    std::snprintf(location, sizeof location, "%s\\%d", source ? source : "", line);
    static const char digits[] = "0123456789abcdef";
    std::string text = tk_text(tk_txt_internal_error);
    for (const char* p = location; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        text += digits[c >> 4];
        text += digits[c & 15];
    }
    return text;
}
}  // namespace

tk_mail_assertion::tk_mail_assertion(const char* source, int line)
    : tk_exception(assertion_message(source, line), tk_level_internal) {
    tk_log::write(2, "tk_mail_assertion::ctor(%s)", source ? source : "");
}

tk_final_exception::tk_final_exception() { tk_log::write(2, "tk_final_exception::ctor"); }

tk_exception_ex::tk_exception_ex() : tk_exception(tk_text(tk_txt_unknown_exception), tk_level_error) {
    int err = errno;
    code_ = err;
    if (err != 0) {
        message_ = std::strerror(err);
        tk_log::write(2, "GetLastError: %s", message_.c_str());
    }
}
