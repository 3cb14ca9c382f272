#include "PDFR/pdf_jpeg.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdio>

#include <Error.h>
#include <jpeglib.h>

namespace {
std::atomic<bool> routing{false};

void to_core(j_common_ptr info) {
    char text[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, text);
    error(errSyntaxWarning, -1, "{0:s}", text);
}

using std_error = jpeg_error_mgr* (*)(jpeg_error_mgr*);
}  // namespace

void pdf_route_jpeg_messages() { routing = true; }

// The core sets up every decoder's error manager through this call, and sets
// its own exit but not the output of messages: this definition comes before
// libjpeg's (the program's symbols are looked up first), fills the manager
// through libjpeg's, then replaces the output.
extern "C" jpeg_error_mgr* jpeg_std_error(jpeg_error_mgr* err) {
    static const std_error real = [] {
        void* f = dlvsym(RTLD_NEXT, "jpeg_std_error", "LIBJPEG_6.2");
        return reinterpret_cast<std_error>(f ? f : dlsym(RTLD_NEXT, "jpeg_std_error"));
    }();
    if (!real) return err;
    jpeg_error_mgr* got = real(err);
    if (got && routing) got->output_message = &to_core;
    return got;
}
