// The toolkit's fixed user texts, kept in one table.
#pragma once

#include <string>

enum tk_text_id {
    tk_txt_usage,             // printf format: major and minor version
    tk_txt_no_source,
    tk_txt_source_missing,
    tk_txt_source_too_long,
    tk_txt_source_folder,
    tk_txt_source_special,
    tk_txt_source_unreadable,
    tk_txt_source_loop,
    tk_txt_logfile_read_only,
    tk_txt_logfile_path,
    tk_txt_logfile_not_file,
    tk_txt_profile_missing,
    // The profile texts below are printf formats of the profile's path.
    tk_txt_profile_no_section,
    tk_txt_profile_too_large,
    tk_txt_profile_folder,
    tk_txt_profile_special,
    tk_txt_profile_unreadable,
    tk_txt_profile_loop,
    tk_txt_unknown_exception,
    tk_txt_internal_error,
    tk_txt_generic_section,
    tk_txt_key_src,
    tk_txt_key_dest,
    tk_txt_key_logfile,
    tk_txt_count
};

const char* tk_text(tk_text_id id);
// A text whose one "%s" is filled with the argument.
std::string tk_text(tk_text_id id, const std::string& arg);

// Version shown by the usage text.
constexpr int tk_version_major = 2;
constexpr int tk_version_minor = 5;
