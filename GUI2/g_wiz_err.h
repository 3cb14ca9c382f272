// The wizard's form of the process-wide error handler: an internal error opens
// the internal-error dialog and ends the process, an error opens an error
// box, a warning asks whether to continue and can be silenced for the run.
// Errors and warnings also join the shell's error list. Safe to call from the
// worker thread: every window goes through the interface thread.
#pragma once

#include <mutex>

#include "TK/tk_errh.h"

class wizard_error_handler : public error_handler {
public:
    wizard_error_handler();
    void handle(const tk_exception& e, int in_job) override;
    void handle_standard(const std::exception& e, int in_job) override;

private:
    bool is_quiet() const;
    mutable std::mutex mutex_;  // guards quiet_, which both threads may touch
};

// The program file's name without folder and extension.
std::string wiz_program_name();

// The services behind the internal-error dialog's buttons.
// "Bug report on <title>" with the message, as a mail the user sees before it goes.
void tk_send_bug(const std::string& title, const std::string& text);
std::string tk_bug_mail_url(const std::string& title, const std::string& text);
void tk_copy_to_clipboard1(const std::string& text);
// The user's documents folder (never above the home folder); empty when unknown.
std::string tk_get_user_home_path();
