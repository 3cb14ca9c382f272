// The conversion job: the settings of one conversion, page lists, profiles,
// the settings store, and the run that plays every selected page through the
// PDF core twice (raster pass for ruling lines, text pass into the workbook).
#pragma once

#include <atomic>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <Object.h>

#include "PDFR/pdf_budget.h"
#include "TK/tk_conv.h"
#include "TK/tk_regk.h"
#include "TK/tk_singl.h"

class ExcelOutputDev;
class SplashOutputDev;
class PDFDoc;
class tk_profile;

class xelvio_convertor : public tk_converter, public tk_singleton<xelvio_convertor>, public tk_serializer {
public:
    // Where the wizard keeps its settings (below the user's configuration folder).
    static constexpr const char* settings_key = "Software\\Vantrel\\Tabrixa";
    // A PDF holds at most this many objects, so no document has more pages:
    // a longer page list is refused rather than allocated.
    static constexpr int max_listed_pages = 8388607;

    // persistent: load the settings store now and write it back at destruction
    // (the wizard); the console program passes false and never touches it.
    explicit xelvio_convertor(bool persistent = false);
    ~xelvio_convertor() override;

    // The conversion. Source and destination must be set (else an internal
    // error reaches the caller); every other failure goes to the error handler.
    void run() override;
    // Both passes of one page (numbered from 1 as the page tree writes the
    // pages), then the end of the page. A page over its budget keeps an empty
    // worksheet. Virtual so that tests can make a page fail part-way through a run.
    virtual void convert_page(ExcelOutputDev* excel, SplashOutputDev* splash, PDFDoc* doc, int page);

    // "1,3,5-10": numbers and rising ranges, blanks allowed around them;
    // throws tk_exception level 1 "Invalid page range: " and the piece in
    // quotes for anything else ("1;2", "1.5"). An empty text means every page.
    void set_page_range(const std::string& text);
    // The same parse, appending to list: the pages before a bad piece stay there.
    static void parse_page_range(const std::string& text, std::vector<int>& list);

    // The whole profile is checked before any of it is taken: a bad page list
    // or log file throws and leaves every setting as it was.
    bool load_profile(const tk_profile& profile) override;
    // Loads a settings file (tk_converter::read_settings_file) and applies
    // it; a file that is none throws, naming it.
    bool load_profile_file(const std::string& path);
    std::vector<std::string> profile_keys() const override;
    bool store_profile(tk_profile& profile) override;

    // The settings store: false = load, true = store. True when the key opened
    // and all six values were transferred. The password is only ever loaded:
    // a store removes it from the file.
    bool serialize(bool store);
    // pages_done * 100 / page_count, truncated; 0 without pages.
    double get_percent() const;
    // The settings store is not written back at destruction (a quick launch
    // that could not start leaves the saved settings as they were).
    void keep_saved_settings() { persistent_ = false; }
    // Whether the last run wrote the whole workbook.
    bool succeeded() const { return succeeded_.load(); }

    std::string page_range;
    std::string password;
    // Said after "needs a password": how the program running this takes one.
    std::string password_hint;
    bool graph_tab = true;
    bool open_on_exit = false;
    int resolution = 150;
    std::vector<int> page_list;
    // Written by the run's thread, read by the wizard's interface thread.
    std::atomic<int> pages_done{0};
    std::atomic<int> page_count{0};
    // What one page may cost to play (time, memory, single shapes and images).
    pdf_page_budget::limits page_limits;

    static const char* const invalid_page_range;

private:
    static bool abort_check(void* data);
    // Refuses, before the first page, a run that needs more worksheets than
    // a workbook holds.
    void check_sheet_count(int doc_pages) const;
    // Inside a handler: whether the exception being handled is a failed
    // allocation; the report of one names the last page converted.
    static bool out_of_memory();
    // "Not enough memory: the conversion stopped after page N; ...", as far as the run has come.
    std::string out_of_memory_text() const;
    void report_out_of_memory();

    // The core's number of each page as the page tree writes them (0: none).
    std::vector<int> page_leaves_;
    std::set<Ref> sound_resources_;  // what the pages checked so far share, found sound
    std::set<std::string> cmaps_told_;  // missing character maps the user was told of
    int core_page(int page) const;
    pdf_page_budget budget_;
    // Why each page of this run went over its budget: a list that comes back
    // to such a page gets the same empty worksheet without playing it again.
    std::map<int, std::string> too_complex_;
    // Whether convert_page converted the page's content (not damaged, not too complex).
    bool page_read_ = true;
    bool persistent_;
    std::atomic<bool> succeeded_{false};
};
