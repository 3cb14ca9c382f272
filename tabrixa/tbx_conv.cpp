#include "tabrixa/tbx_conv.h"

#include <GlobalParams.h>
#include <PDFDoc.h>
#include <SplashOutputDev.h>
#include <splash/SplashTypes.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <new>
#include <optional>

#include "PDFR/pdf_doc.h"
#include "PDFR/pdf_splash.h"
#include "PDFR/pdf_ulin.h"
#include "TK/tk_errh.h"
#include "TK/tk_except.h"
#include "TK/tk_log.h"
#include "TK/tk_prof.h"
#include "TK/tk_texts.h"
#include "TK/tk_utils.h"
#include "XLS/xls_workbook.h"
#include "platform/plat_abort.h"
#include "platform/plat_files.h"
#include "tabrixa/ExcelOutputDev.h"
#include "tabrixa/PageWarning.h"

const char* const xelvio_convertor::invalid_page_range = "Invalid page range";

namespace {
const char* const key_password = "password";
const char* const key_pages = "pages";
const char* const key_graph_tab = "graph_tab";
const char* const key_open_on_exit = "open_on_exit";

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// A page number: digits (after a '+', as it was always taken), 1 to
// INT_MAX, blanks around it allowed.
bool read_page_number(const std::string& text, int& page) {
    size_t i = 0, end = text.size();
    while (i < end && is_blank(text[i])) ++i;
    while (end > i && is_blank(text[end - 1])) --end;
    if (i < end && text[i] == '+') ++i;
    if (i == end) return false;
    long long value = 0;
    for (; i < end; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX) return false;
    }
    if (value < 1) return false;
    page = static_cast<int>(value);
    return true;
}

// Names the piece that is wrong: "1;2" or "1.5" would otherwise pass for page 1.
[[noreturn]] void bad_range(const std::string& piece) {
    throw tk_exception(std::string(xelvio_convertor::invalid_page_range) + ": \"" + piece + "\"", tk_level_error);
}

// The page's ruling lines could not be looked for: its tables come out as
// plain text, and the user is told so; the conversion goes on.
void warn_no_raster(int page) {
    tbx::warnAboutPage(tbx::pageName(page) +
                       " is too large to look for ruled tables: its tables are converted as plain text.");
}

// What ends the process when the PDF core runs out of memory: the report
// of any other shortage of memory.
std::string memory_abort_text(const std::string& text) { return error_handler::console_lines(text, tk_level_error); }

void warn_unreadable(int page) {
    tbx::warnAboutPage(tbx::pageName(page) +
                       " cannot be read (the document is damaged there): its worksheet is empty.");
}
}  // namespace

xelvio_convertor::xelvio_convertor(bool persistent) : tk_serializer(settings_key), persistent_(persistent) {
    if (persistent_) {
        serialize(false);
        // A password an older version left in the plain-text settings goes at once.
        if (!password.empty() && key_.create(plat_hkey_current_user, key_path_.c_str()) == plat_reg_ok) {
            key_.delete_value(key_password);
            key_.close();
        }
    }
    // The PDF core's process-wide settings live as long as the converter.
    {
        plat_memory_abort short_of_memory(memory_abort_text(out_of_memory_text()));
        globalParams = std::make_unique<GlobalParams>();
    }
    pdf_silence_core_errors();
}

xelvio_convertor::~xelvio_convertor() {
    if (persistent_) {
        try {
            serialize(true);
        } catch (const std::exception& e) {
            tk_log::write(3, "ERROR:\n%s", e.what());
        }
    }
    globalParams.reset();
}

bool xelvio_convertor::abort_check(void* data) {
    auto* self = static_cast<xelvio_convertor*>(data);
    return self->stop_requested() || self->budget_.exceeded();
}

