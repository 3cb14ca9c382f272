#include "GUI2/g_f_dlg.h"

#include "TK/tk_except.h"
#include "TK/tk_utils.h"
#include "platform/plat_files.h"

wiz_filter wiz_pdf_filter() { return {{"PDF Files (.pdf)", "*.pdf"}, {"All Files (*.*)", "*.*"}}; }

wiz_filter wiz_xls_filter() { return {{"MS Excel Documents (.xls)", "*.xls"}, {"All Files (*.*)", "*.*"}}; }

wiz_filter wiz_profile_filter(const std::string& ext, int assert_line) {
    if (ext.size() < 3 || ext.size() > 4) throw tk_mail_assertion("g_finish", assert_line);
    return {{"Profile Files (." + ext + ")", "*." + ext}, {"All Files (*.*)", "*.*"}};
}

std::string wiz_dialog_pattern(const std::string& pattern) {
    if (pattern == "*.*") return "*";
    std::string upper = pattern, lower = pattern;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (upper == lower) return pattern;
    return lower + ";" + upper;
}

file_dialog::file_dialog(const wiz_filter& filter, const std::string& title, const std::string& initial_path) {
    request_.title = title;
    request_.filters = filter;
    // An empty field starts in the program's own folder with an empty name.
    std::string drive, folder, name, ext;
    plat_split_path(tk_full_path(initial_path.empty() ? plat_program_path() : initial_path), drive, folder, name, ext);
    request_.folder = drive + folder;
    request_.name = initial_path.empty() ? std::string() : name;
}

file_dialog::~file_dialog() = default;

bool open_file_dialog::show() {
    request_.save = false;
    // No name is no choice: an empty path would name the current folder.
    return wiz_ui::instance().choose_file(request_, file_name_) && !file_name_.empty();
}

save_file_dialog::save_file_dialog(const wiz_filter& filter, const std::string& title,
                                   const std::string& initial_path, const char* ext)
    : file_dialog(filter, title, initial_path) {
    if (!ext) throw tk_mail_assertion("g_f_dlg", 95);
    ext_ = ext;
    if (ext_.empty() || ext_[0] != '.') ext_ = "." + ext_;
}

bool save_file_dialog::show() {
    request_.save = true;
    if (!wiz_ui::instance().choose_file(request_, file_name_) || file_name_.empty()) return false;
    file_name_ = wiz_add_extension(file_name_, ext_);
    return true;
}

std::string wiz_add_extension(const std::string& path, const std::string& ext) {
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.find(ext) != std::string::npos) return path;
    return path + ext;
}
