#include "GUI2/g_pages.h"

#include <cstdio>

#include "GUI2/g_f_dlg.h"
#include "GUI2/g_wiz_err.h"
#include "GUI2/g_wiz_sh.h"
#include "GUI2/wiz_job.h"
#include "TK/tk_errh.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "platform/plat_files.h"

namespace {
using K = wiz_ctrl_kind;

// Name part of a path: no folder, no extension.
std::string name_part(const std::string& path) {
    std::string drive, folder, name, ext;
    plat_split_path(path, drive, folder, name, ext);
    return name;
}
}  // namespace

std::string common_make_dest(const std::string& old_dest, const std::string& name, const std::string& ext,
                             bool keep) {
    tk_log::write(1, "common_make_dest(%s,%s,%s,%d)", old_dest.c_str(), name.c_str(), ext.c_str(), keep ? 1 : 0);
    if (keep) return name;
    // name is the source's name part already: "sales.2024.report" stays whole.
    const std::string& new_name = name;
    if (!old_dest.empty()) {
        tk_log::write(1, "old_name - is a full qualified file name");
        std::string drive, folder, old_name, old_ext;
        plat_split_path(tk_full_path(old_dest), drive, folder, old_name, old_ext);
        return plat_make_path(drive, folder, new_name, ext);
    }
    // Into the documents folder itself: its parent may lie above the home
    // folder (when there is no documents folder, the home folder stands in).
    return plat_make_path("", tk_get_user_home_path(), new_name, ext);
}

// ---------------------------------------------------------------- welcome

welcome_page::welcome_page() : wizard_page(wiz_welcome_id, wizb_next, wiz_page_hide_header | wiz_page_has_help) {
    add_ctrl(id_title, K::title, 115, 8, 185, 30, "Welcome to the Tabrixa\nConversion Wizard\n");
    add_ctrl(-1, K::label, 115, 45, 185, 8, "This wizard helps you to convert Adobe PDF documents");
    add_ctrl(-1, K::label, 115, 53, 185, 8, "into Microsoft Excel format. Click 'Next' to continue.");
    add_ctrl(id_load, K::button, 115, 70, 60, 14, "&Load Settings...");
    add_ctrl(-1, K::label, 115, 175, 81, 8, "Tabrixa is made by");
    add_ctrl(id_link, K::hyperlink, 198, 175, 80, 8, "Vantrel|https://www.vantrel.example/");
}

bool welcome_page::page_init() {
    // Enter means Next here, not the profile dialog.
    ui().focus_button(wiz_id_next);
    return true;
}

void welcome_page::on_help() { wizard_shell::instance().display_help(); }

void welcome_page::on_command(int ctrl, wiz_notify code) {
    if (ctrl == id_load && code == wiz_notify::clicked) on_load();
}

std::string wiz_not_settings_text(const std::string& path) {
    return "The file " + path + " is not a settings file.";
}

std::string wiz_profile_start() {
    // The folder of the profile used last, else the user's home.
    const std::string& last = wizard_shell::instance().last_profile();
    std::string full;
    if (!last.empty() && plat_full_path(last, full)) {
        std::string drive, folder, name, ext;
        plat_split_path(full, drive, folder, name, ext);
        return drive + folder;
    }
    const std::string home = plat_home_folder();
    return home.empty() || home.back() == '/' ? home : home + "/";
}

void welcome_page::on_load() {
    const wiz_filter filter = wiz_profile_filter(profile_ext_, 281);
    tk_log::write(1, "welcome_page_t::on_load(Profile Files (.%s)|*.%s|All Files (*.*)|*.*|)", profile_ext_.c_str(),
                  profile_ext_.c_str());
    open_file_dialog dlg(filter, "Select Profile File", wiz_profile_start());
    if (dlg.show()) {
        const std::string path = dlg.get_file_name();
        try {
            if (wiz_job::instance().load_profile_file(path)) wizard_shell::instance().set_last_profile(path);
            else wizard_shell::error(wiz_not_settings_text(path));
        } catch (const tk_exception& e) {
            // A bad profile must not end the wizard: say so and stay here.
            wizard_shell::error(e.what());
        }
    }
}

// ---------------------------------------------------------------- file selection

