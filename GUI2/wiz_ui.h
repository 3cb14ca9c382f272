// The wizard's view of its windows. The wizard logic (shell, pages, error
// handler) talks only to this interface; the program supplies a wxWidgets
// implementation and the tests a scripted one, so the logic runs without a
// display.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "TK/tk_singl.h"

// Button masks for set_buttons, as the wizard sheet knows them.
enum : unsigned {
    wizb_back = 1,
    wizb_next = 2,
    wizb_finish = 4,
};

// Sheet buttons for enable_button.
enum : int {
    wiz_id_cancel = 2,
    wiz_id_next = 0x3024,
    wiz_id_help = 9,
    wiz_id_finish = 0x3025,
};

// The program's pictures, by resource id.
enum : int {
    wiz_art_watermark = 311,  // 164 x 314, beside the welcome and finish pages
    wiz_art_header = 312,     // 49 x 49, on the inner pages
    wiz_art_icon = 501,       // the window icon, 48 x 48
};

// Kinds of page controls; positions are in dialog units of the page.
enum class wiz_ctrl_kind {
    label,        // static text
    title,        // static text in the large title font
    centred,      // centred static text
    group,        // group box
    button,
    checkbox,     // plain check box: the page toggles it itself
    radio_first,  // radio button that starts a group
    radio,
    edit,
    password,
    multiline,    // multi-line edit with a vertical scroll bar
    progress,     // progress bar 0..100
    hyperlink,
};

struct wiz_ctrl_desc {
    int id;  // -1 for controls nobody addresses
    wiz_ctrl_kind kind;
    int x, y, w, h;
    std::string text;
    bool hidden = false;
};

// Command notifications a page receives from its controls.
enum class wiz_notify {
    clicked,
    kill_focus,
    set_focus,
};

// One file choice: open or save, with title, (display, pattern) filter pairs,
// the starting folder and name.
struct wiz_file_request {
    bool save = false;
    std::string title;
    std::vector<std::pair<std::string, std::string>> filters;
    std::string folder;
    std::string name;
};

// Answers of the two own dialogs.
enum : int {
    wiz_answer_ok = 1,       // internal error: OK; continue dialog: Abort
    wiz_answer_continue = 2,
    wiz_answer_copy = 1108,
    wiz_answer_send = 1112,
};

class wiz_ui : public tk_singleton<wiz_ui> {
public:
    wiz_ui() = default;
    ~wiz_ui() override;

    // --- boxes and dialogs (interface thread only) ---
    virtual void show_error(const std::string& caption, const std::string& text) = 0;
    virtual void show_message(const std::string& caption, const std::string& text) = 0;
    // Yes/No question with No as the default button; true for Yes.
    virtual bool ask(const std::string& caption, const std::string& text) = 0;
    // Continue-or-abort dialog: wiz_answer_ok (Abort) or wiz_answer_continue;
    // dont_show receives the state of "Do not show this dialog box again".
    virtual int continue_or_abort(const std::string& caption, const std::string& text,
                                  bool& dont_show) = 0;
    // Internal-error dialog: wiz_answer_ok, wiz_answer_copy or wiz_answer_send.
    virtual int internal_error(const std::string& caption, const std::string& text) = 0;
    // File dialog; true and the chosen path on OK.
    virtual bool choose_file(const wiz_file_request& request, std::string& path) = 0;

    // --- controls of a page, addressed by page dialog id and control id ---
    virtual std::string get_text(int page, int ctrl) = 0;
    virtual void set_text(int page, int ctrl, const std::string& text) = 0;
    // Appends at the end of an edit control (the caret moves there).
    virtual void append_text(int page, int ctrl, const std::string& text) = 0;
    virtual bool get_check(int page, int ctrl) = 0;
    virtual void set_check(int page, int ctrl, bool on) = 0;
    virtual void enable_ctrl(int page, int ctrl, bool enable) = 0;
    virtual void focus_ctrl(int page, int ctrl) = 0;
    virtual void show_ctrl(int page, int ctrl, bool show) = 0;
    virtual void set_read_only(int page, int ctrl, bool on) = 0;
    virtual void set_progress(int page, int ctrl, int value) = 0;

    // --- the sheet ---
    virtual void set_title(const std::string& title) = 0;
    // The window icon from a picture (wiz_art_icon), at the system's large-icon size.
    virtual void set_icon(int resource_id) = 0;
    virtual void set_buttons(unsigned mask) = 0;
    virtual void enable_button(int id, bool enable) = 0;
    virtual void focus_button(int id) = 0;
    virtual void go_to_page(int page) = 0;
    virtual bool start_timer(int id, int period_ms) = 0;
    virtual void stop_timer(int id) = 0;

    // --- desktop services ---
    virtual void copy_to_clipboard(const std::string& text) = 0;
    // Hands a file or URL to the desktop's handler; false when that failed.
    virtual bool open_document(const std::string& path_or_url) = 0;
    // Ends the process after an internal error (the tests record it instead).
    virtual void end_process(int code) = 0;

    // --- threads ---
    virtual bool on_ui_thread() const = 0;
    // Runs fn on the interface thread and waits for it. Returns false without
    // running fn once the interface is closing, so a worker can never wait
    // for a window that is gone.
    bool call_on_ui(const std::function<void()>& fn);
    // From now on call_on_ui returns at once; waiting callers are released.
    void begin_closing();

protected:
    // Queues fn for the interface thread's event loop (wx: CallAfter).
    virtual void post(std::function<void()> fn) = 0;

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool closing_ = false;
};

// Runs fn on the interface thread and returns its result, or dflt when the
// interface is closing.
template <class R, class F>
R wiz_call(F fn, R dflt) {
    wiz_ui* ui = wiz_ui::find();
    if (!ui) return dflt;
    R result = dflt;
    if (!ui->call_on_ui([&] { result = fn(*ui); })) return dflt;
    return result;
}
