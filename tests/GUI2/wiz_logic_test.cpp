// The wizard's logic against the scripted fake interface: no display.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "GUI2/g_f_dlg.h"
#include "GUI2/g_pages.h"
#include "GUI2/g_wiz_err.h"
#include "GUI2/g_wiz_sh.h"
#include "fake_job.h"
#include "fake_ui.h"
#include "platform/plat_files.h"
#include "platform/plat_shell.h"
#include "tests/support/temp_dir.h"

namespace {

std::string read_file(const std::string& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct folder_test : temp_dir_test {
    std::string path(const std::string& name) const { return (dir / name).string(); }
};

struct WizardFixture : folder_test {
    std::unique_ptr<wizard_error_handler> handler = std::make_unique<wizard_error_handler>();
    std::unique_ptr<fake_ui> ui = std::make_unique<fake_ui>();
    std::unique_ptr<fake_job> job = std::make_unique<fake_job>();
    std::unique_ptr<wizard_shell> shell = std::make_unique<wizard_shell>("Tabrixa 2.5");

    ~WizardFixture() override {
        // Pages hold threads; they go before the job and the interface.
        shell.reset();
        job.reset();
        ui.reset();
        handler.reset();
    }
    void activate(wizard_page& page) {
        shell->add_page(&page);
        ASSERT_TRUE(page.on_set_active());
    }
};

// ------------------------------------------------------------ error handler

TEST_F(WizardFixture, ErrorBeforeInitialisationIsShownWithPlainCaptionAndNotListed) {
    handler->handle(tk_exception("Incorrect password", tk_level_error), 1);
    ASSERT_EQ(ui->boxes.size(), 1u);
    EXPECT_EQ(ui->boxes[0].kind, "error");
    EXPECT_EQ(ui->boxes[0].caption, "Error");
    EXPECT_TRUE(shell->errors().empty());
}

TEST_F(WizardFixture, ErrorAfterInitialisationIsCaptionedListedAndLineFeedsBecomeBlanks) {
    shell->init_window();
    EXPECT_EQ(ui->title, "Tabrixa 2.5");
    handler->handle(tk_exception("Source file does not exist.\nPlease verify.", tk_level_error), 1);
    ASSERT_EQ(ui->boxes.size(), 1u);
    EXPECT_EQ(ui->boxes[0].caption, "Tabrixa 2.5 Error");
    EXPECT_EQ(ui->boxes[0].text, "Source file does not exist. Please verify.");
    ASSERT_EQ(shell->errors().size(), 1u);
    EXPECT_EQ(shell->errors()[0], "Source file does not exist. Please verify.");
    handler->handle(tk_exception("Line one\r\nline two", tk_level_error), 1);
    EXPECT_EQ(shell->errors().back(), "Line one  line two");
    // From a program's start-up (in_job 0) a level-1 error also ends the job.
    EXPECT_THROW(handler->handle(tk_exception("x", tk_level_error), 0), tk_final_exception);
}

TEST_F(WizardFixture, ErrorListStopsAtTwentyButEveryErrorIsShown) {
    shell->init_window();
    for (int i = 0; i < 25; ++i) handler->handle(tk_exception("e" + std::to_string(i), tk_level_error), 1);
    EXPECT_EQ(ui->count("error"), 25);
    ASSERT_EQ(shell->errors().size(), 20u);
    EXPECT_EQ(shell->errors().back(), "e19");
}

TEST_F(WizardFixture, WarningAsksAndDoNotShowAgainSilencesLaterReports) {
    shell->init_window();
    ui->continue_answers.push_back({wiz_answer_continue, true});
    handler->handle(tk_exception("w1", tk_level_warning), 1);
    EXPECT_EQ(ui->count("continue"), 1);
    EXPECT_EQ(ui->boxes[0].caption, "Tabrixa 2.5 Error");
    handler->handle(tk_exception("w2", tk_level_warning), 1);
    handler->handle(tk_exception("e3", tk_level_error), 1);
    EXPECT_EQ(ui->boxes.size(), 1u);  // quiet: nothing more shown
    EXPECT_EQ(shell->errors(), (std::vector<std::string>{"w1", "w2", "e3"}));
}

TEST_F(WizardFixture, WarningAbortOutsideAJobEndsIt) {
    ui->continue_answers.push_back({wiz_answer_ok, false});
    EXPECT_THROW(handler->handle(tk_exception("w", tk_level_warning), 0), tk_final_exception);
    ui->continue_answers.push_back({wiz_answer_ok, false});
    EXPECT_NO_THROW(handler->handle(tk_exception("w", tk_level_warning), 1));
}

TEST_F(WizardFixture, InternalErrorShowsDialogCopiesOrMailsAndEndsProcess) {
    shell->init_window();
    ui->internal_answers.push_back(wiz_answer_copy);
    handler->handle(tk_mail_assertion("tbx_conv", 124), 1);
    ASSERT_EQ(ui->count("internal"), 1);
    EXPECT_EQ(ui->boxes[0].caption, "Tabrixa 2.5 Error");
    EXPECT_EQ(ui->clipboard, tk_mail_assertion("tbx_conv", 124).what());
    EXPECT_TRUE(ui->ended);
    EXPECT_EQ(ui->end_code, -1);
    EXPECT_TRUE(shell->errors().empty());  // internal errors are never listed

    ui->ended = false;
    ui->internal_answers.push_back(wiz_answer_send);
    handler->handle(tk_exception("boom & bust", tk_level_internal), 1);
    ASSERT_EQ(ui->opened.size(), 1u);
    EXPECT_EQ(ui->opened[0], "mailto:support@vantrel.example?subject=Bug%20report%20on%20Tabrixa%202.5"
                             "&body=boom%20%26%20bust");
    EXPECT_TRUE(ui->ended);
}

TEST_F(WizardFixture, BugReportBeforeTheWindowIsUpNamesTheProgram) {
    ui->internal_answers.push_back(wiz_answer_send);
    handler->handle(tk_exception("early", tk_level_internal), 1);
    ASSERT_EQ(ui->opened.size(), 1u);
    EXPECT_NE(ui->opened[0].find("subject=Bug%20report%20on%20GUI2_wiz_logic_test&"), std::string::npos)
        << ui->opened[0];
}

TEST_F(WizardFixture, WorkerErrorWaitsForTheInterfaceThreadAndClosingReleasesIt) {
    shell->init_window();
    std::atomic<bool> back{false};
    std::thread worker([&] {
        handler->handle(tk_exception("from worker", tk_level_error), 1);
        back = true;
    });
    // The box is not shown on the worker: it waits in the interface queue.
    ASSERT_TRUE(ui->pump_until([&] { return ui->count("error") == 1; }));
    worker.join();
    EXPECT_TRUE(back);
    EXPECT_EQ(shell->errors().size(), 1u);

    // A question asked while the interface is closing gets No at once.
    ui->ask_answers.push_back(true);
    std::atomic<int> answer{-1};
    std::thread asker([&] { answer = wizard_shell::question("Go?") ? 1 : 0; });
    while (ui->queued() == 0) std::this_thread::yield();
    ui->begin_closing();
    asker.join();
    EXPECT_EQ(answer, 0);
    EXPECT_EQ(ui->pump(), 1);  // the abandoned call runs as a no-op
    EXPECT_EQ(ui->count("ask"), 0);
}

// ------------------------------------------------------------ shell and page framework

TEST_F(WizardFixture, ShellTimerAndButtonsAndHelp) {
    shell->start_timer(200);
    EXPECT_EQ(ui->timers[wizard_shell::timer_id], 200);
    try {
        shell->start_timer(200);
        FAIL() << "second start";
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(std::string(e.what()), tk_mail_assertion("g_wiz_sh", 249).what());
    }
    shell->stop_timer();
    EXPECT_TRUE(ui->timers.empty());

    EXPECT_EQ(wizard_shell::question("Q?"), false);
    EXPECT_EQ(ui->boxes.back().caption, "Question");
    wizard_shell::message("Note");
    EXPECT_EQ(ui->boxes.back().kind, "message");
    EXPECT_EQ(ui->boxes.back().caption, "Message");
    // No help pages next to the test program.
    shell->display_help(1013);
    EXPECT_EQ(ui->boxes.back().text, "Help file does not exist. Reinstall the program.");
    EXPECT_TRUE(ui->opened.empty());

    // With the pages beside the program, the topic's page goes to the desktop.
    const std::string help = wizard_shell::help_folder();
    ASSERT_EQ(::mkdir(help.c_str(), 0700), 0) << help;
    std::ofstream(help + "/1016.html") << "<html></html>";
    std::ofstream(help + "/index.html") << "<html></html>";
    shell->display_help(1016);
    welcome_page welcome;
    welcome.on_help();  // the overview is the welcome page's topic
    EXPECT_EQ(ui->opened, (std::vector<std::string>{help + "/1016.html", help + "/index.html"}));
    // Nothing on the desktop opened it: the user is told.
    const std::size_t shown = ui->boxes.size();
    ui->open_ok = false;
    shell->display_help();
    std::filesystem::remove_all(help);
    ASSERT_EQ(ui->boxes.size(), shown + 1);
    EXPECT_EQ(ui->boxes.back().text, "No program was found to open " + help + "/index.html.");
}

TEST_F(WizardFixture, PagesPostTheirButtonsAndCancelAsks) {
    welcome_page welcome;
    sel_file_page files;
    settings_page settings;
    activate(welcome);
    EXPECT_EQ(ui->buttons, unsigned(wizb_next));
    EXPECT_EQ(shell->current_page(), &welcome);
    activate(files);
    EXPECT_EQ(ui->buttons, unsigned(wizb_back | wizb_next));
    activate(settings);
    EXPECT_EQ(ui->buttons, unsigned(wizb_back | wizb_next));

    EXPECT_FALSE(settings.on_cancel());
    EXPECT_EQ(ui->boxes.back().kind, "ask");
    EXPECT_EQ(ui->boxes.back().text, "Are you sure you want to exit the wizard?");
    EXPECT_EQ(ui->boxes.back().caption, "Tabrixa 2.5 Question");
    ui->ask_answers.push_back(true);
    EXPECT_TRUE(welcome.on_cancel());
}

// ------------------------------------------------------------ file dialogs

TEST_F(WizardFixture, FileDialogStartsInTheFieldsFolderAndSavingAddsTheExtension) {
    open_file_dialog open(wiz_pdf_filter(), "Select PDF document to convert", path("report.pdf"));
    EXPECT_EQ(open.request().folder, dir.string() + "/");
    EXPECT_EQ(open.request().name, "report");
    open_file_dialog empty(wiz_pdf_filter(), "t", "");
    EXPECT_EQ(empty.request().name, "");
    EXPECT_FALSE(empty.request().folder.empty());

    ui->file_answers.push_back({true, path("out")});
    ui->file_answers.push_back({true, path("my.xls.backup")});
    ui->file_answers.push_back({true, "/data/a.xls.d/out"});
    save_file_dialog save(wiz_xls_filter(), "Select the destination file", "", "xls");
    ASSERT_TRUE(save.show());
    EXPECT_EQ(save.get_file_name(), path("out.xls"));
    ASSERT_TRUE(save.show());
    EXPECT_EQ(save.get_file_name(), path("my.xls.backup"));
    // Only the file name counts, not the folders above it.
    ASSERT_TRUE(save.show());
    EXPECT_EQ(save.get_file_name(), "/data/a.xls.d/out.xls");
    EXPECT_FALSE(save.show());  // Cancel
    ui->file_answers.push_back({true, ""});
    EXPECT_FALSE(save.show());  // OK without a name is no choice

    EXPECT_EQ(wiz_dialog_pattern("*.pdf"), "*.pdf;*.PDF");
    EXPECT_EQ(wiz_dialog_pattern("*.*"), "*");
    EXPECT_THROW(wiz_profile_filter("tb", 141), tk_mail_assertion);
}

// ------------------------------------------------------------ file page

TEST_F(WizardFixture, FilePageNextChecksInOrderWithExactTexts) {
    sel_file_page page;
    activate(page);
    const int P = wiz_files_id;
    EXPECT_EQ(page.on_next(), -1);
    EXPECT_EQ(ui->boxes.back().kind, "message");
    EXPECT_EQ(ui->boxes.back().caption, "Tabrixa 2.5 Message");
    EXPECT_EQ(ui->boxes.back().text, "You should enter source file name");

    ui->set_text(P, sel_file_page::id_source, path("missing.pdf"));
    EXPECT_EQ(page.on_next(), -1);
    EXPECT_EQ(ui->boxes.back().text, "You should enter destination file name");

    ui->set_text(P, sel_file_page::id_dest, path("out.xls"));
    EXPECT_EQ(page.on_next(), -1);
    EXPECT_EQ(ui->boxes.back().kind, "error");
    EXPECT_EQ(ui->boxes.back().text, "Source file does not exist.\nPlease verify the correct file name was given.");

    std::ofstream(path("in.pdf")) << "%PDF";
    ui->set_text(P, sel_file_page::id_source, path("in.pdf"));
    job->right_password = "secret";
    EXPECT_EQ(page.on_next(), -1);
    EXPECT_EQ(ui->boxes.back().text, "Incorrect password");

    // The password counts only while "Use password" is checked.
    ui->set_text(P, sel_file_page::id_password, "secret");
    EXPECT_EQ(page.on_next(), -1);
    EXPECT_EQ(job->pswd, "");
    page.on_command(sel_file_page::id_use_password, wiz_notify::clicked);
    EXPECT_TRUE(ui->c(P, sel_file_page::id_password).enabled);
    // The focus stays on the box: moved into the field, the next Tab would
    // land in the destination, where the password would be typed in clear.
    EXPECT_NE(ui->focused_ctrl, sel_file_page::id_password);
    EXPECT_EQ(page.on_next(), 0);
    EXPECT_EQ(job->pswd, "secret");

    job->dest_unusable = true;
    EXPECT_EQ(page.on_next(), -1);
    EXPECT_EQ(ui->boxes.back().text, "Destination is a folder");
}

TEST_F(WizardFixture, OverwriteQuestionKeepsTheOldFileEitherWay) {
    sel_file_page page;
    activate(page);
    std::ofstream(path("in.pdf")) << "%PDF";
    std::ofstream(path("out.xls")) << "old";
    ui->set_text(wiz_files_id, sel_file_page::id_source, path("in.pdf"));
    ui->set_text(wiz_files_id, sel_file_page::id_dest, path("out.xls"));
    ui->ask_answers = {false, true};
    EXPECT_EQ(page.on_next(), -1);
    EXPECT_EQ(ui->boxes.back().text, "Destination file already exists. Overwrite?");
    EXPECT_EQ(page.on_next(), 0);
    EXPECT_EQ(read_file(path("out.xls")), "old");  // replaced only by a finished run
}

TEST_F(WizardFixture, FilePageLoadsFieldsAndProposesDestinations) {
    job->src = "/a/report.pdf";
    job->dest = "/out/report.xls";
    job->pswd = "pw";
    sel_file_page page;
    activate(page);
    const int P = wiz_files_id;
    EXPECT_EQ(ui->get_text(P, sel_file_page::id_source), "/a/report.pdf");
    EXPECT_TRUE(ui->get_check(P, sel_file_page::id_use_password));
    EXPECT_TRUE(ui->c(P, sel_file_page::id_password).enabled);

    // Leaving the source field: the destination as loaded or proposed follows
    // a changed source, with the source's whole stem; a typed one stays.
    const auto leave_source = [&](const char* source) {
        ui->set_text(P, sel_file_page::id_source, source);
        page.on_command(sel_file_page::id_source, wiz_notify::kill_focus);
        return ui->get_text(P, sel_file_page::id_dest);
    };
    EXPECT_EQ(leave_source("/a/report.pdf"), "/out/report.xls");
    EXPECT_EQ(leave_source("/a/sales.2024.report.pdf"), "/out/sales.2024.report.xls");
    EXPECT_EQ(leave_source("/a/other.pdf"), "/out/other.xls");
    ui->set_text(P, sel_file_page::id_dest, "/q/typed.xls");
    EXPECT_EQ(leave_source("/a/third.pdf"), "/q/typed.xls");
    // Still typed after a visit to another page and back.
    EXPECT_EQ(page.on_back(), 0);
    ASSERT_TRUE(page.on_set_active());
    EXPECT_EQ(leave_source("/a/fourth.pdf"), "/q/typed.xls");
    ui->set_text(P, sel_file_page::id_dest, "");
    EXPECT_NE(leave_source("/a/third.pdf"), "");  // an empty field always gets one

    // Without a destination: into the documents folder, never above home.
    const char* old_home = std::getenv("HOME");
    const std::string saved = old_home ? old_home : "";
    ::setenv("HOME", dir.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", path("cfg").c_str(), 1);
    ui->set_text(P, sel_file_page::id_dest, "");
    page.make_dest("/a/report.pdf");
    EXPECT_EQ(ui->get_text(P, sel_file_page::id_dest), path("report.xls"));
    ::mkdir(path("cfg").c_str(), 0700);
    ::mkdir(path("Docs").c_str(), 0700);
    std::ofstream(path("cfg/user-dirs.dirs")) << "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n";
    ui->set_text(P, sel_file_page::id_dest, "");
    page.make_dest("/a/report.pdf");
    EXPECT_EQ(ui->get_text(P, sel_file_page::id_dest), path("Docs/report.xls"));
    std::ofstream(path("cfg/user-dirs.dirs")) << "XDG_DOCUMENTS_DIR=\"/\"\n";
    EXPECT_EQ(plat_documents_folder(), dir.string());
    ::setenv("HOME", saved.c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");

    // Browsing: the dialog opens in the field's folder and the choice lands in the fields.
    ui->file_answers.push_back({true, "/x/b.pdf"});
    page.on_command(sel_file_page::id_browse_src, wiz_notify::clicked);
    ASSERT_FALSE(ui->file_requests.empty());
    EXPECT_EQ(ui->file_requests.back().folder, "/a/");
    EXPECT_EQ(ui->file_requests.back().name, "third");
    EXPECT_EQ(ui->get_text(P, sel_file_page::id_source), "/x/b.pdf");
    // The proposed destination keeps its folder and takes the new name.
    EXPECT_EQ(ui->get_text(P, sel_file_page::id_dest), path("Docs/b.xls"));
    // One chosen with Browse stays when the source changes afterwards.
    ui->file_answers.push_back({true, "/c/chosen.xls"});
    page.on_command(sel_file_page::id_browse_dest, wiz_notify::clicked);
    ui->file_answers.push_back({true, "/x/c.pdf"});
    page.on_command(sel_file_page::id_browse_src, wiz_notify::clicked);
    EXPECT_EQ(leave_source("/x/d.pdf"), "/c/chosen.xls");
}

TEST_F(WizardFixture, FilePageTakesARelativeDestinationBesideTheSourceAndANewSourceResetsThePages) {
    std::ofstream(path("in.pdf")) << "%PDF";
    std::ofstream(path("other.pdf")) << "%PDF";
    job->src = path("in.pdf");
    job->range = "1-3,5";
    sel_file_page page;
    activate(page);
    const int P = wiz_files_id;
    // Not the folder the wizard was started from: the source's, shown in full.
    ui->set_text(P, sel_file_page::id_dest, "sub/../out.xls");
    EXPECT_EQ(page.on_next(), 0);
    EXPECT_EQ(job->dest, path("out.xls"));
    EXPECT_EQ(ui->get_text(P, sel_file_page::id_dest), path("out.xls"));
    EXPECT_EQ(job->range, "1-3,5");  // the same document keeps its pages
    // Another document: the pages chosen for the last one go back to "All".
    // Typed relative to the folder the wizard started in, it is kept in full.
    ui->set_text(P, sel_file_page::id_source, std::filesystem::relative(path("other.pdf")).string());
    EXPECT_EQ(page.on_next(), 0);
    EXPECT_EQ(job->range, "");
    EXPECT_EQ(job->src, path("other.pdf"));
    EXPECT_EQ(ui->get_text(P, sel_file_page::id_source), path("other.pdf"));
}

// ------------------------------------------------------------ settings page

TEST_F(WizardFixture, SettingsPageKeepsTheUserOnABadRangeInBothDirections) {
    job->range = "1-2";
    settings_page page;
    activate(page);
    const int P = wiz_settings_id;
    EXPECT_TRUE(ui->get_check(P, settings_page::id_list));
    EXPECT_FALSE(ui->get_check(P, settings_page::id_all));
    EXPECT_EQ(ui->get_text(P, settings_page::id_pages), "1-2");
    EXPECT_TRUE(ui->get_check(P, settings_page::id_tables));

    page.on_command(settings_page::id_tables, wiz_notify::clicked);
    EXPECT_TRUE(job->tables);  // only leaving the page stores it
    ui->set_text(P, settings_page::id_pages, "3-1");
    EXPECT_EQ(page.on_next(), -1);
    EXPECT_EQ(ui->boxes.back().text, "Invalid page range");
    EXPECT_EQ(ui->boxes.back().caption, "Tabrixa 2.5 Error");
    EXPECT_FALSE(job->tables);
    EXPECT_EQ(page.on_back(), -1);
    EXPECT_EQ(ui->count("error"), 2);

    ui->set_check(P, settings_page::id_list, false);
    ui->set_check(P, settings_page::id_all, true);
    EXPECT_EQ(page.on_back(), 0);
    EXPECT_EQ(job->range, "");
}

// ------------------------------------------------------------ welcome page

TEST_F(WizardFixture, BadProfileOnTheWelcomePageIsShownAndThePageStays) {
    welcome_page page;
    activate(page);
    job->profile_bad = true;
    ui->file_answers.push_back({true, path("bad.tbx")});
    EXPECT_NO_THROW(page.on_command(welcome_page::id_load, wiz_notify::clicked));
    EXPECT_EQ(ui->boxes.back().kind, "error");
    EXPECT_EQ(ui->boxes.back().text, "Invalid page range");
    ASSERT_EQ(ui->file_requests.size(), 1u);
    EXPECT_EQ(ui->file_requests[0].title, "Select Profile File");
    EXPECT_EQ(ui->file_requests[0].filters[0].first, "Profile Files (.tbx)");
    // Without a profile used before, the dialogs start in the user's home.
    EXPECT_EQ(ui->file_requests[0].folder, plat_home_folder() + "/");

    job->profile_bad = false;
    job->profile_none = true;
    ui->file_answers.push_back({true, path("notes.txt")});
    page.on_command(welcome_page::id_load, wiz_notify::clicked);
    EXPECT_EQ(ui->boxes.back().text, "The file " + path("notes.txt") + " is not a settings file.");

    // A loaded profile: the next profile dialog, here Save Settings, starts in its folder.
    job->profile_none = false;
    std::filesystem::create_directory(path("profiles"));
    ui->file_answers.push_back({true, path("profiles/good.tbx")});
    page.on_command(welcome_page::id_load, wiz_notify::clicked);
    gui_finish_page_ex finish("ok", "hint", "errors");
    finish.set_profile_ext("tbx");
    finish.on_store();
    EXPECT_EQ(ui->file_requests.back().folder, path("profiles") + "/");
}

// ------------------------------------------------------------ progress and finish

struct ProgressFixture : WizardFixture {
    progress_page progress;
    gui_finish_page_ex finish{"OK text", "Hint text", "Errors text"};
    void SetUp() override {
        WizardFixture::SetUp();
        job->dest = path("out.xls");
        shell->add_page(&progress);
        shell->add_page(&finish);
        finish.set_profile_ext("tbx");
    }
    // The worker may still write into the folder.
    void TearDown() override {
        progress.stop_worker();
        WizardFixture::TearDown();
    }
    void tick() { shell->on_timer(wizard_shell::timer_id); }
    // Ticks as the timer would until the progress page moves on.
    bool ticks_until_moved_on() {
        return ui->pump_until([&] {
            tick();
            return !ui->page_jumps.empty();
        });
    }
    std::string line() { return ui->get_text(wiz_progress_id, progress_page::id_line); }
    int bar() { return ui->c(wiz_progress_id, progress_page::id_bar).progress; }
};

TEST_F(ProgressFixture, ProgressShowsPagesAndMovesOnOnlyAfterTheWorkerEnded) {
    job->total_pages = 3;
    ASSERT_TRUE(progress.on_set_active());
    EXPECT_EQ(ui->buttons, 0u);
    EXPECT_EQ(ui->timers[wizard_shell::timer_id], 200);
    ASSERT_TRUE(ui->pump_until([&] { return job->page_count() == 3; }));
    tick();
    // The page being converted counts: page 1 while none is done yet.
    EXPECT_EQ(line(), "Processing page 1 of 3");
    EXPECT_EQ(bar(), 0);
    job->release(1);
    ASSERT_TRUE(ui->pump_until([&] { return job->pages_done() == 1; }));
    tick();
    EXPECT_EQ(line(), "Processing page 2 of 3");
    EXPECT_EQ(bar(), 33);
    job->release(1);
    ASSERT_TRUE(ui->pump_until([&] { return job->pages_done() == 2; }));
    tick();
    EXPECT_EQ(bar(), 66);
    job->release(1);
    ASSERT_TRUE(ticks_until_moved_on());
    EXPECT_EQ(line(), "Processing page 3 of 3");
    EXPECT_EQ(bar(), 100);
    EXPECT_EQ(ui->page_jumps, std::vector<int>{wiz_finish_id});
    EXPECT_TRUE(ui->timers.empty());
    EXPECT_TRUE(std::filesystem::exists(job->dest));  // written before the finish page

    ASSERT_TRUE(finish.on_set_active());
    EXPECT_EQ(ui->buttons, unsigned(wizb_finish));
    EXPECT_EQ(ui->get_text(wiz_finish_id, gui_finish_page_ex::id_text), "OK text");
    EXPECT_FALSE(ui->sheet_buttons[wiz_id_cancel]);
    EXPECT_FALSE(ui->sheet_buttons[wiz_id_help]);
    EXPECT_TRUE(ui->c(wiz_finish_id, gui_finish_page_ex::id_open).shown);

    // Open on exit hands the written workbook to the desktop.
    finish.on_command(gui_finish_page_ex::id_open, wiz_notify::clicked);
    EXPECT_TRUE(job->open_exit);
    EXPECT_TRUE(finish.on_finish());
    EXPECT_EQ(ui->opened, std::vector<std::string>{job->dest});
}

TEST_F(ProgressFixture, PercentAtHundredDoesNotMoveOnWhileTheWorkerRuns) {
    // A job whose counters say 100 % before it returns.
    struct slow_job : fake_job {
        std::atomic<bool> go{false};
        void run() override {
            fake_job::release(2);
            fake_job::run();
            while (!go) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    job.reset();
    auto slow = std::make_unique<slow_job>();
    slow->dest = path("out.xls");
    slow_job* s = slow.get();
    job.reset(slow.release());
    ASSERT_TRUE(progress.on_set_active());
    ASSERT_TRUE(ui->pump_until([&] { return s->get_percent() >= 100; }));
    for (int i = 0; i < 5; ++i) tick();
    EXPECT_TRUE(ui->page_jumps.empty());
    s->go = true;
    ASSERT_TRUE(ticks_until_moved_on());
}

TEST_F(ProgressFixture, CancelStopsAndJoinsTheWorkerAndLeavesNoWorkbook) {
    job->total_pages = 5;
    ASSERT_TRUE(progress.on_set_active());
    job->release(1);
    ASSERT_TRUE(ui->pump_until([&] { return job->pages_done() == 1; }));
    ui->ask_answers.push_back(false);
    EXPECT_FALSE(progress.on_cancel());
    EXPECT_FALSE(progress.worker_finished());
    ui->ask_answers.push_back(true);
    EXPECT_TRUE(progress.on_cancel());
    EXPECT_TRUE(progress.worker_finished());  // joined
    EXPECT_FALSE(std::filesystem::exists(job->dest));
    EXPECT_TRUE(ui->timers.empty());
    EXPECT_EQ(job->pages_done(), 1);
}

// Cancel is pressed, and the run comes to its workbook while the question is open.
struct LateAnswerFixture : ProgressFixture {
    void cancel_when_run_ends(bool yes) {
        job->total_pages = 1;
        ASSERT_TRUE(progress.on_set_active());
        ui->ask_answers.push_back(yes);
        ui->while_asking = [&] {
            job->release(1);
            while (!job->at_result()) std::this_thread::yield();
        };
        EXPECT_EQ(progress.on_cancel(), yes);
    }
};

TEST_F(LateAnswerFixture, YesAfterTheRunEndedWritesNoWorkbook) {
    cancel_when_run_ends(true);
    EXPECT_TRUE(progress.worker_finished());
    EXPECT_FALSE(std::filesystem::exists(job->dest));
    EXPECT_FALSE(job->succeeded());
}

TEST_F(LateAnswerFixture, NoLetsTheRunWriteItsWorkbook) {
    cancel_when_run_ends(false);
    ASSERT_TRUE(ticks_until_moved_on());
    EXPECT_TRUE(std::filesystem::exists(job->dest));
    EXPECT_TRUE(job->succeeded());
}

// A warning in the run's second page, answered with Continue or Abort.
struct WarningFixture : ProgressFixture {
    void run_with_warning(int answer) {
        shell->init_window();
        job->total_pages = 3;
        job->warn_at = 1;
        ui->continue_answers.push_back({answer, false});
        ASSERT_TRUE(progress.on_set_active());
        job->release(3);
        ASSERT_TRUE(ticks_until_moved_on());
        EXPECT_EQ(ui->count("continue"), 1);
        ASSERT_TRUE(finish.on_set_active());
    }
    std::string finish_text(int ctrl) { return ui->get_text(wiz_finish_id, ctrl); }
};

TEST_F(WarningFixture, AbortStopsTheRunWithoutAWorkbook) {
    run_with_warning(wiz_answer_ok);
    EXPECT_FALSE(std::filesystem::exists(job->dest));
    EXPECT_EQ(job->pages_done(), 1);
    // The user stopped it: no failure.
    EXPECT_EQ(finish_text(gui_finish_page_ex::id_title), "Conversion Stopped");
    EXPECT_EQ(finish_text(gui_finish_page_ex::id_text),
              "The conversion was stopped: no workbook was written.\nClick 'Finish' to exit the wizard.");
    EXPECT_EQ(finish_text(gui_finish_page_ex::id_errors), "Page too large\n\n");
}

TEST_F(WarningFixture, ContinueWritesTheWorkbookAndTheWarningIsListed) {
    run_with_warning(wiz_answer_continue);
    EXPECT_TRUE(std::filesystem::exists(job->dest));
    EXPECT_EQ(finish_text(gui_finish_page_ex::id_title), "Conversion is Completed");
    EXPECT_EQ(finish_text(gui_finish_page_ex::id_text), "Errors text");
    EXPECT_EQ(finish_text(gui_finish_page_ex::id_errors), "Page too large\n\n");
    // Written with warnings: it can be opened as any other workbook, also
    // when the wizard is ended with the close box.
    EXPECT_TRUE(ui->c(wiz_finish_id, gui_finish_page_ex::id_open).shown);
    EXPECT_TRUE(ui->c(wiz_finish_id, gui_finish_page_ex::id_hint).shown);
    ui->set_check(wiz_finish_id, gui_finish_page_ex::id_open, true);
    EXPECT_TRUE(finish.on_cancel());
    EXPECT_EQ(ui->count("ask"), 0);  // no "Are you sure you want to exit the wizard?"
    EXPECT_EQ(ui->opened, std::vector<std::string>{job->dest});
}

TEST_F(ProgressFixture, ErrorsOfTheRunLeadToTheFinishPageWithTheList) {
    shell->init_window();
    job->total_pages = 3;
    job->fail_after = 1;
    ASSERT_TRUE(progress.on_set_active());
    job->release(3);
    ASSERT_TRUE(ticks_until_moved_on());
    EXPECT_EQ(ui->count("error"), 1);
    ASSERT_TRUE(finish.on_set_active());
    const int P = wiz_finish_id;
    // No workbook: the page says the conversion failed.
    EXPECT_EQ(ui->get_text(P, gui_finish_page_ex::id_title), "Conversion Failed");
    EXPECT_EQ(ui->get_text(P, gui_finish_page_ex::id_text),
              "The conversion failed: no workbook was written.\nClick 'Finish' to exit the wizard.");
    EXPECT_TRUE(ui->c(P, gui_finish_page_ex::id_errors).shown);
    EXPECT_TRUE(ui->c(P, gui_finish_page_ex::id_errors).read_only);
    EXPECT_EQ(ui->get_text(P, gui_finish_page_ex::id_errors), "Damaged page\n\n");
    EXPECT_FALSE(ui->c(P, gui_finish_page_ex::id_open).shown);
    EXPECT_FALSE(ui->c(P, gui_finish_page_ex::id_hint).shown);
    // Open on exit opens nothing: no workbook was written.
    ui->set_check(P, gui_finish_page_ex::id_open, true);
    EXPECT_TRUE(finish.on_finish());
    EXPECT_TRUE(ui->opened.empty());
    // The first focus of the list hands the focus to Finish.
    finish.on_command(gui_finish_page_ex::id_errors, wiz_notify::set_focus);
    EXPECT_EQ(ui->focused_button, wiz_id_finish);
}

TEST_F(ProgressFixture, AnExceptionAtTheWorkerEntryIsReportedAsInternalError) {
    struct throwing_job : fake_job {
        void run() override { throw std::runtime_error("escaped"); }
    };
    job.reset();
    job.reset(new throwing_job);
    ASSERT_TRUE(progress.on_set_active());
    ASSERT_TRUE(ui->pump_until([&] { return ui->ended.load(); }));
    EXPECT_EQ(ui->count("internal"), 1);
    EXPECT_EQ(ui->boxes.back().text, "escaped");
}

TEST_F(ProgressFixture, SavingSettingsThatCannotBeWrittenShowsAnError) {
    ASSERT_TRUE(finish.on_set_active());
    job->store_ok = false;
    ui->file_answers.push_back({true, path("prof")});
    finish.on_command(gui_finish_page_ex::id_save, wiz_notify::clicked);
    EXPECT_EQ(job->stored_profile, path("prof.tbx"));
    EXPECT_EQ(ui->boxes.back().kind, "error");
}

// ------------------------------------------------------------ desktop services

using WizardDesktop = folder_test;

TEST_F(WizardDesktop, MailLinkIsPercentEncodedUtf8WithCrLf) {
    EXPECT_EQ(plat_mailto_url("a@b.example", "Bug report on Tabrixa 2.5", "Line 1\nÄ?&=#"),
              "mailto:a@b.example?subject=Bug%20report%20on%20Tabrixa%202.5"
              "&body=Line%201%0D%0A%C3%84%3F%26%3D%23");
}

TEST_F(WizardDesktop, OpenerGetsThePathAsOneArgument) {
    const std::string script = path("opener.sh"), trace = path("args");
    std::ofstream(script) << "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > \"" << trace << "\"\n";
    ::chmod(script.c_str(), 0700);
    // The opener runs on its own: its arguments as it saw them (30 s at most).
    auto opened_with = [&](const std::string& target) {
        std::filesystem::remove(trace);
        if (!plat_open_with_desktop(target)) return std::string("not started");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (read_file(trace).empty() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return read_file(trace);
    };
    plat_set_desktop_opener(script);
    EXPECT_EQ(opened_with(path("a b;$(x).xls")), "1|" + path("a b;$(x).xls"));
    // A name that looks like an option reaches the opener as a path.
    EXPECT_EQ(opened_with("-x.xls"), "1|./-x.xls");
    plat_set_desktop_opener("/nonexistent/opener");
    EXPECT_EQ(opened_with("x"), "not started");

    // An opener that finds no program for the target: the failure is reported.
    std::mutex m;
    std::condition_variable cv;
    std::string failed;
    plat_set_open_failure_handler([&](const std::string& target) {
        std::lock_guard<std::mutex> lock(m);
        failed = target;
        cv.notify_all();
    });
    std::ofstream(script) << "#!/bin/sh\nexit 3\n";
    plat_set_desktop_opener(script);
    ASSERT_TRUE(plat_open_with_desktop(path("help.html")));
    {
        std::unique_lock<std::mutex> lock(m);
        cv.wait_for(lock, std::chrono::seconds(30), [&] { return !failed.empty(); });
    }
    plat_set_open_failure_handler(nullptr);
    EXPECT_EQ(failed, path("help.html"));
    plat_set_desktop_opener("xdg-open");
}

}  // namespace