sel_file_page::sel_file_page() : wizard_page(wiz_files_id, wizb_back | wizb_next, wiz_page_has_help) {
    add_ctrl(-1, K::label, 22, 5, 280, 8, "Enter source and destination file names. Click 'Browse' to find files");
    add_ctrl(-1, K::label, 22, 13, 280, 8, "through directory tree.");
    add_ctrl(-1, K::label, 22, 32, 173, 8, "&PDF document name:");
    add_ctrl(id_source, K::edit, 22, 41, 210, 14);
    add_ctrl(id_browse_src, K::button, 239, 41, 48, 15, "Browse...");
    add_ctrl(id_use_password, K::checkbox, 22, 62, 65, 10, "&Use password:");
    add_ctrl(id_password, K::password, 88, 61, 100, 14);
    add_ctrl(-1, K::label, 22, 81, 180, 8, "MS &Excel document name:");
    add_ctrl(id_dest, K::edit, 22, 90, 210, 14);
    add_ctrl(id_browse_dest, K::button, 239, 90, 48, 15, "Browse...");
}

bool sel_file_page::page_init() {
    wiz_job& job = wiz_job::instance();
    ui().set_text(id(), id_source, job.source());
    proposed_for_ = job.source();
    // A destination from elsewhere (the saved settings, a loaded profile)
    // follows a new source like a proposal; one this page stored keeps what
    // it was, so a typed one stays typed when the user comes back.
    if (job.destination() != stored_dest_) proposed_dest_ = job.destination();
    ui().set_text(id(), id_dest, job.destination());
    const bool has_password = !job.password().empty();
    ui().set_check(id(), id_use_password, has_password);
    enable_ctrl(id_password, has_password);
    ui().set_text(id(), id_password, job.password());
    return true;
}

void sel_file_page::on_command(int ctrl, wiz_notify code) {
    switch (ctrl) {
        case id_source:
            if (code == wiz_notify::kill_focus) on_source_left();
            break;
        case id_browse_dest:
            if (code == wiz_notify::clicked) on_browse_dest();
            break;
        case id_browse_src:
            if (code == wiz_notify::clicked) on_browse_src();
            break;
        case id_use_password:
            if (code == wiz_notify::clicked) on_checkbox();
            break;
        default:
            break;
    }
}

void sel_file_page::on_source_left() {
    const std::string text = read_text(id_source);
    if (text.empty()) return;
    const std::string dest = read_text(id_dest);
    if (dest.empty() || (text != proposed_for_ && dest == proposed_dest_)) make_dest(text);
}

void sel_file_page::on_checkbox() {
    tk_log::write(1, "sel_file_page::on_checkbox(%d)", static_cast<int>(id_use_password));
    // The focus stays on the box: Tab then goes to the password field. Moved
    // into the field, the next Tab would land in the destination, and a
    // password typed there would be shown in clear and saved.
    ui().enable_ctrl(id(), id_password, invert_chbox(id_use_password));
}

void sel_file_page::on_browse_src() {
    open_file_dialog dlg(wiz_pdf_filter(), "Select PDF document to convert", read_text(id_source));
    if (!dlg.show()) return;
    ui().set_text(id(), id_source, dlg.get_file_name());
    // Only a proposed destination follows the source; a chosen one stays.
    const std::string dest = read_text(id_dest);
    if (dest.empty() || dest == proposed_dest_) make_dest(dlg.get_file_name());
}

void sel_file_page::on_browse_dest() {
    save_file_dialog dlg(wiz_xls_filter(), "Select the destination file", read_text(id_dest), "xls");
    if (!dlg.show()) return;
    ui().set_text(id(), id_dest, dlg.get_file_name());
    proposed_dest_.clear();  // chosen by the user
}

void sel_file_page::make_dest(const std::string& source) {
    proposed_dest_ = common_make_dest(read_text(id_dest), name_part(source), "xls", false);
    ui().set_text(id(), id_dest, proposed_dest_);
    proposed_for_ = source;
}

void sel_file_page::store() {
    // A relative source is taken in the folder the wizard was started from
    // and kept in full (the settings and profiles are used from elsewhere);
    // the field shows it.
    std::string source = read_text(id_source);
    if (!source.empty() && source[0] != '/') {
        source = tk_full_path(source);
        ui().set_text(id(), id_source, source);
    }
    std::string dest = read_text(id_dest);
    // A relative name goes beside the source, not into the folder the wizard
    // was started from; the field shows where.
    if (!source.empty() && !dest.empty() && dest[0] != '/') {
        dest = tk_destination_beside_source(dest, source);
        ui().set_text(id(), id_dest, dest);
    }
    const std::string password = ui().get_check(id(), id_use_password) ? read_text(id_password) : std::string();
    wiz_job& job = wiz_job::instance();
    // Another document: the page list chosen for the last one means nothing for it.
    if (source != job.source() && !job.page_range().empty()) job.set_page_range(std::string());
    job.set_source(source);
    job.set_destination(dest);
    stored_dest_ = dest;
    job.set_password(password);
}

