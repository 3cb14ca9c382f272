// The frame of the wizard: the single instance through which pages, the
// converter's job and the error handler reach the window, the owner of the
// progress timer, the boxes, the help pages and the list of collected errors.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "TK/tk_singl.h"

class wizard_page;

class wizard_shell : public tk_singleton<wizard_shell> {
public:
    static constexpr int timer_id = 0x10000;
    static constexpr std::size_t max_errors = 20;

    // The ids name the window icon and the pictures beside the pages
    // (wiz_art_*); 0 for none.
    explicit wizard_shell(const std::string& title, int icon_id = 0, int watermark_id = 0, int header_id = 0);
    ~wizard_shell() override;

    static bool is_initialized();
    // First activation: the window title and icon; from now on boxes carry the title.
    void init_window();

    // Interface thread only (the progress page starts it when it activates).
    void start_timer(int period_ms);
    void stop_timer();
    // The sheet's timer: forwarded to the current page.
    void on_timer(int id);

    // Boxes; safe from any thread (a worker's call waits for the interface
    // thread, and gets the default answer once the window is closing).
    static void error(const std::string& text);
    static void message(const std::string& text);
    // Yes/No, No being the default; false on No or when no answer can be had.
    static bool question(const std::string& text);

    // The help pages beside the program: the index, or a topic page.
    void display_help();
    void display_help(int topic);
    // Where the help pages are looked for: <program folder>/<program>-help.
    static std::string help_folder();
    // A box caption: "<title><suffix>" once the window is set up, else alone.
    static std::string caption(const char* suffix, const char* alone);

    void enable_button(int id, bool enable);

    // Pages in sheet order; the shell does not own them.
    void add_page(wizard_page* page);
    const std::vector<wizard_page*>& pages() const { return pages_; }
    void set_current_page(wizard_page* page) { current_page_ = page; }
    wizard_page* current_page() const { return current_page_; }

    const std::string& title() const { return title_; }
    // The profile loaded or saved last; the profile dialogs start in its folder.
    const std::string& last_profile() const { return last_profile_; }
    void set_last_profile(const std::string& path) { last_profile_ = path; }
    // Hands a file or link to the desktop; says so in a box when nothing opened it.
    void open_external(const std::string& target);
    // "No program was found to open <target>."
    static std::string no_program_text(const std::string& target);
    // The picture of a page: the watermark beside pages without a header
    // (welcome, finish), the header picture on the others.
    int picture_of(const wizard_page& page) const;
    int watermark_id() const { return watermark_id_; }

    // The error list: appended from any thread, at most max_errors texts of
    // one line each (the error handler makes them so). Returns whether the
    // text was listed.
    bool add_error(const std::string& text);
    std::vector<std::string> errors() const;

private:
    static void show_box(bool is_error, const std::string& text);
    void open_help(const std::string& file);

    std::string title_;
    std::string last_profile_;
    int icon_id_;
    int watermark_id_;
    int header_id_;
    bool timer_running_ = false;
    wizard_page* current_page_ = nullptr;
    std::atomic<bool> initialized_{false};
    std::vector<wizard_page*> pages_;
    mutable std::mutex errors_mutex_;
    std::vector<std::string> errors_;
};
