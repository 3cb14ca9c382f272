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

namespace {
const char* const wiz_password_hint = "Please tick 'Use password' and type the document's password.";
}  // namespace

void convertor_job::check_source(const std::string& path, const std::string& password) {
    // Opened once and closed: a damaged file or a wrong password throws here.
    pdf_open_source(path, password, wiz_password_hint);
}

// Whatever would stop the final write is found on the file page, not after the conversion.
void convertor_job::check_destination(const std::string& path) { common_check_dest(path, conv_.source); }

bool convertor_job::load_profile_file(const std::string& path) {
    tk_profile profile;
    conv_.read_settings_file(profile, path);
    return conv_.load_profile(profile);
}

bool convertor_job::store_profile_file(const std::string& path) {
    tk_profile profile;
    return conv_.store_profile(profile) && profile.store(path);
}

// The stop flag is never cleared here: a cancel that comes before the worker
// has started must still stop it. One conversion per run of the wizard.
void convertor_job::run() { conv_.run(); }

void convertor_job::request_stop() { conv_.request_stop(); }
void convertor_job::hold_result() { conv_.hold_result(); }
void convertor_job::release_result() { conv_.release_result(); }
long convertor_job::pages_done() const { return conv_.pages_done.load(); }
long convertor_job::page_count() const { return conv_.page_count.load(); }
double convertor_job::get_percent() const { return conv_.get_percent(); }
bool convertor_job::succeeded() const { return conv_.succeeded(); }
bool convertor_job::stopped() const { return conv_.stop_requested(); }

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
const char* const errors_text =
    "The workbook was written, with the warnings below.\nClick 'Finish' to exit the wizard.";

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

// A quick launch converts only what its own profile names: a file that is no
// settings file, or one without a source, must not convert the source of the
// saved settings; without a destination it writes beside the source, never
// into the saved destination (another document's workbook). Throws when the
// conversion cannot start.
void start_quick_launch(xelvio_convertor& conv, const std::string& path) {
    tk_profile profile;
    conv.read_settings_file(profile, path);
    const std::string section = tk_text(tk_txt_generic_section);
    if (profile.get_value(section, tk_text(tk_txt_key_src)).empty())
        throw tk_exception(tk_text(tk_txt_no_source), tk_level_error);
    // Checked before anything is taken: a bad page list changes nothing.
    conv.load_profile(profile);
    conv.password_hint = "Please give it as password=... in the profile.";
    if (profile.get_value(section, tk_text(tk_txt_key_dest)).empty())
        conv.destination = tk_default_destination(conv.source);
    common_check_dest(conv.destination, conv.source);
}

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
        try {
            start_quick_launch(conv, command_line);
        } catch (...) {
            // Nothing converted, and the saved settings stay as they were.
            conv.keep_saved_settings();
            throw;
        }
    }

    char title[64];
    std::snprintf(title, sizeof title, "Tabrixa %d.%d", tk_version_major, tk_version_minor);
    wizard_shell shell(title, wiz_art_icon, wiz_art_watermark, wiz_art_header);
    if (quick) shell.set_last_profile(command_line);

    welcome_page welcome;
    welcome.set_profile_ext("tbx");
    sel_file_page files;
    files.set_header("Step 1 of 3", "Select files");
    settings_page settings;
    settings.set_header("Step 2 of 3", "Conversion settings");
    if (!quick) {
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

const char* const wiz_usage_text =
    "Usage: tabwiz [PROFILE]\n"
    "\n"
    "   (nothing)     start the wizard on its welcome page\n"
    "   PROFILE       convert at once what the profile file names (src=, dest=, pages=, ...)\n"
    "   --help        display this help message and exit";

int tabwiz_main(int argc, char** argv) {
    // An option is no profile path: the usage, before any window is made.
    if (argc > 1 && argv[1][0] == '-') {
        const std::string arg = argv[1];
        const bool help = arg == "--help" || arg == "-h";
        std::fprintf(help ? stdout : stderr, "%s\n", wiz_usage_text);
        return help ? 0 : -1;
    }
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