int sel_file_page::on_back() {
    store();
    return 0;
}

void sel_file_page::on_help() { wizard_shell::instance().display_help(1013); }

int sel_file_page::on_next() {
    tk_log::write(1, "sel_file_page::on_next");
    store();
    wiz_job& job = wiz_job::instance();
    const std::string source = job.source();
    const std::string dest = job.destination();
    if (source.empty()) {
        wizard_shell::message("You should enter source file name");
        return -1;
    }
    if (dest.empty()) {
        wizard_shell::message("You should enter destination file name");
        return -1;
    }
    if (const char* problem = tk_source_problem(source)) {
        wizard_shell::error(problem);
        return -1;
    }
    try {
        job.check_source(source, job.password());
        job.check_destination(dest);
        // The old workbook stays until the new one is written over it, so a
        // failed or cancelled run does not lose it.
        if (plat_file_can_open(dest, false) &&
            !wizard_shell::question("Destination file already exists. Overwrite?"))
            return -1;
    } catch (const tk_exception& e) {
        wizard_shell::error(e.what());
        return -1;
    }
    return 0;
}

// ---------------------------------------------------------------- settings

settings_page::settings_page() : wizard_page(wiz_settings_id, wizb_back | wizb_next, wiz_page_has_help) {
    add_ctrl(-1, K::label, 22, 5, 280, 16, "On this page you can specify the conversion settings.");
    add_ctrl(-1, K::group, 22, 30, 260, 49, " Page range to convert: ");
    add_ctrl(id_all, K::radio_first, 30, 42, 30, 11, "&All");
    add_ctrl(id_list, K::radio, 60, 42, 40, 11, "&Pages:");
    add_ctrl(id_pages, K::edit, 100, 41, 100, 14);
    add_ctrl(-1, K::label, 30, 56, 220, 8, "Enter page numbers and/or pages ranges separated by commas.");
    add_ctrl(-1, K::label, 30, 65, 200, 8, "For example: 1,3,5-10");
    add_ctrl(id_tables, K::checkbox, 22, 86, 110, 10, "&Recognize graphical tables");
}

bool settings_page::page_init() {
    tk_log::write(1, "settings_page::page_init");
    wiz_job& job = wiz_job::instance();
    ui().set_check(id(), id_tables, job.graph_tab());
    const std::string range = job.page_range();
    ui().set_check(id(), id_list, !range.empty());
    ui().set_check(id(), id_all, range.empty());
    enable_ctrl(id_pages, !range.empty());
    if (!range.empty()) ui().set_text(id(), id_pages, range);
    return true;
}

void settings_page::on_command(int ctrl, wiz_notify code) {
    if (code != wiz_notify::clicked) return;
    if (ctrl == id_tables) {
        tk_log::write(1, "settings_page::on_checkbox(%d)", ctrl);
        invert_chbox(id_tables);
    } else if (ctrl == id_all || ctrl == id_list) {
        tk_log::write(1, "settings_page::on_radio(%d)", ctrl);
        enable_ctrl(id_pages, ctrl == id_list);
    }
}

void settings_page::store() {
    wiz_job& job = wiz_job::instance();
    job.set_graph_tab(ui().get_check(id(), id_tables));
    if (ui().get_check(id(), id_all))
        job.set_page_range(std::string());
    else if (ui().get_check(id(), id_list))
        job.set_page_range(read_text(id_pages));
}

int settings_page::leave() {
    // "Pages" with nothing to convert: a list typed elsewhere by mistake must
    // not turn into every page.
    if (ui().get_check(id(), id_list) && tk_trim(read_text(id_pages)).empty()) {
        wizard_shell::message("You should enter the pages to convert (for example: 1,3,5-10), or choose All.");
        ui().focus_ctrl(id(), id_pages);
        return -1;
    }
    try {
        store();
    } catch (const tk_exception& e) {
        wizard_shell::error(e.what());
        return -1;
    }
    return 0;
}

int settings_page::on_next() { return leave(); }
int settings_page::on_back() { return leave(); }
void settings_page::on_help() { wizard_shell::instance().display_help(1016); }

// ---------------------------------------------------------------- progress

