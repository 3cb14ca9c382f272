// The toolkit's fixed user texts, kept in one table.
#pragma once

enum tk_text_id {
    tk_txt_usage,             // printf format: major and minor version
    tk_txt_no_source,
    tk_txt_source_missing,
    tk_txt_source_too_long,
    tk_txt_logfile_read_only,
    tk_txt_logfile_path,
    tk_txt_profile_missing,
    tk_txt_profile_no_section,
    tk_txt_profile_too_large,
    tk_txt_unknown_exception,
    tk_txt_internal_error,
    tk_txt_generic_section,
    tk_txt_key_src,
    tk_txt_key_dest,
    tk_txt_key_logfile,
    tk_txt_count
};

const char* tk_text(tk_text_id id);

// Version shown by the usage text.
constexpr int tk_version_major = 2;
constexpr int tk_version_minor = 5;
