// The five pages of the wizard.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "GUI2/g_wiz_pg.h"

// Dialog ids of the pages.
enum : int {
    wiz_welcome_id = 103,
    wiz_files_id = 104,
    wiz_progress_id = 105,
    wiz_settings_id = 107,
    wiz_finish_id = 126,
};

// Proposes a destination: keep gives name unchanged; else the old
// destination's folder, or without one the user's documents folder, with the
// name part of name and the extension ext.
std::string common_make_dest(const std::string& old_dest, const std::string& name, const std::string& ext,
                             bool keep);

// "The file <path> is not a settings file."
std::string wiz_not_settings_text(const std::string& path);
// Where the profile dialogs start: the folder of the last profile, else home.
std::string wiz_profile_start();

class welcome_page : public wizard_page {
public:
    enum { id_title = 1337, id_load = 1115, id_link = 1320 };
    welcome_page();
    void set_profile_ext(const std::string& ext) { profile_ext_ = ext; }
    bool page_init() override;
    // The overview, which is the welcome page's topic.
    void on_help() override;
    void on_command(int ctrl, wiz_notify code) override;
    // "&Load Settings...": a profile into the converter. A bad profile is
    // shown in an error box and the page stays.
    void on_load();

private:
    std::string profile_ext_ = "tbx";
};

class sel_file_page : public wizard_page {
public:
    enum { id_source = 1003, id_dest = 1004, id_password = 1005, id_browse_dest = 1104, id_browse_src = 1107,
           id_use_password = 1222 };
    sel_file_page();
    bool page_init() override;
    int on_next() override;
    int on_back() override;
    void on_help() override;
    void on_command(int ctrl, wiz_notify code) override;
    void store();
    void make_dest(const std::string& source);

private:
    // Leaving the source field proposes a destination into an empty field,
    // or for a source text not proposed for yet while the field still holds
    // the last proposal: a typed or chosen destination stays.
    void on_source_left();
    void on_checkbox();
    void on_browse_src();
    void on_browse_dest();
    std::string proposed_for_;   // the source text of the last proposal (or as loaded)
    std::string proposed_dest_;  // the last proposal (or as loaded); empty once one was chosen
    std::string stored_dest_;    // the destination this page handed to the job last
};

class settings_page : public wizard_page {
public:
    enum { id_pages = 1003, id_tables = 1202, id_all = 1329, id_list = 1330 };
    settings_page();
    bool page_init() override;
    int on_next() override;
    int on_back() override;
    void on_help() override;
    void on_command(int ctrl, wiz_notify code) override;
    void store();

private:
    // Stores the settings; -1 (staying) after a box that says what is wrong.
    int leave();
};

// Runs the conversion on a worker thread and shows its progress; moves to the
// finish page once the worker has ended. Cancelling stops and joins it.
class progress_page : public wizard_page {
public:
    enum { id_bar = 1321, id_line = 1323 };
    static constexpr int tick_ms = 200;
    progress_page();
    ~progress_page() override;
    bool page_init() override;
    void on_timer(int timer) override;
    void on_help() override;
    bool on_cancel() override;
    // Stops the worker (if any) and waits for it; the interface must not be
    // waited for any more, so boxes of the worker get their default answers.
    void stop_worker();
    bool worker_finished() const { return state_.load() == finished; }

private:
    enum state { idle, running, finished };
    void worker_entry();
    std::thread worker_;
    std::atomic<int> state_{idle};
    bool asking_ = false;
};

class gui_finish_page_ex : public wizard_page {
public:
    enum { id_title = 1313, id_text = 1314, id_errors = 1016, id_hint = 1320, id_open = 1225, id_save = 1116 };
    gui_finish_page_ex(const std::string& success, const std::string& hint, const std::string& errors);
    void set_profile_ext(const std::string& ext) { profile_ext_ = ext; }
    bool page_init() override;
    bool on_finish() override;
    // The close box: as Finish.
    bool on_cancel() override;
    void on_command(int ctrl, wiz_notify code) override;
    // "&Save Settings...": the settings into a profile, written as workbooks
    // are; an existing file only after the replace question.
    void on_store();

private:
    void on_eb_focus();
    bool first_focus_ = true;
    std::string success_;
    std::string errors_text_;
    std::string hint_;
    std::string profile_ext_ = "*";
};
