#include "GUI2/tbx_shel.h"

#include <cstdio>

#include <PDFDoc.h>
#include <wx/app.h>
#include <wx/init.h>

#include "GUI2/g_pages.h"
#include "GUI2/g_wiz_err.h"
#include "GUI2/g_wiz_sh.h"
#include "GUI2/wx/wx_ui.h"
#include "PDFR/pdf_doc.h"
#include "TK/tk_log.h"
#include "TK/tk_prof.h"
#include "TK/tk_texts.h"
#include "TK/tk_utils.h"
#include "tabrixa/tbx_conv.h"

std::function<void(wx_wizard&)> tabwiz_on_created;

// ------------------------------------------------------------ the job

std::string convertor_job::source() const { return conv_.source; }
void convertor_job::set_source(const std::string& path) { conv_.source = path; }
std::string convertor_job::destination() const { return conv_.destination; }
void convertor_job::set_destination(const std::string& path) { conv_.destination = path; }
std::string convertor_job::password() const { return conv_.password; }
void convertor_job::set_password(const std::string& password) { conv_.password = password; }
std::string convertor_job::page_range() const { return conv_.page_range; }
void convertor_job::set_page_range(const std::string& range) { conv_.set_page_range(range); }
bool convertor_job::graph_tab() const { return conv_.graph_tab; }
void convertor_job::set_graph_tab(bool on) { conv_.graph_tab = on; }
bool convertor_job::open_on_exit() const { return conv_.open_on_exit; }
void convertor_job::set_open_on_exit(bool on) { conv_.open_on_exit = on; }

void convertor_job::check_source(const std::string& path, const std::string& password) {
    // Opened once and closed: a damaged file or a wrong password throws here.
    pdf_open_document_checked(path, password, password);
}

void convertor_job::check_destination(const std::string& path) { common_check_dest(path, conv_.source); }

bool convertor_job::load_profile_file(const std::string& path) { return conv_.load_profile_file(path); }

bool convertor_job::store_profile_file(const std::string& path) {
    tk_profile profile;
    return conv_.store_profile(profile) && profile.store(path);
}

// The stop flag is never cleared here: a cancel that comes before the worker
// has started must still stop it. One conversion per run of the wizard.
void convertor_job::run() { conv_.run(); }

void convertor_job::request_stop() { conv_.request_stop(); }
long convertor_job::pages_done() const { return conv_.pages_done.load(); }
long convertor_job::page_count() const { return conv_.page_count.load(); }
double convertor_job::get_percent() const { return conv_.get_percent(); }
bool convertor_job::succeeded() const { return conv_.succeeded(); }

// ------------------------------------------------------------ start-up

namespace {
class tabwiz_app : public wxApp {
public:
    bool OnInit() override { return true; }
};

const char* const success_text =
    "Wizard has converted your PDF document into\nMS Excel spreadsheet successfully.\n\nClick 'Finish' to exit the "
    "wizard.";
const char* const hint_text =
    "Select the checkbox below to open the resulting file\nwith MS Excel (it must be installed on your system).";
const char* const errors_text = "There were some errors while converting the database.\nClick 'Finish' to exit the wizard.";

// The window goes first at the end of the run: no worker may still wait for
// it, and the pages it shows outlive it.
struct window_teardown {
    wx_ui& ui;
    progress_page& progress;
    wx_wizard* wizard = nullptr;
    ~window_teardown() {
        ui.begin_closing();
        progress.stop_worker();
        ui.attach(nullptr);
        // Its modal run is over, so it may go at once.
        delete wizard;
    }
};

int run_wizard(wx_ui& ui, int argc, char** argv) {
    xelvio_convertor conv(true);
    convertor_job job(conv);

    std::string command_line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) command_line += ' ';
        command_line += argv[i];
    }
    const bool quick = !command_line.empty();
    if (quick) {
        tk_log::write(2, "QUICK LAUNCH: profile=%s", command_line.c_str());
        conv.load_profile_file(command_line);
    }

    char title[64];
    std::snprintf(title, sizeof title, "Tabrixa %d.%d", tk_version_major, tk_version_minor);
    wizard_shell shell(title, wiz_art_icon, wiz_art_watermark, wiz_art_header);

    welcome_page welcome;
    welcome.set_profile_ext("tbx");
    sel_file_page files;
    files.set_header("Step 1 of 3", "Select files");
    settings_page settings;
    settings.set_header("Step 2 of 3", "Conversion settings");
    if (quick) {
        // A profile without a source would only fail inside the run, as an
        // internal error: say what is missing before the wizard opens.
        if (conv.source.empty()) throw tk_exception(tk_text(tk_txt_no_source), tk_level_error);
        common_check_dest(conv.destination, conv.source);
    } else {
        shell.add_page(&welcome);
        shell.add_page(&files);
        shell.add_page(&settings);
    }
    progress_page progress;
    shell.add_page(&progress);
    gui_finish_page_ex finish(success_text, hint_text, errors_text);
    finish.set_profile_ext("tbx");
    shell.add_page(&finish);

    window_teardown teardown{ui, progress};
    teardown.wizard = new wx_wizard(nullptr, shell);
    ui.attach(teardown.wizard);
    if (tabwiz_on_created) tabwiz_on_created(*teardown.wizard);
    teardown.wizard->run();
    return 0;
}
}  // namespace

int tabwiz_main(int argc, char** argv) {
    wizard_error_handler handler;
    wxApp::SetInstance(new tabwiz_app);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
        wizard_shell::error("Failed to initialize GUI library");
        return -1;
    }
    int result = 0;
    {
        wx_ui ui;
        try {
            result = run_wizard(ui, argc, argv);
        } catch (const tk_exception& e) {
            handler.handle(e, 1);
            result = 0;
        } catch (const tk_final_exception&) {
            result = 0;
        } catch (const std::exception& e) {
            wizard_shell::error(e.what());
            result = 0;
        }
    }
    wxTheApp->OnExit();
    wxEntryCleanup();
    return result;
}