void xelvio_convertor::run() {
    if (source.empty() || destination.empty()) throw tk_mail_assertion("tbx_conv", 124);
    plat_local_time now = plat_now();
    tk_log::write(3, "Conversion started on %02d/%02d/%04d at %02d:%02d:%02d\n", now.day, now.month, now.year,
                  now.hour, now.minute, now.second);
    tk_log::write(3, "src=[%s]\ndest=[%s]", source.c_str(), destination.c_str());
    // Every run counts its own pages (a second conversion in one wizard session
    // must not start where the first one ended).
    pages_done = 0;
    page_count = 0;
    too_complex_.clear();
    sound_resources_.clear();
    cmaps_told_.clear();
    succeeded_ = false;
    try {
        // A missing source is said to be missing (a quick launch from another
        // folder names one), not taken for a damaged document.
        if (const char* problem = tk_source_problem(source)) throw tk_exception(problem, tk_level_error);
        // Whatever would stop the final write is found before the first page
        // (and the destination never replaces the document being read).
        common_check_dest(destination, source);
        // The PDF core aborts when it cannot allocate: the run then ends as
        // it does when memory runs out anywhere else.
        plat_memory_abort short_of_memory(memory_abort_text(out_of_memory_text()));
        std::unique_ptr<PDFDoc> doc = pdf_open_source(source, password, password_hint);
        // Page N is the N-th page the page tree writes, whether the core can read it or not.
        page_leaves_ = pdf_page_leaves(*doc);
        if (page_leaves_.empty())
            for (int i = 1; i <= doc->getNumPages(); ++i) page_leaves_.push_back(i);
        const int doc_pages = static_cast<int>(page_leaves_.size());
        // The map let go of the pages it read: they are read again, one at a
        // time, from an opening of their own.
        doc = pdf_open_source(source, password, password_hint);
        if (const std::string why = pdf_drop_broken_form_fields(*doc); !why.empty())
            tbx::warnAboutPage("The document's form-field tree is damaged (" + why +
                               "): its fields are converted as the pages show them.");
        page_count = page_list.empty() ? doc_pages : static_cast<int>(page_list.size());
        check_sheet_count(doc_pages);

        pdf_uline_processor collector(true);
        // The raster device withholds thin shapes as ruling lines for the collector.
        SplashColor paper = {255, 255, 255};
        pdf_splash_dev splash(splashModeRGB8, 1, false, paper, true);
        splash.startDoc(doc.get());
        ExcelOutputDev excel(destination.c_str(), 0, 0, 0);
        int read_pages = 0, unreadable_pages = 0, complex_pages = 0;
        // The workbook is written only when no stop came and the owner does
        // not hold the result back (it waits for that to end).
        const auto write_workbook = [&] {
            // The core's work is done; its temporary file's cleanup needs SIGABRT.
            short_of_memory.release();
            if (!begin_result()) return false;
            try {
                excel.save();
            } catch (...) {
                end_result();
                throw;
            }
            end_result();
            return true;
        };
        try {
            const bool listed = !page_list.empty();
            std::vector<int> shown;
            for (int i = 0; i < page_count; ++i)
                if (int page = listed ? page_list[static_cast<size_t>(i)] : i + 1; page <= doc_pages)
                    shown.push_back(core_page(page));
            // Memory stays flat in the number of pages: the core holds the page being converted (and
            // those the run comes back to), not every page it has read.
            pdf_page_turner turner(*doc, shown);
            while (!stop_requested() && pages_done < page_count) {
                int page = listed ? page_list[static_cast<size_t>(pages_done.load())] : pages_done + 1;
                if (page <= doc_pages) {
                    // A damaged page keeps its place as an empty worksheet.
                    page_read_ = true;
                    turner.reach(core_page(page));
                    convert_page(&excel, &splash, doc.get(), page);
                    turner.done(core_page(page));
                    if (page_read_) ++read_pages;
                    else ++unreadable_pages;
                    if (!page_read_ && too_complex_.count(page)) ++complex_pages;
                } else {
                    tk_log::write(1, "Page is our of range %d > %d", page, doc_pages);
                }
                if (stop_requested()) break;
                ++pages_done;
                short_of_memory.set_text(memory_abort_text(out_of_memory_text()));
            }
        } catch (...) {
            // Keep the pages finished so far, as far as they can be written,
            // before the error is reported (not when memory ran out: the
            // workbook may lack part of a page).
            if (!stop_requested() && !out_of_memory()) {
                try {
                    write_workbook();
                } catch (...) {
                }
            }
            throw;
        }
        // A stopped run writes no workbook, nor one of nothing but damaged pages.
        if (stop_requested()) return;
        if (unreadable_pages > 0 && read_pages == 0) {
            // Pages over their budget are no sign of a damaged document.
            if (complex_pages == unreadable_pages)
                throw tk_exception(std::string("No page was converted: every ") +
                                       (page_list.empty() ? "page" : "selected page") +
                                       " is too complex to convert (the warnings above say why).",
                                   tk_level_error);
            // A page list may pick out just the damaged pages of a sound document.
            if (!page_list.empty())
                throw tk_exception("No page was converted: no selected page could be read (the warnings above say "
                                   "why).",
                                   tk_level_error);
            throw tk_exception(pdf_text_unreadable, tk_level_error);
        }
        if (!write_workbook()) return;
        succeeded_ = true;
    } catch (...) {
        if (!out_of_memory()) {
            tk_report_current(1, "tbx_conv", 175);
        } else {
            try {
                report_out_of_memory();
            } catch (...) {
                // Not even room for the text: the bare report.
                tk_report_current(1, "tbx_conv", 175);
            }
        }
    }
}

bool xelvio_convertor::out_of_memory() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return true;
    } catch (...) {
    }
    return false;
}

