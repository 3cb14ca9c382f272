#include "GUI2/g_wiz_sh.h"

#include <cstdio>

#include "GUI2/g_wiz_pg.h"
#include "GUI2/wiz_ui.h"
#include "TK/tk_log.h"
#include "platform/plat_files.h"

wizard_shell::wizard_shell(const std::string& title, int icon_id, int watermark_id, int header_id)
    : title_(title), icon_id_(icon_id), watermark_id_(watermark_id), header_id_(header_id) {
    tk_log::write(1, "wizard_shell::ctor(%s)", title.c_str());
}

wizard_shell::~wizard_shell() {
    tk_log::write(1, "wizard_shell::dtor");
    initialized_ = false;
    stop_timer();
}

bool wizard_shell::is_initialized() {
    tk_log::write(1, "wizard_shell::is_initialized");
    wizard_shell* shell = find();
    if (!shell) {
        tk_log::write(1, "Before return false");
        return false;
    }
    tk_log::write(1, "Singleton has been initialized");
    return shell->initialized_;
}

void wizard_shell::init_window() {
    if (initialized_) return;
    if (wiz_ui* ui = wiz_ui::find()) {
        ui->set_title(title_);
        if (icon_id_ != 0) ui->set_icon(icon_id_);
    }
    initialized_ = true;
}

int wizard_shell::picture_of(const wizard_page& page) const {
    return (page.flags() & wiz_page_hide_header) ? watermark_id_ : header_id_;
}

void wizard_shell::start_timer(int period_ms) {
    if (timer_running_) throw tk_mail_assertion("g_wiz_sh", 249);
    wiz_ui* ui = wiz_ui::find();
    if (!ui || !ui->start_timer(timer_id, period_ms)) throw tk_mail_assertion("g_wiz_sh", 257);
    timer_running_ = true;
}

void wizard_shell::stop_timer() {
    if (!timer_running_) return;
    if (wiz_ui* ui = wiz_ui::find()) ui->stop_timer(timer_id);
    timer_running_ = false;
}

void wizard_shell::on_timer(int id) {
    if (id != timer_id) return;
    if (current_page_) current_page_->on_timer(id);
}

std::string wizard_shell::caption(const char* suffix, const char* alone) {
    if (is_initialized()) return instance().title_ + suffix;
    return alone;
}

void wizard_shell::show_box(bool is_error, const std::string& text) {
    const std::string cap = is_error ? caption(" Error", "Error") : caption(" Message", "Message");
    if (wiz_ui* ui = wiz_ui::find()) {
        ui->call_on_ui([&] {
            if (is_error) ui->show_error(cap, text);
            else ui->show_message(cap, text);
        });
    } else {
        // No window library (it could not start): the terminal is all there is.
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    tk_log::write(3, "%s", text.c_str());
}

void wizard_shell::error(const std::string& text) {
    tk_log::write(1, "wizard_shell::error(%s)", text.c_str());
    show_box(true, text);
}

void wizard_shell::message(const std::string& text) {
    tk_log::write(1, "wizard_shell::message(%s)", text.c_str());
    show_box(false, text);
}

bool wizard_shell::question(const std::string& text) {
    const std::string cap = caption(" Question", "Question");
    return wiz_call<bool>([&](wiz_ui& ui) { return ui.ask(cap, text); }, false);
}

std::string wizard_shell::help_folder() {
    std::string drive, folder, name, ext;
    plat_split_path(plat_program_path(), drive, folder, name, ext);
    return folder + name + "-help";
}

void wizard_shell::open_help(const std::string& file) {
    const std::string path = help_folder() + "/" + file;
    if (!plat_file_can_open(path, false)) {
        error("Help file does not exist. Reinstall the program.");
        return;
    }
    open_external(path);
}

void wizard_shell::open_external(const std::string& target) {
    wiz_ui* ui = wiz_ui::find();
    if (ui && ui->open_document(target)) return;
    error(no_program_text(target));
}

std::string wizard_shell::no_program_text(const std::string& target) {
    return "No program was found to open " + target + ".";
}

void wizard_shell::display_help() {
    tk_log::write(1, "wizard_shell::display_help");
    open_help("index.html");
}

void wizard_shell::display_help(int topic) {
    tk_log::write(1, "wizard_shell::display_help(%d)", topic);
    open_help(std::to_string(topic) + ".html");
}

void wizard_shell::enable_button(int id, bool enable) {
    tk_log::write(2, "wizard_shell::enable_button(%08X)", static_cast<unsigned>(id));
    if (wiz_ui* ui = wiz_ui::find()) ui->enable_button(id, enable);
}

void wizard_shell::add_page(wizard_page* page) { pages_.push_back(page); }

bool wizard_shell::add_error(const std::string& text) {
    std::lock_guard<std::mutex> lock(errors_mutex_);
    if (errors_.size() >= max_errors) return false;
    errors_.push_back(text);
    return true;
}

std::vector<std::string> wizard_shell::errors() const {
    std::lock_guard<std::mutex> lock(errors_mutex_);
    return errors_;
}
