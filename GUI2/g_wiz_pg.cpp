#include "GUI2/g_wiz_pg.h"

#include "GUI2/g_wiz_sh.h"
#include "TK/tk_log.h"

wizard_page::wizard_page(int dialog_id, unsigned buttons, unsigned flags)
    : id_(dialog_id), buttons_(buttons), flags_(flags) {}

wizard_page::~wizard_page() { tk_log::write(2, "wizard_page::dtor"); }

void wizard_page::set_header(const std::string& title, const std::string& subtitle) {
    header_title_ = title;
    header_subtitle_ = subtitle;
}

void wizard_page::add_ctrl(int id, wiz_ctrl_kind kind, int x, int y, int w, int h, const std::string& text,
                           bool hidden) {
    controls_.push_back(wiz_ctrl_desc{id, kind, x, y, w, h, text, hidden});
}

wiz_ui& wizard_page::ui() { return wiz_ui::instance(); }

bool wizard_page::on_set_active() {
    tk_log::write(1, "wizard_page::OnSetActive");
    ui().set_buttons(buttons_);
    wizard_shell& shell = wizard_shell::instance();
    shell.init_window();
    shell.set_current_page(this);
    return page_init();
}

bool wizard_page::on_cancel() {
    tk_log::write(2, "wizard_page::on_cancel");
    wizard_shell::instance();  // a page without its shell is a fault: this throws
    return wizard_shell::question("Are you sure you want to exit the wizard?");
}

void wizard_page::enable_ctrl(int ctrl, bool enable) {
    tk_log::write(1, "wizard_page::enable_ctrl(%d=%d)", ctrl, enable ? 1 : 0);
    ui().enable_ctrl(id_, ctrl, enable);
    if (enable) ui().focus_ctrl(id_, ctrl);
}

bool wizard_page::invert_chbox(int ctrl) {
    tk_log::write(1, "wizard_page::invert_chbox(%d)", ctrl);
    const bool state = !ui().get_check(id_, ctrl);
    ui().set_check(id_, ctrl, state);
    return state;
}

std::string wizard_page::read_text(int ctrl) {
    // No 259-character cut: a shortened path would name another file.
    return ui().get_text(id_, ctrl);
}
