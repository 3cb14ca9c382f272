#include "TK/tk_conv.h"

#include <chrono>
#include <thread>

#include "TK/tk_except.h"
#include "TK/tk_log.h"
#include "TK/tk_prof.h"
#include "TK/tk_texts.h"
#include "TK/tk_utils.h"

tk_thread_functor::~tk_thread_functor() = default;

void tk_thread_functor::run() {
    while (!is_done()) {
        if (stop_requested()) return;
        step();
    }
    finish();
}

void tk_thread_functor::request_stop() {
    {
        std::lock_guard<std::mutex> lock(result_mutex_);
        stop_.store(true);
    }
    result_cv_.notify_all();
}

void tk_thread_functor::hold_result() {
    std::unique_lock<std::mutex> lock(result_mutex_);
    held_ = true;
    result_cv_.wait(lock, [&] { return !writing_; });
}

void tk_thread_functor::release_result() {
    {
        std::lock_guard<std::mutex> lock(result_mutex_);
        held_ = false;
    }
    result_cv_.notify_all();
}

bool tk_thread_functor::begin_result() {
    std::unique_lock<std::mutex> lock(result_mutex_);
    result_cv_.wait(lock, [&] { return !held_ || stop_.load(); });
    if (stop_.load()) return false;
    writing_ = true;
    return true;
}

void tk_thread_functor::end_result() {
    {
        std::lock_guard<std::mutex> lock(result_mutex_);
        writing_ = false;
    }
    result_cv_.notify_all();
}

bool tk_thread_functor::is_done() { return false; }

void tk_thread_functor::step() { std::this_thread::sleep_for(std::chrono::milliseconds(100)); }

void tk_thread_functor::finish() {}

tk_converter::tk_converter() { tk_log::write(2, "tk_converter::ctor"); }

tk_converter::~tk_converter() = default;

bool tk_converter::load_profile(const tk_profile& profile) {
    tk_log::write(1, "tk_converter::load_profile");
    check_profile(profile);
    take_profile(profile);
    return true;
}

void tk_converter::take_profile(const tk_profile& profile) {
    const std::string section = tk_text(tk_txt_generic_section);
    std::string value = profile.get_value(section, tk_text(tk_txt_key_src));
    if (!value.empty()) source = value;
    value = profile.get_value(section, tk_text(tk_txt_key_dest));
    if (!value.empty()) destination = value;
    value = profile.get_value(section, tk_text(tk_txt_key_logfile));
    if (!value.empty()) use_logfile(value);
}

void tk_converter::check_profile(const tk_profile& profile) {
    check_logfile(profile.get_value(tk_text(tk_txt_generic_section), tk_text(tk_txt_key_logfile)));
}

std::vector<std::string> tk_converter::profile_keys() const {
    return {tk_text(tk_txt_key_src), tk_text(tk_txt_key_dest), tk_text(tk_txt_key_logfile)};
}

void tk_converter::read_settings_file(tk_profile& profile, const std::string& path) const {
    // A file that sets nothing (empty, comments only, another program's
    // sections, a document) would otherwise convert as if no profile were
    // given: the default destination would be overwritten without a word.
    const std::string section = tk_text(tk_txt_generic_section);
    if (profile.load(path))
        for (const std::string& key : profile_keys())
            if (!profile.get_value(section, key).empty()) return;
    throw tk_exception(tk_text(tk_txt_profile_no_section, path), tk_level_error);
}

bool tk_converter::store_profile(tk_profile& profile) {
    tk_log::write(2, "tk_converter::store_profile");
    const std::string section = tk_text(tk_txt_generic_section);
    // Full paths: a profile is used from other folders than the one it was saved in.
    profile.set_value(section, tk_text(tk_txt_key_src), tk_full_path(source));
    profile.set_value(section, tk_text(tk_txt_key_dest), tk_full_path(destination));
    profile.set_value(section, tk_text(tk_txt_key_logfile), tk_full_path(log_file));
    return true;
}

void tk_converter::check_logfile(const std::string& path) {
    if (!path.empty())
        tk_check_writable_file(path, tk_text(tk_txt_logfile_read_only), tk_text(tk_txt_logfile_path),
                               tk_text(tk_txt_logfile_not_file));
}

void tk_converter::set_logfile(const std::string& path) {
    tk_log::write(1, "tk_convertor::set_logfile(%s)", path.c_str());
    check_logfile(path);
    use_logfile(path);
}

void tk_converter::use_logfile(const std::string& path) {
    log_file = path;
    if (path.empty()) return;
    // Neither program creates the log; without an instance the name is only kept.
    if (tk_log* log = tk_log::find()) {
        log->set_name(path.c_str());
        log->set_enabled(true);
    }
}
