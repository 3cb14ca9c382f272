#include "tabrixa/PageWarning.h"

#include <cstdio>

#include "TK/tk_errh.h"
#include "TK/tk_except.h"
#include "TK/tk_log.h"

namespace tbx {

void warnAboutPage(const std::string& text) {
    tk_exception warning(text, tk_level_warning);
    tk_log::write(3, "%s", warning.what());
    if (error_handler* h = error_handler::find()) h->handle(warning, 1);
    else std::fprintf(stderr, "%s\n", warning.what());
}

std::string pageName(int page) { return "Page " + std::to_string(page); }

}  // namespace tbx