progress_page::progress_page() : wizard_page(wiz_progress_id, wizb_back | wizb_next, wiz_page_has_help) {
    set_header("Step 3 of 3", "Document converting is in progress");
    add_ctrl(-1, K::label, 22, 5, 280, 8,
             "Document converting is in progress. Please wait until the wizard completes");
    add_ctrl(-1, K::label, 22, 13, 280, 8, "converting your PDF document into MS Excel format.");
    add_ctrl(id_bar, K::progress, 22, 107, 270, 15);
    add_ctrl(id_line, K::centred, 77, 94, 145, 10);
}

progress_page::~progress_page() { stop_worker(); }

bool progress_page::page_init() {
    ui().set_buttons(0);
    ui().set_progress(id(), id_bar, 0);
    if (state_.load() != idle) return true;  // one conversion per run of the wizard
    wiz_job::instance();  // required before a worker starts
    state_ = running;
    worker_ = std::thread(&progress_page::worker_entry, this);
    // The timer belongs to the interface thread, so it is started here.
    wizard_shell::instance().start_timer(tick_ms);
    return true;
}

void progress_page::worker_entry() {
    try {
        wiz_job::instance().run();
    } catch (const tk_final_exception&) {
    } catch (const tk_exception& e) {
        try {
            if (error_handler* h = error_handler::find()) h->handle(e, 1);
        } catch (...) {
        }
    } catch (...) {
        // Nothing may escape the thread: report it as the internal error it is.
        try {
            if (error_handler* h = error_handler::find()) h->handle(tk_current_as_internal_error("tk_threa", 149), 1);
        } catch (...) {
        }
    }
    state_ = finished;
}

void progress_page::on_timer(int /*timer*/) {
    wiz_job& job = wiz_job::instance();
    const double x = job.get_percent();
    ui().set_progress(id(), id_bar, static_cast<int>(x));
    // The page being converted counts: page 1 while the first one is made.
    const long count = job.page_count();
    long page = job.pages_done();
    if (state_.load() != finished && page < count) ++page;
    char line[256];
    std::snprintf(line, sizeof line, "Processing page %ld of %ld", page, count);
    ui().set_text(id(), id_line, line);
    // The finish page only once the worker has ended (and the workbook is
    // written); not while the cancel question is open.
    if (state_.load() == finished && !asking_) {
        wizard_shell::instance().stop_timer();
        if (worker_.joinable()) worker_.join();
        ui().go_to_page(wiz_finish_id);
    }
}

void progress_page::on_help() { wizard_shell::instance().display_help(); }

bool progress_page::on_cancel() {
    // While the question is open the run may go on, but its workbook waits:
    // after Yes none is written, after No the run ends as it would have.
    wiz_job& job = wiz_job::instance();
    job.hold_result();
    asking_ = true;
    const bool leave = wizard_page::on_cancel();
    asking_ = false;
    if (leave) stop_worker();
    job.release_result();
    return leave;
}

void progress_page::stop_worker() {
    if (!worker_.joinable()) return;
    // The worker may be waiting for a box; once closing, it gets the default
    // answer instead, so the join cannot hang.
    if (wiz_ui* ui = wiz_ui::find()) ui->begin_closing();
    if (wiz_job* job = wiz_job::find()) job->request_stop();
    worker_.join();
    if (wizard_shell* shell = wizard_shell::find()) shell->stop_timer();
}

// ---------------------------------------------------------------- finish

namespace {
const char* const title_done = "Conversion is Completed";
const char* const title_failed = "Conversion Failed";
const char* const failed_text =
    "The conversion failed: no workbook was written.\nClick 'Finish' to exit the wizard.";
const char* const title_stopped = "Conversion Stopped";
const char* const stopped_text =
    "The conversion was stopped: no workbook was written.\nClick 'Finish' to exit the wizard.";
}  // namespace

gui_finish_page_ex::gui_finish_page_ex(const std::string& success, const std::string& hint,
                                       const std::string& errors)
    : wizard_page(wiz_finish_id, wizb_finish, wiz_page_hide_header), success_(success), errors_text_(errors),
      hint_(hint) {
    tk_log::write(2, "gui_finish_page::ctor");
    add_ctrl(id_title, K::title, 115, 8, 180, 20, title_done);
    add_ctrl(id_text, K::label, 115, 32, 180, 32);
    // The list ends above the hint: after warnings both are shown.
    add_ctrl(id_errors, K::multiline, 115, 68, 175, 78, std::string(), true);
    add_ctrl(id_hint, K::label, 115, 150, 196, 16);
    add_ctrl(id_open, K::checkbox, 115, 172, 100, 8, "&Open on exit");
    add_ctrl(id_save, K::button, 230, 170, 60, 14, "&Save Settings...");
    tk_log::write(2, "gui_finish_page_ex::ctor");
}

