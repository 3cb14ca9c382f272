// Base of every wizard page: its controls, the button states posted when it
// becomes active, and the handlers the sheet calls. Results of on_next and
// on_back: 0 = go on, -1 = stay, a page id = go to that page.
#pragma once

#include <string>
#include <vector>

#include "GUI2/wiz_ui.h"

enum : unsigned {
    wiz_page_hide_header = 0x800,
    wiz_page_has_help = 0x20,
};

class wizard_page {
public:
    wizard_page(int dialog_id, unsigned buttons, unsigned flags);
    virtual ~wizard_page();
    wizard_page(const wizard_page&) = delete;
    wizard_page& operator=(const wizard_page&) = delete;

    int id() const { return id_; }
    unsigned flags() const { return flags_; }
    const std::vector<wiz_ctrl_desc>& controls() const { return controls_; }
    const std::string& header_title() const { return header_title_; }
    const std::string& header_subtitle() const { return header_subtitle_; }
    void set_header(const std::string& title, const std::string& subtitle);

    // Activation: posts the page's buttons, sets up the shell window, makes
    // this page current, then page_init. False refuses the activation.
    bool on_set_active();

    virtual bool page_init() { return true; }
    virtual bool on_finish() { return true; }
    virtual void on_help() {}
    virtual int on_next() { return 0; }
    virtual int on_back() { return 0; }
    // Asks "Are you sure you want to exit the wizard?"; true allows.
    virtual bool on_cancel();
    // A control of the page: click, focus lost or gained.
    virtual void on_command(int ctrl, wiz_notify code) { (void)ctrl; (void)code; }
    virtual void on_timer(int timer) { (void)timer; }

protected:
    void add_ctrl(int id, wiz_ctrl_kind kind, int x, int y, int w, int h, const std::string& text = std::string(),
                  bool hidden = false);
    // Enables or disables a control; an enabled one gets the focus.
    void enable_ctrl(int ctrl, bool enable);
    // The page's check boxes are plain ones: every click toggles here.
    bool invert_chbox(int ctrl);
    // Text of an edit control.
    std::string read_text(int ctrl);
    static wiz_ui& ui();

private:
    int id_;
    unsigned buttons_;
    unsigned flags_;
    std::string header_title_;
    std::string header_subtitle_;
    std::vector<wiz_ctrl_desc> controls_;
};