std::string xelvio_convertor::out_of_memory_text() const {
    const int done = pages_done;
    std::string text = "Not enough memory: the conversion stopped ";
    if (done == 0) text += "before its first page was converted";
    else text += "after page " + std::to_string(page_list.empty() ? done : page_list[static_cast<size_t>(done - 1)]);
    return text + "; no workbook was written.";
}

void xelvio_convertor::report_out_of_memory() {
    // Everything the run held is released by now, so the report has memory.
    try {
        throw tk_exception(out_of_memory_text(), tk_level_error);
    } catch (...) {
        tk_report_current(1, "tbx_conv", 175);
    }
}

void xelvio_convertor::check_sheet_count(int doc_pages) const {
    // One worksheet per converted page; listed pages beyond the end are skipped.
    const size_t sheets = page_list.empty()
                              ? static_cast<size_t>(doc_pages)
                              : static_cast<size_t>(std::count_if(page_list.begin(), page_list.end(),
                                                                  [doc_pages](int page) { return page <= doc_pages; }));
    // Nothing to convert: say why, with the document's page count.
    if (sheets == 0)
        throw tk_exception(doc_pages == 0 ? std::string("No page was converted: the document has no pages.")
                                          : "No page was converted: every listed page is beyond the end of the "
                                            "document, which has " +
                                                std::to_string(doc_pages) + (doc_pages == 1 ? " page." : " pages."),
                           tk_level_error);
    if (sheets > xls_core::max_sheets)
        throw tk_exception(std::string(xls_core::too_many_sheets) + " The pages to convert would need " +
                               std::to_string(sheets) + ".",
                           tk_level_error);
}

int xelvio_convertor::core_page(int page) const {
    // The core's number of the page (0: it has none; the page keeps an empty worksheet).
    return page_leaves_.empty() ? page
           : page >= 1 && page <= static_cast<int>(page_leaves_.size()) ? page_leaves_[static_cast<size_t>(page - 1)]
                                                                         : 0;
}

void xelvio_convertor::convert_page(ExcelOutputDev* excel, SplashOutputDev* splash, PDFDoc* doc, int page) {
    tk_log::write(2, "xelvio_convertor::convert_page(%d)", page);
    const int core = core_page(page);
    const double dpi = static_cast<double>(resolution);
    auto* lines_dev = dynamic_cast<pdf_splash_dev*>(splash);
    pdf_page_notes notes;
    notes.max_stream_bytes = page_limits.stream_bytes;
    const bool readable = core > 0 && pdf_page_readable(*doc, core, &sound_resources_, &notes);
    if (!readable) {
        warn_unreadable(page);
    } else {
        std::sort(notes.left_out.begin(), notes.left_out.end());
        notes.left_out.erase(std::unique(notes.left_out.begin(), notes.left_out.end()), notes.left_out.end());
        for (const std::string& why : notes.left_out)
            tbx::warnAboutPage(tbx::pageName(page) + " " + why + "; that part is left out.");
        for (const std::string& cmap : notes.missing_cmaps)
            if (cmaps_told_.insert(cmap).second)
                tbx::warnAboutPage(tbx::pageName(page) + " uses the character map " + cmap +
                                   ", which is not installed (Debian package poppler-data): the text in it is "
                                   "missing from this page and any later one.");
    }
    // A page found too complex earlier in the list is not played again.
    const bool play = readable && too_complex_.find(page) == too_complex_.end();
    budget_.set_limits(page_limits);
    budget_.start();
    bool raster_made = true;
    if (play) {
        if (lines_dev) {
            lines_dev->set_budget(&budget_);
            raster_made = lines_dev->display_page(doc, core, dpi, &abort_check, this);
            lines_dev->set_budget(nullptr);
        } else {
            doc->displayPage(splash, core, dpi, dpi, 0, false, true, false, &abort_check, this,
                             &pdf_page_budget::annotation_callback, &budget_);
        }
        if (!budget_.spent()) {
            excel->setBudget(&budget_);
            doc->displayPage(excel, core, 72.0, 72.0, 0, false, true, true, &abort_check, this,
                             &pdf_page_budget::annotation_callback, &budget_);
            excel->setBudget(nullptr);
        }
    }
    tk_log::write(2, "Right after processing page #%d", page);
    if (stop_requested()) return;
    if (play && budget_.spent()) too_complex_.emplace(page, budget_.reason());
    page_read_ = play && !budget_.spent();
    if (!page_read_) {
        // Nothing of the page is kept: an empty worksheet holds its place.
        if (auto over = too_complex_.find(page); readable && over != too_complex_.end())
            tbx::warnAboutPage(tbx::pageName(page) + " is too complex: " + over->second + "; its worksheet is empty.");
        pdf_uline_processor::instance().flush();
        excel->startPage(page, nullptr, nullptr);
        excel->finishPage();
        return;
    }
    // Told once the page is played: a warning may wait for the user's answer.
    if (!raster_made) warn_no_raster(page);
    excel->setPageNumber(page);
    // A page the core could not start has no raster to paint into.
    if (Splash* raster = splash->getSplash()) pdf_uline_processor::instance().undo_lines(raster);
    excel->finishPage();
}