bool gui_finish_page_ex::page_init() {
    wiz_job& job = wiz_job::instance();
    wizard_shell& shell = wizard_shell::instance();
    ui().set_check(id(), id_open, job.open_on_exit());
    ui().set_text(id(), id_hint, hint_);
    std::vector<std::string> errors = shell.errors();
    // A run that wrote no workbook is no success, even when nothing was listed.
    if (errors.empty() && !job.succeeded()) errors.push_back("The conversion did not complete.");
    const bool failed = !errors.empty();
    const bool written = job.succeeded();
    // A workbook written with warnings can be opened as well as any other.
    ui().show_ctrl(id(), id_hint, written);
    ui().show_ctrl(id(), id_open, written);
    // Abort on a warning stopped the run: no failure of its own.
    const bool stopped = !written && job.stopped();
    ui().set_text(id(), id_title, written ? title_done : stopped ? title_stopped : title_failed);

    tk_log::write(2, "gui_finish_page::page_init");
    shell.enable_button(wiz_id_cancel, false);
    shell.enable_button(wiz_id_help, false);
    if (!failed) {
        tk_log::write(2, "Display success-message");
        ui().set_text(id(), id_text, success_);
        return true;
    }
    tk_log::write(2, "Display errors");
    // Warnings beside a written workbook keep the errors text; without a
    // workbook the page says that the conversion failed or was stopped.
    ui().set_text(id(), id_text, written ? errors_text_ : stopped ? stopped_text : failed_text);
    ui().show_ctrl(id(), id_errors, true);
    ui().set_text(id(), id_errors, std::string());
    for (const std::string& text : errors) {
        ui().append_text(id(), id_errors, text);
        ui().append_text(id(), id_errors, "\n\n");
    }
    ui().set_read_only(id(), id_errors, true);
    return true;
}

void gui_finish_page_ex::on_command(int ctrl, wiz_notify code) {
    if (ctrl == id_open && code == wiz_notify::clicked) {
        wiz_job::instance().set_open_on_exit(invert_chbox(id_open));
    } else if (ctrl == id_save && code == wiz_notify::clicked) {
        on_store();
    } else if (ctrl == id_errors && code == wiz_notify::set_focus) {
        on_eb_focus();
    }
}

void gui_finish_page_ex::on_eb_focus() {
    tk_log::write(1, "gui_finish_page::on_eb_focus");
    if (!first_focus_) return;
    ui().focus_button(wiz_id_finish);
    first_focus_ = false;
}

bool gui_finish_page_ex::on_finish() {
    tk_log::write(1, "gui_finish_page_ex::on_finish");
    wiz_job& job = wiz_job::instance();
    const bool open = ui().get_check(id(), id_open);
    job.set_open_on_exit(open);
    if (!open) return true;
    const std::string path = job.destination();
    tk_log::write(2, "SAFE PATH=%s", path.c_str());
    // Only a workbook that is there: a failed run may have written none.
    if (job.succeeded() && plat_file_can_open(path, false)) ui().open_document(path);
    return true;
}

bool gui_finish_page_ex::on_cancel() {
    // The run is over: the close box ends the wizard as Finish does, with
    // "Open on exit".
    return on_finish();
}

void gui_finish_page_ex::on_store() {
    const wiz_filter filter = wiz_profile_filter(profile_ext_, 141);
    tk_log::write(1, "gui_finish_page_t::on_store(Profile Files (.%s)|*.%s|All Files (*.*)|*.*|)",
                  profile_ext_.c_str(), profile_ext_.c_str());
    save_file_dialog dlg(filter, "Select Profile File", wiz_profile_start(), profile_ext_.c_str());
    if (!dlg.show()) return;
    // The dialog adds the extension after the user chose: the replace
    // question is asked of the name that will be written.
    if (plat_reading_kind(dlg.get_file_name()) != plat_path_kind::missing &&
        !wizard_shell::question(dlg.get_file_name() + " already exists.\nDo you want to replace it?"))
        return;
    if (wiz_job::instance().store_profile_file(dlg.get_file_name()))
        wizard_shell::instance().set_last_profile(dlg.get_file_name());
    else
        wizard_shell::error("The settings could not be saved to " + dlg.get_file_name() + ".");
}
