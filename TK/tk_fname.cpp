#include "TK/tk_fname.h"

#include "TK/tk_except.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "platform/plat_files.h"

tk_file_name::tk_file_name(const char* text) {
    tk_log::write(1, "tk_file_name::ctor(%s)", text ? text : "[NULL]");
    initialize(text);
}

void tk_file_name::initialize(const char* text) {
    tk_log::write(1, "tk_file_name::initialize");
    if (!text) throw tk_mail_assertion("tk_fname", 32);
    std::string full;
    if (!*text) {
        full = tk_get_module_file_name();
    } else if (!plat_full_path(text, full)) {
        throw tk_mail_assertion("tk_fname", 40);
    }
    std::string split_name;
    plat_split_path(full, drive, path, split_name, ext);
    tk_log::write(1, "drive=%s, path=%s, name=%s, ext=%s", drive.c_str(), path.c_str(), split_name.c_str(),
                  ext.c_str());
    if (*text) name = split_name;
}

void tk_file_name::set_ext(const std::string& text) {
    if (!text.empty() && text[0] != '.') ext = "." + text;
    else ext = text;
}

std::string tk_file_name::get_full_path() const { return plat_make_path(drive, path, name, ext); }