void xelvio_convertor::set_page_range(const std::string& text) {
    tk_log::write(1, "xelvio_convertor::set_page_range(%s)", text.c_str());
    page_list.clear();
    page_range = text;
    parse_page_range(text, page_list);
}

void xelvio_convertor::parse_page_range(const std::string& text, std::vector<int>& list) {
    for (const std::string& raw : tk_split(text, ',')) {
        std::string piece = tk_trim(raw);
        if (piece.find('-') == std::string::npos) {
            int page = 0;
            if (!read_page_number(piece, page)) bad_range(piece);
            if (list.size() >= static_cast<size_t>(max_listed_pages)) bad_range(piece);
            tk_log::write(1, "Store page #%d", page);
            list.push_back(page);
            continue;
        }
        tk_log::write(1, "Got page range: %s", piece.c_str());
        std::vector<std::string> ends = tk_split(piece, '-');
        int first = 0, last = 0;
        if (ends.size() != 2 || !read_page_number(ends[0], first) || !read_page_number(ends[1], last) ||
            last <= first)
            bad_range(piece);
        // More pages than any document holds: refuse before allocating them.
        if (static_cast<long long>(last) - first + 1 + static_cast<long long>(list.size()) > max_listed_pages)
            bad_range(piece);
        for (int page = first;; ++page) {
            if (tk_log::active(1)) tk_log::write(1, "Store page #%d", page);
            list.push_back(page);
            if (page == last) break;
        }
    }
}

bool xelvio_convertor::load_profile(const tk_profile& profile) {
    const std::string section = tk_text(tk_txt_generic_section);
    // Checked in the order they would be taken, before anything is taken.
    tk_converter::check_profile(profile);
    const std::string pages = profile.get_value(section, key_pages);
    std::vector<int> list;
    if (!pages.empty()) parse_page_range(pages, list);

    take_profile(profile);
    std::string value = profile.get_value(section, key_password);
    if (!value.empty()) password = value;
    if (!pages.empty()) {
        page_range = pages;
        page_list = std::move(list);
    }
    value = profile.get_value(section, key_graph_tab);
    if (!value.empty()) graph_tab = value == "1";
    value = profile.get_value(section, key_open_on_exit);
    if (!value.empty()) open_on_exit = value == "1";
    return true;
}

bool xelvio_convertor::load_profile_file(const std::string& path) {
    tk_profile profile;
    read_settings_file(profile, path);
    return load_profile(profile);
}

std::vector<std::string> xelvio_convertor::profile_keys() const {
    std::vector<std::string> keys = tk_converter::profile_keys();
    keys.insert(keys.end(), {key_password, key_pages, key_graph_tab, key_open_on_exit});
    return keys;
}

bool xelvio_convertor::store_profile(tk_profile& profile) {
    if (!tk_converter::store_profile(profile)) return false;
    const std::string section = tk_text(tk_txt_generic_section);
    profile.set_value(section, key_graph_tab, graph_tab ? "1" : "0");
    profile.set_value(section, key_open_on_exit, open_on_exit ? "1" : "0");
    if (!password.empty()) profile.set_value(section, key_password, password);
    if (!page_range.empty()) profile.set_value(section, key_pages, page_range);
    return true;
}

bool xelvio_convertor::serialize(bool store) {
    tk_log::write(1, "serialize( %d )", store ? 1 : 0);
    if (key_.create(plat_hkey_current_user, key_path_.c_str()) != plat_reg_ok) return false;
    bool ok = key_.serialize_string("dest", destination, store);
    if (!store) open_on_exit = true;
    ok = key_.serialize_flag("open on exit", open_on_exit, store) && ok;
    ok = key_.serialize_string("pages", page_range, store) && ok;
    // The settings file is plain text: a password is read from it when an
    // older version left one there, but never written, and removed on store.
    if (store) ok = key_.delete_value("password") == plat_reg_ok && ok;
    else ok = key_.serialize_string("password", password, store) && ok;
    ok = key_.serialize_string("src", source, store) && ok;
    if (!store) graph_tab = true;
    ok = key_.serialize_flag("graph_tab", graph_tab, store) && ok;
    key_.close();
    return ok;
}

double xelvio_convertor::get_percent() const {
    unsigned long long count = static_cast<unsigned>(page_count.load());
    if (count == 0) return 0.0;
    unsigned long long done = static_cast<unsigned>(pages_done.load());
    return static_cast<double>(done * 100 / count);
}
