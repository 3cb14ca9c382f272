// The wizard's file choices: starting folder and name from the path in the
// page's field, and for saving the wanted extension on the chosen name.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "GUI2/wiz_ui.h"

using wiz_filter = std::vector<std::pair<std::string, std::string>>;

// Filters of the four choices.
wiz_filter wiz_pdf_filter();
wiz_filter wiz_xls_filter();
// Built from "Profile Files (.%s)|*.%s|All Files (*.*)|*.*|"; the extension
// must have 3 or 4 characters (else an internal error with the given line).
wiz_filter wiz_profile_filter(const std::string& ext, int assert_line);
// File-name patterns are case-sensitive here: "*.pdf" also takes "*.PDF",
// and "*.*" means every file.
std::string wiz_dialog_pattern(const std::string& pattern);

class file_dialog {
public:
    file_dialog(const wiz_filter& filter, const std::string& title, const std::string& initial_path);
    virtual ~file_dialog();
    virtual bool show() = 0;
    const std::string& get_file_name() const { return file_name_; }
    const wiz_file_request& request() const { return request_; }

protected:
    wiz_file_request request_;
    std::string file_name_;
};

class open_file_dialog : public file_dialog {
public:
    using file_dialog::file_dialog;
    bool show() override;
};

class save_file_dialog : public file_dialog {
public:
    save_file_dialog(const wiz_filter& filter, const std::string& title, const std::string& initial_path,
                     const char* ext);
    bool show() override;

private:
    std::string ext_;
};

// The extension rule of saving: ext (with its '.') is appended unless the
// file name (not its folders) already holds it somewhere.
std::string wiz_add_extension(const std::string& path, const std::string& ext);
