// The wizard's windows on wxWidgets: the sheet is a wxWizard whose pages are
// built from the logic pages' control lists, and wx_ui implements the logic's
// window interface on top of it.
#pragma once

#include <exception>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <wx/dialog.h>
#include <wx/msgdlg.h>
#include <wx/generic/msgdlgg.h>
#include <wx/timer.h>
#include <wx/wizard.h>

#include "GUI2/wiz_ui.h"

class wizard_page;
class wizard_shell;
class wx_wizard;
class wxCheckBox;

// Error, information and question boxes, never narrower than their caption
// (a native box is as wide as its text, and the window manager cuts the
// caption of a narrow one), never wider than the screen: the text is wrapped
// at the screen's width, a long path where its folders part. A Yes/No
// question without Cancel takes Escape and the close box for No.
class wx_message_box : public wxGenericMessageDialog {
public:
    wx_message_box(wxWindow* parent, const wxString& text, const wxString& caption, long style);
    // The text as given, before wrapping.
    const wxString& text() const { return text_; }

protected:
    void AddMessageDialogDetails(wxSizer* sizer) override;

private:
    wxString text_;
};

// The continue-or-abort dialog ("Continue" answers Escape and the close box).
class wx_continue_dialog : public wxDialog {
public:
    wx_continue_dialog(wxWindow* parent, const wxString& caption, const wxString& text);
    bool dont_show() const;

private:
    wxCheckBox* check_;
};

// The internal-error dialog: it closes only through its three buttons.
class wx_internal_dialog : public wxDialog {
public:
    wx_internal_dialog(wxWindow* parent, const wxString& caption, const wxString& text);
};

// One wizard page: a panel with the logic page's controls.
class wx_page : public wxWizardPageSimple {
public:
    wx_page(wx_wizard* parent, wizard_page* logic, const wxBitmapBundle& picture);
    wizard_page* logic() const { return logic_; }
    wxWindow* ctrl(int id) const;

private:
    void build();
    // A control's event for the logic page; an exception ends the wizard's run.
    void notify(int ctrl, wiz_notify code);
    wizard_page* logic_;
    std::map<int, wxWindow*> ctrls_;
};

class wx_wizard : public wxWizard {
public:
    // Pages come from the shell, in order.
    wx_wizard(wxWindow* parent, wizard_shell& shell);
    ~wx_wizard() override;
    // Runs modally from the first page; an exception escaping a page handler
    // ends the run and is thrown again from here.
    int run();
    wx_page* page(int dialog_id) const;
    wx_page* current() const;
    void set_buttons(unsigned mask);
    void go_to_page(int dialog_id);
    bool start_timer(int id, int period_ms);
    void stop_timer(int id);
    // Runs a logic handler; a tk_exception or standard exception ends the run.
    template <class F>
    void guard(F fn) {
        try {
            fn();
        } catch (...) {
            fail(std::current_exception());
        }
    }

private:
    void on_before_change(wxWizardEvent& event);
    void on_shown(wxWizardEvent& event);
    void on_cancel(wxWizardEvent& event);
    void on_help(wxWizardEvent& event);
    // F1 (and the platform's help request) works like the Help button.
    void on_key(wxKeyEvent& event);
    void help();
    void on_close(wxCloseEvent& event);
    void on_timer(wxTimerEvent& event);
    void fail(std::exception_ptr error);
    // The current page's cancel question; true when the wizard may close.
    bool may_leave();

    std::map<int, wx_page*> pages_;
    std::vector<wx_page*> order_;
    wx_page* shown_ = nullptr;      // the page that accepted its activation last
    wx_page* returning_ = nullptr;  // the page the wizard goes back to after refusals
    wxTimer timer_;
    std::exception_ptr error_;
};

class wx_ui : public wiz_ui {
public:
    wx_ui();
    ~wx_ui() override;
    void attach(wx_wizard* wizard) { wizard_ = wizard; }

    void show_error(const std::string& caption, const std::string& text) override;
    void show_message(const std::string& caption, const std::string& text) override;
    bool ask(const std::string& caption, const std::string& text) override;
    int continue_or_abort(const std::string& caption, const std::string& text, bool& dont_show) override;
    int internal_error(const std::string& caption, const std::string& text) override;
    bool choose_file(const wiz_file_request& request, std::string& path) override;

    std::string get_text(int page, int ctrl) override;
    void set_text(int page, int ctrl, const std::string& text) override;
    void append_text(int page, int ctrl, const std::string& text) override;
    bool get_check(int page, int ctrl) override;
    void set_check(int page, int ctrl, bool on) override;
    void enable_ctrl(int page, int ctrl, bool enable) override;
    void focus_ctrl(int page, int ctrl) override;
    void show_ctrl(int page, int ctrl, bool show) override;
    void set_read_only(int page, int ctrl, bool on) override;
    void set_progress(int page, int ctrl, int value) override;

    void set_title(const std::string& title) override;
    void set_icon(int resource_id) override;
    void set_buttons(unsigned mask) override;
    void enable_button(int id, bool enable) override;
    void focus_button(int id) override;
    void go_to_page(int page) override;
    bool start_timer(int id, int period_ms) override;
    void stop_timer(int id) override;

    void copy_to_clipboard(const std::string& text) override;
    bool open_document(const std::string& path_or_url) override;
    void end_process(int code) override;
    bool on_ui_thread() const override;

protected:
    void post(std::function<void()> fn) override;

private:
    wxWindow* find(int page, int ctrl) const;
    wxWindow* owner() const;
    wx_wizard* wizard_ = nullptr;
};

wxString wx_text(const std::string& utf8);
std::string wx_utf8(const wxString& text);
