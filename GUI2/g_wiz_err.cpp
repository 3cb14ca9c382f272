#include "GUI2/g_wiz_err.h"

#include "GUI2/g_wiz_sh.h"
#include "GUI2/wiz_job.h"
#include "GUI2/wiz_ui.h"
#include "TK/tk_log.h"
#include "platform/plat_files.h"
#include "platform/plat_shell.h"

namespace {
const char* const bug_address = "support@vantrel.example";
}  // namespace

wizard_error_handler::wizard_error_handler() = default;

bool wizard_error_handler::is_quiet() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return quiet_;
}

void wizard_error_handler::handle(const tk_exception& e, int in_job) {
    tk_log::write(2, "error_handler::handle");
    if (e.level() == tk_level_internal) {
        tk_log::write(3, "Internal error:\n%s", e.what());
        const std::string text = e.what();
        const std::string caption = wizard_shell::caption(" Error", "Error");
        // Before the window is up the report names the program.
        const std::string title =
            wizard_shell::is_initialized() ? wizard_shell::instance().title() : wiz_program_name();
        tk_log::write(1, "dlg_error_ex::ctor");
        if (wiz_ui* ui = wiz_ui::find()) {
            // Once the window is closing there is no dialog; the process ends either way.
            ui->call_on_ui([&] {
                const int answer = ui->internal_error(caption, text);
                if (answer == wiz_answer_copy) tk_copy_to_clipboard1(text);
                if (answer == wiz_answer_send) tk_send_bug(title, text);
            });
            ui->end_process(-1);
            return;
        }
        exit_process(-1);
    }

    std::string text = report_text(e);
    tk_log::write(3, "Error:\n%s", text.c_str());
    // One line each, for the box and for the finish page's list.
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    if (wizard_shell::is_initialized()) wizard_shell::instance().add_error(text);

    if (e.level() == tk_level_error) {
        tk_log::write(1, "Got 1-level error");
        if (!is_quiet()) {
            tk_log::write(1, "Step 1");
            wizard_shell::error(text);
        }
        tk_log::write(1, "Step 2");
        if (in_job == 0) throw tk_final_exception();
        return;
    }

    tk_log::write(1, "Got 0-level error");
    if (is_quiet()) return;
    const std::string caption = wizard_shell::caption(" Error", "Error");
    tk_log::write(1, "dlg_error_continue::ctor");
    bool dont_show = false;
    // Once the window is closing nobody can answer: abort.
    const int answer = wiz_call<int>(
        [&](wiz_ui& ui) { return ui.continue_or_abort(caption, text, dont_show); }, wiz_answer_ok);
    if (answer == wiz_answer_ok) {
        if (in_job == 0) throw tk_final_exception();
        // Abort inside the run stops it as Cancel does: no workbook is written.
        if (wiz_job* job = wiz_job::find()) job->request_stop();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    quiet_ = dont_show;
}

void wizard_error_handler::handle_standard(const std::exception& e, int /*in_job*/) {
    wizard_shell::error(e.what());
}

std::string wiz_program_name() {
    std::string drive, folder, name, ext;
    plat_split_path(plat_program_path(), drive, folder, name, ext);
    return name.empty() ? std::string("tabwiz") : name;
}

std::string tk_bug_mail_url(const std::string& title, const std::string& text) {
    return plat_mailto_url(bug_address, "Bug report on " + title, text);
}

void tk_send_bug(const std::string& title, const std::string& text) {
    tk_log::write(2, "tk_send_bug(%s|%s)", title.c_str(), text.c_str());
    wiz_ui* ui = wiz_ui::find();
    const bool started = ui ? ui->open_document(tk_bug_mail_url(title, text)) : false;
    if (!started) tk_log::write(2, "Failed to start the mail client");
}

void tk_copy_to_clipboard1(const std::string& text) {
    tk_log::write(2, "tk_copy_to_clipboard1(%s)", text.c_str());
    if (wiz_ui* ui = wiz_ui::find()) ui->copy_to_clipboard(text);
}

std::string tk_get_user_home_path() {
    tk_log::write(1, "tk_get_user_home_path");
    std::string path = plat_documents_folder();
    tk_log::write(2, "Gor user's home: %s", path.c_str());
    return path;
}
