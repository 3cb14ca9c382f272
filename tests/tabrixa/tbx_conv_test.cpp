// The converter: page lists, profiles, settings store, progress and the run.
#include "tabrixa/tbx_conv.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>
#include <stdexcept>
#include <tuple>

#include "TK/tk_errh.h"
#include "TK/tk_except.h"
#include "TK/tk_log.h"
#include "TK/tk_prof.h"
#include "TK/tk_regk.h"
#include "tests/support/mini_pdf.h"
#include "tests/support/temp_dir.h"

namespace {
namespace fs = std::filesystem;

struct Conv : temp_dir_test {
    void SetUp() override {
        temp_dir_test::SetUp();
        use_config_home(dir / "config");
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(path(name), std::ios::binary) << text;
        return path(name);
    }
    static std::string read(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // A document whose page n shows "page n".
    std::string pdf(const std::string& name, int pages) const {
        std::vector<std::string> content;
        for (int i = 1; i <= pages; ++i) content.push_back(mini_pdf::text(72, 700, "page " + std::to_string(i)));
        mini_pdf::write(path(name), content);
        return path(name);
    }
};

std::vector<int> pages(xelvio_convertor& c, const std::string& text) {
    c.set_page_range(text);
    return c.page_list;
}

// The message names the piece that is wrong (the whole text when not given).
void expect_invalid(xelvio_convertor& c, const std::string& text, std::vector<int> kept = {},
                    const char* piece = nullptr) {
    try {
        c.set_page_range(text);
        ADD_FAILURE() << "accepted: " << text;
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.level(), 1) << text;
        EXPECT_EQ(std::string(e.what()), "Invalid page range: \"" + std::string(piece ? piece : text.c_str()) + "\"")
            << text;
    }
    EXPECT_EQ(c.page_list, kept) << text;
    EXPECT_EQ(c.page_range, text);
}
}  // namespace

TEST_F(Conv, PageListsKeepOrderAndDuplicates) {
    xelvio_convertor c;
    EXPECT_EQ(pages(c, "3, 1-2 ,3"), (std::vector<int>{3, 1, 2, 3}));
    EXPECT_EQ(pages(c, ""), std::vector<int>{});
    EXPECT_EQ(pages(c, " 2 - 4 "), (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(pages(c, "1, 3"), (std::vector<int>{1, 3}));
    EXPECT_EQ(pages(c, "\t2-3\t"), (std::vector<int>{2, 3}));
    EXPECT_EQ(pages(c, "+2,1 - 2"), (std::vector<int>{2, 1, 2}));
    EXPECT_EQ(pages(c, "2147483647"), std::vector<int>{2147483647});
    EXPECT_EQ(c.page_range, "2147483647");
}

TEST_F(Conv, BadPageListsAreRefused) {
    xelvio_convertor c;
    for (const char* text : {"5-5", "4-2", "0", "1-", "-3", "1-2-3", "abc", "-", "2147483648", "99999999999",
                             "1-2147483648", "0-3"})
        expect_invalid(c, text);
    expect_invalid(c, " , ", {}, "");
    expect_invalid(c, "1,,2", {1}, "");
    expect_invalid(c, "1,", {1}, "");
    // Each of these once converted page 1 alone: a number is digits, nothing else.
    for (const char* text : {"1;2", "1.5", "1x", "7x", "1 2", "1e3", "+", "+-3", "1-2x", "0x10"}) expect_invalid(c, text);
    expect_invalid(c, "2, 1;3", {2}, "1;3");
}

TEST_F(Conv, HugeRangesAreRefusedBeforeAllocation) {
    xelvio_convertor c;
    expect_invalid(c, "1-2147483647");
    expect_invalid(c, "1-8388608");
    EXPECT_EQ(pages(c, "1-3,5").size(), 4u);
    // Many ranges that together list more pages than a document can hold.
    EXPECT_THROW(c.set_page_range("1-5000000,1-5000000"), tk_exception);
    EXPECT_EQ(c.page_list.size(), 5000000u);  // the first range stands, the second was refused
}

TEST_F(Conv, ProfileSettings) {
    xelvio_convertor c;
    EXPECT_TRUE(c.graph_tab);
    EXPECT_FALSE(c.open_on_exit);
    EXPECT_EQ(c.resolution, 150);
    // Written by a Windows editor: CR LF line ends.
    ASSERT_TRUE(c.load_profile_file(write(
        "a.ini", "[Generic settings]\r\nsrc=in.pdf\r\ndest=out.xls\r\npassword=pw\r\npages=2-3\r\n"
                 "graph_tab=1\r\nopen_on_exit=1\r\n")));
    EXPECT_EQ(c.source, "in.pdf");
    EXPECT_EQ(c.destination, "out.xls");
    EXPECT_EQ(c.password, "pw");
    EXPECT_EQ(c.page_list, (std::vector<int>{2, 3}));
    EXPECT_TRUE(c.graph_tab);
    EXPECT_TRUE(c.open_on_exit);
    ASSERT_TRUE(c.load_profile_file(write("b.ini", "[Generic settings]\ngraph_tab=true\nopen_on_exit=\n")));
    EXPECT_FALSE(c.graph_tab);    // anything but "1" turns it off
    EXPECT_TRUE(c.open_on_exit);  // an empty value changes nothing
    EXPECT_EQ(c.source, "in.pdf");
    // A key before the first section is skipped alone; comments say nothing;
    // keys and values lose the white space around them (tabs too).
    EXPECT_TRUE(c.load_profile_file(write("c.ini", "; my settings\nsrc=other.pdf\n[Generic settings]\n"
                                                   "# conversion\n\tgraph_tab = 1\t\n dest = out 2.xls \n")));
    EXPECT_EQ(c.source, "in.pdf");
    EXPECT_TRUE(c.graph_tab);
    EXPECT_EQ(c.destination, "out 2.xls");
    // A file that sets nothing is refused, naming it: it would convert as if
    // no profile were given, over the default workbook.
    for (const char* text : {"", " \n\n", "; src=a.pdf\n", "[Other]\nsrc=a.pdf\n", "src=a.pdf\n",
                             "[Generic settings]\nlogfile=\nsomething=1\n"}) {
        const std::string file = write("nothing.ini", text);
        try {
            c.load_profile_file(file);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const tk_exception& e) {
            EXPECT_EQ(e.level(), 1);
            EXPECT_EQ(std::string(e.what()), "Profile \"" + file + "\" sets nothing: it holds no known key of "
                                             "[Generic settings] (src, dest, pages, ...). Please verify the correct "
                                             "path/name was given.");
        }
    }
    EXPECT_EQ(c.destination, "out 2.xls");
    // A refused profile takes nothing, not even the keys before the bad one.
    const auto settings = [&c] {
        return std::make_tuple(c.source, c.destination, c.password, c.page_range, c.page_list, c.graph_tab,
                               c.open_on_exit, c.log_file);
    };
    const auto kept = settings();
    for (const char* bad : {"pages=4-2\n", "pages=5\nlogfile=" "/no/such/folder/t.log\n"}) {
        EXPECT_THROW(c.load_profile_file(write("d.ini", std::string("[Generic settings]\nsrc=d.pdf\ndest=d.xls\n"
                                                                     "password=x\ngraph_tab=1\nopen_on_exit=0\n") +
                                                             bad)),
                     tk_exception)
            << bad;
        EXPECT_EQ(settings(), kept) << bad;
    }
    EXPECT_THROW(c.load_profile_file(path("missing.ini")), tk_exception);
}

TEST_F(Conv, StoreProfileWritesTheConversionSettings) {
    xelvio_convertor c;
    c.source = "/in/report.pdf";
    c.destination = "/out/report.xls";
    c.graph_tab = false;
    tk_profile p;
    ASSERT_TRUE(c.store_profile(p));
    ASSERT_TRUE(p.store(path("p.ini")));
    EXPECT_EQ(read(path("p.ini")),
              "[Generic settings]\ndest=/out/report.xls\ngraph_tab=0\nlogfile=\nopen_on_exit=0\n"
              "src=/in/report.pdf\n\n");
    c.password = "secret";
    c.set_page_range("1-3");
    tk_profile q;
    c.store_profile(q);
    EXPECT_EQ(q.get_value("Generic settings", "password"), "secret");
    EXPECT_EQ(q.get_value("Generic settings", "pages"), "1-3");
}

TEST_F(Conv, PercentIsTruncated) {
    xelvio_convertor c;
    EXPECT_EQ(c.get_percent(), 0.0);
    c.page_count = 7;
    c.pages_done = 3;
    EXPECT_EQ(c.get_percent(), 42.0);
    c.pages_done = 7;
    EXPECT_EQ(c.get_percent(), 100.0);
}

TEST_F(Conv, SettingsStoreRoundTrip) {
    {
        xelvio_convertor fresh(true);
        // Nothing stored yet: both flags come up true.
        EXPECT_TRUE(fresh.graph_tab);
        EXPECT_TRUE(fresh.open_on_exit);
        fresh.source = "/in/a b.pdf";
        fresh.destination = "/out/a.xls";
        fresh.password = "Pa55-word";
        fresh.page_range = "1,3";
        fresh.graph_tab = false;
        fresh.open_on_exit = false;
    }  // stored at destruction
    const fs::path settings = dir / "config" / "Vantrel" / "Tabrixa" / "settings";
    ASSERT_TRUE(fs::exists(settings));
    // The file is plain text: the password never goes in.
    EXPECT_EQ(read(settings.string()).find("Pa55-word"), std::string::npos);
    {
        xelvio_convertor back(true);
        EXPECT_EQ(back.source, "/in/a b.pdf");
        EXPECT_EQ(back.destination, "/out/a.xls");
        EXPECT_EQ(back.password, "");
        EXPECT_EQ(back.page_range, "1,3");
        EXPECT_TRUE(back.page_list.empty());  // the text only
        EXPECT_FALSE(back.graph_tab);
        EXPECT_FALSE(back.open_on_exit);
    }
    // A password left in the file by an older version is still read, and
    // gone after the next store.
    {
        tk_reg_key key;
        ASSERT_EQ(key.create(plat_hkey_current_user, xelvio_convertor::settings_key), plat_reg_ok);
        ASSERT_EQ(key.set_value("Old-pw", "password"), plat_reg_ok);
    }
    {
        xelvio_convertor old(true);
        EXPECT_EQ(old.password, "Old-pw");
        EXPECT_TRUE(old.serialize(true));
    }
    const std::string text = read(settings.string());
    EXPECT_EQ(text.find("Old-pw"), std::string::npos);
    EXPECT_EQ(text.find("password"), std::string::npos);
    EXPECT_NE(text.find("/in/a b.pdf"), std::string::npos);
}

TEST_F(Conv, ConsoleConverterLeavesTheStoreAlone) {
    { xelvio_convertor c; }
    EXPECT_FALSE(fs::exists(dir / "config"));
}

TEST_F(Conv, RunWithoutPathsIsInternalError) {
    xelvio_convertor c;
    c.source = "x.pdf";
    try {
        c.run();
        FAIL();
    } catch (const tk_mail_assertion& e) {
        EXPECT_STREQ(e.what(), "Internal error: \ncode=7462785f636f6e765c313234");  // tbx_conv\124
    }
}

TEST_F(Conv, RunConvertsListedPagesAndSkipsThoseBeyondTheEnd) {
    xelvio_convertor c;
    error_handler h;
    c.source = pdf("three.pdf", 3);
    c.destination = path("three.xls");
    c.set_page_range("3,1-2,3,9");
    c.run();
    EXPECT_EQ(c.page_count, 5);
    EXPECT_EQ(c.pages_done, 5);
    EXPECT_TRUE(c.succeeded());
    std::string book = read(path("three.xls"));
    ASSERT_GT(book.size(), 512u);
    EXPECT_EQ(book.substr(0, 8), std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
    // Four sheets: one per converted page, numbered by the count of pages converted.
    EXPECT_NE(book.find("Page_4"), std::string::npos);
    EXPECT_EQ(book.find("Page_5"), std::string::npos);

    // A second run counts from 0 again and converts every page.
    c.set_page_range("");
    c.destination = path("again.xls");
    c.run();
    EXPECT_EQ(c.page_count, 3);
    EXPECT_EQ(c.pages_done, 3);
    EXPECT_TRUE(fs::exists(path("again.xls")));
}

TEST_F(Conv, StoppedRunWritesNoWorkbook) {
    xelvio_convertor c;
    error_handler h;
    c.source = pdf("two.pdf", 2);
    c.destination = path("two.xls");
    c.request_stop();
    c.run();
    EXPECT_EQ(c.pages_done, 0);
    EXPECT_FALSE(c.succeeded());
    EXPECT_FALSE(fs::exists(path("two.xls")));
}

namespace {
// Reports into a list and lets the run return, as the wizard's handler does.
struct recording_handler : error_handler {
    std::vector<std::string> reports;
    void handle(const tk_exception& e, int) override { reports.push_back(e.what()); }
    void handle_standard(const std::exception& e, int) override { reports.push_back(e.what()); }
};

// Converts pages normally until the failing page, which throws what it is given.
template <class Thrown>
struct failing_convertor : xelvio_convertor {
    int failing_page;
    Thrown thrown;
    bool stop_first = false;
    failing_convertor(int page, Thrown what) : failing_page(page), thrown(what) {}
    void convert_page(ExcelOutputDev* excel, SplashOutputDev* splash, PDFDoc* doc, int page) override {
        if (page == failing_page) {
            if (stop_first) request_stop();
            throw thrown;
        }
        xelvio_convertor::convert_page(excel, splash, doc, page);
    }
};
}  // namespace

TEST_F(Conv, FailedPageKeepsThePagesFinishedSoFar) {
    recording_handler h;
    const std::string src = pdf("four.pdf", 4);
    {
        failing_convertor<tk_exception> c(3, tk_exception("page three failed", tk_level_error));
        c.source = src;
        c.destination = path("part.xls");
        c.run();
        EXPECT_FALSE(c.succeeded());
        EXPECT_EQ(c.pages_done, 2);
        EXPECT_EQ(h.reports, std::vector<std::string>{"page three failed"});
    }
    std::string book = read(path("part.xls"));
    EXPECT_EQ(book.substr(0, 8), std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
    EXPECT_NE(book.find("Page_2"), std::string::npos);
    EXPECT_EQ(book.find("Page_3"), std::string::npos);

    // A plain text thrown (as the workbook writer does) is an internal error,
    // and the first page still reaches the file.
    h.reports.clear();
    {
        failing_convertor<const char*> c(2, "Length too long!");
        c.source = src;
        c.destination = path("text.xls");
        c.run();
        EXPECT_FALSE(c.succeeded());
        EXPECT_EQ(h.reports, std::vector<std::string>{"Length too long!"});
    }
    book = read(path("text.xls"));
    EXPECT_NE(book.find("Page_1"), std::string::npos);
    EXPECT_EQ(book.find("Page_2"), std::string::npos);

    // Failing after a stop request: the stop wins, no workbook at all.
    h.reports.clear();
    {
        failing_convertor<std::runtime_error> c(2, std::runtime_error("late"));
        c.stop_first = true;
        c.source = src;
        c.destination = path("stopped.xls");
        c.run();
        EXPECT_FALSE(c.succeeded());
        EXPECT_EQ(h.reports, std::vector<std::string>{"late"});
    }
    EXPECT_FALSE(fs::exists(path("stopped.xls")));

    // Memory running out is an error like the others, naming the last page
    // converted; nothing is written (the workbook could lack part of a page)
    // and an earlier workbook stays.
    h.reports.clear();
    write("old.xls", "earlier workbook");
    for (int page : {1, 3}) {
        failing_convertor<std::bad_alloc> c(page, std::bad_alloc());
        c.source = src;
        c.destination = path("old.xls");
        c.run();
        EXPECT_FALSE(c.succeeded());
    }
    EXPECT_EQ(h.reports,
              (std::vector<std::string>{
                  "Not enough memory: the conversion stopped before its first page was converted; no workbook was "
                  "written.",
                  "Not enough memory: the conversion stopped after page 2; no workbook was written."}));
    EXPECT_EQ(read(path("old.xls")), "earlier workbook");
}

namespace {
// Cuts the source short once the given page is converted, as a file being
// replaced while it is read.
struct truncating_convertor : xelvio_convertor {
    int after_page = 0;
    std::uintmax_t length = 0;
    void convert_page(ExcelOutputDev* excel, SplashOutputDev* splash, PDFDoc* doc, int page) override {
        xelvio_convertor::convert_page(excel, splash, doc, page);
        if (page == after_page) fs::resize_file(source, length);
    }
};
}  // namespace

TEST_F(Conv, PagesThatCannotBeReadAreNamedAndKeepTheirPlace) {
    recording_handler h;
    // Page 2's content is a font, not a content stream; the file ends before
    // page 3 once page 2 is done.
    std::vector<std::string> content;
    for (int i = 1; i <= 4; ++i) content.push_back(mini_pdf::text(72, 700, "page " + std::to_string(i)));
    std::string bytes = mini_pdf::build(content);
    const size_t contents = bytes.find("/Contents 7 0 R");
    ASSERT_NE(contents, std::string::npos);
    bytes.replace(contents, 15, "/Contents 3 0 R");
    truncating_convertor c;
    c.source = write("damaged.pdf", bytes);
    c.destination = path("damaged.xls");
    c.after_page = 2;
    c.length = bytes.find("\n9 0 obj");  // page 3's content, then page 3
    c.run();
    EXPECT_TRUE(c.succeeded());
    std::vector<std::string> named;
    for (int page : {2, 3, 4})
        named.push_back("Page " + std::to_string(page) +
                        " cannot be read (the document is damaged there): its worksheet is empty.");
    EXPECT_EQ(h.reports, named);
    const std::string book = read(path("damaged.xls"));
    EXPECT_NE(book.find("Page_4"), std::string::npos);
    EXPECT_NE(book.find("page 1"), std::string::npos);

    // Nothing readable: no workbook, and the document is reported damaged.
    h.reports.clear();
    bytes = mini_pdf::build({mini_pdf::text(72, 700, "only")});
    bytes.replace(bytes.find("/Contents 5 0 R"), 15, "/Contents 3 0 R");
    c.source = write("none.pdf", bytes);
    c.destination = path("none.xls");
    c.after_page = 0;
    c.run();
    EXPECT_FALSE(c.succeeded());
    ASSERT_EQ(h.reports.size(), 2u);
    EXPECT_EQ(h.reports[1], "The program cannot read PDF document. It might be corrupted or\ndoes not comply with Adobe PDF format.");
    EXPECT_FALSE(fs::exists(path("none.xls")));
}

namespace {
// Plants a file at the destination once page 1 is converted, as another user
// who may write into the destination's folder could while the run goes on.
struct planting_convertor : xelvio_convertor {
    uid_t owner = 0;
    gid_t group = 0;
    void convert_page(ExcelOutputDev* excel, SplashOutputDev* splash, PDFDoc* doc, int page) override {
        xelvio_convertor::convert_page(excel, splash, doc, page);
        if (page != 1) return;
        std::ofstream(destination) << "planted";
        EXPECT_EQ(::chown(destination.c_str(), owner, group), 0);
        ::chmod(destination.c_str(), 0666);
    }
};
}  // namespace

TEST_F(Conv, AFileThatAppearsDuringTheRunIsNeverAdopted) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs a second user";
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    recording_handler h;
    planting_convertor c;
    c.owner = nobody->pw_uid;
    c.group = nobody->pw_gid;
    c.source = pdf("doc.pdf", 2);
    // A folder the planter may write to: the workbook replaces the file as a
    // new file would be made, never with the planter's owner and mode.
    fs::create_directories(dir / "open");
    ::chmod((dir / "open").c_str(), 0777);
    c.destination = path("open/doc.xls");
    c.run();
    ASSERT_TRUE(c.succeeded()) << (h.reports.empty() ? "" : h.reports.back());
    struct stat st {};
    ASSERT_EQ(::stat(c.destination.c_str(), &st), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(st.st_uid, ::geteuid());
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
    EXPECT_EQ(read(c.destination).substr(0, 4), "\xD0\xCF\x11\xE0");
    // A sticky folder that everyone may write: another user's file is not
    // written over, the run says so and the planted file stays as it is.
    fs::create_directories(dir / "shared");
    ::chmod((dir / "shared").c_str(), 01777);
    c.destination = path("shared/doc.xls");
    c.run();
    EXPECT_FALSE(c.succeeded());
    ASSERT_FALSE(h.reports.empty());
    EXPECT_NE(h.reports.back().find("another user's file in a shared folder"), std::string::npos) << h.reports.back();
    EXPECT_EQ(read(c.destination), "planted");
}

TEST_F(Conv, PageOverItsBudgetIsNamedAndTheRestIsConverted) {
    // Page 1: forms seven deep, each drawing the next ten times, the last a
    // word: 10^7 words, which the core would play for hours.
    std::vector<std::string> objs = {"<< /Type /Catalog /Pages 2 0 R >>",
                                     "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>"};
    const std::string font = "/Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >>";
    auto page = [&](int content, const std::string& res) {
        return "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents " + std::to_string(content) +
               " 0 R /Resources << " + res + " >> >>";
    };
    auto stream = [](const std::string& dict, const std::string& data) {
        return "<< " + dict + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
    };
    objs.push_back(page(5, "/XObject << /X 7 0 R >>"));
    objs.push_back(page(6, font));
    objs.push_back(stream("", "/X Do"));
    objs.push_back(stream("", mini_pdf::text(72, 700, "page 2")));
    for (int depth = 0; depth < 7; ++depth) {
        const bool last = depth == 6;
        std::string draws;
        for (int i = 0; i < 10; ++i) draws += "/X Do ";
        objs.push_back(stream("/Type /XObject /Subtype /Form /BBox [0 0 612 792] /Resources << " +
                                  (last ? font : "/XObject << /X " + std::to_string(8 + depth) + " 0 R >>") + " >>",
                              last ? mini_pdf::text(72, 600, "word") : draws));
    }
    const std::string src = write("nested.pdf", mini_pdf::assemble(objs, 1));

    // The small limits hold for page 1 only: a loaded machine (or a sanitizer's
    // own memory) must not make page 2 seem heavy.
    struct first_page_limited : xelvio_convertor {
        void convert_page(ExcelOutputDev* excel, SplashOutputDev* splash, PDFDoc* doc, int page) override {
            xelvio_convertor::convert_page(excel, splash, doc, page);
            page_limits = pdf_page_budget::limits();
        }
    };
    recording_handler h;
    for (const bool by_time : {true, false}) {
        h.reports.clear();
        first_page_limited c;
        c.source = src;
        c.destination = path("nested.xls");
        if (by_time) c.page_limits.seconds = 0.25;
        else c.page_limits.memory_bytes = 1 << 20;
        c.run();
        EXPECT_TRUE(c.succeeded());
        EXPECT_EQ(h.reports, std::vector<std::string>{std::string("Page 1 is too complex: ") +
                                                      (by_time ? "it takes more than 0.25 seconds to read"
                                                               : "it needs more than 1 MB of memory") +
                                                      "; its worksheet is empty."});
        const std::string book = read(path("nested.xls"));
        EXPECT_NE(book.find("Page_2"), std::string::npos);
        EXPECT_NE(book.find("page 2"), std::string::npos);
        EXPECT_EQ(book.find("word"), std::string::npos);
    }

    // Listed again, the page is not played again (it would take as long again): it gets the same
    // warning and empty worksheet. A second play would be stopped by the raised limit and say so.
    struct raising_convertor : xelvio_convertor {
        void convert_page(ExcelOutputDev* excel, SplashOutputDev* splash, PDFDoc* doc, int page) override {
            xelvio_convertor::convert_page(excel, splash, doc, page);
            page_limits.seconds *= 2;
        }
    };
    h.reports.clear();
    raising_convertor c;
    c.source = src;
    c.destination = path("again.xls");
    c.page_limits.seconds = 0.25;
    c.page_list = {1, 2, 1};
    c.run();
    EXPECT_TRUE(c.succeeded());
    const std::string warning = "Page 1 is too complex: it takes more than 0.25 seconds to read; its worksheet is empty.";
    EXPECT_EQ(h.reports, (std::vector<std::string>{warning, warning}));
    const std::string book = read(path("again.xls"));
    EXPECT_NE(book.find("page 2"), std::string::npos);
    EXPECT_EQ(book.find("word"), std::string::npos);

    // Nothing but such pages: said as such, not as a damaged document; no workbook.
    h.reports.clear();
    c.destination = path("only.xls");
    c.page_limits.seconds = 0.25;
    c.page_list = {1};
    c.run();
    EXPECT_FALSE(c.succeeded());
    EXPECT_EQ(h.reports, (std::vector<std::string>{warning, "No page was converted: every selected page is too "
                                                            "complex to convert (the warnings above say why)."}));
    EXPECT_FALSE(fs::exists(path("only.xls")));
}

TEST_F(Conv, ContentTheCoreMustNotPlayIsLeftOutAndTheRestConverted) {
    // Page 1: text, then content in JBIG2 (the core would decode all of it
    // before playing a thing); page 2: a form in DCT and an image in DCT (an
    // image may be), then text; page 3: text, then 2 MB of blanks made of 32 KB.
    auto stream = [](const std::string& dict, const std::string& data) {
        return "<< " + dict + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
    };
    auto page = [](const std::string& contents, const std::string& res) {
        return "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents " + contents +
               " /Resources << /Font << /F1 6 0 R >> " + res + ">> >>";
    };
    std::string blanks;
    for (int i = 0; i < 16384; ++i) blanks += "\x81 ";  // each pair: 128 blanks
    const std::string src = write(
        "unplayable.pdf",
        mini_pdf::assemble(
            {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>",
             page("[7 0 R 8 0 R]", ""), page("9 0 R", "/XObject << /Fm 10 0 R /Im 11 0 R >> "),
             page("[12 0 R 13 0 R]", ""), "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
             stream("", mini_pdf::text(72, 700, "one")), stream("/Filter /JBIG2Decode", "\x97\x4a\x42\x32"),
             stream("", "/Fm Do /Im Do " + mini_pdf::text(72, 700, "two")),
             stream("/Type /XObject /Subtype /Form /BBox [0 0 612 792] /Filter [/FlateDecode /DCTDecode]", "xx"),
             stream("/Type /XObject /Subtype /Image /Width 8 /Height 8 /ColorSpace /DeviceGray "
                    "/BitsPerComponent 8 /Filter /DCTDecode",
                    "\xff\xd8"),
             stream("", mini_pdf::text(72, 700, "three")), stream("/Filter /RunLengthDecode", blanks + "\x80")},
            1));
    recording_handler h;
    xelvio_convertor c;
    c.source = src;
    c.destination = path("unplayable.xls");
    c.page_limits.stream_bytes = 1 << 20;
    c.run();
    EXPECT_TRUE(c.succeeded());
    EXPECT_EQ(h.reports,
              (std::vector<std::string>{
                  "Page 1 is damaged: part of its content is encoded as an image (JBIG2Decode); that part is left out.",
                  "Page 2 is damaged: part of its content is encoded as an image (DCTDecode); that part is left out.",
                  "Page 3 is too complex: its content decodes to more than 1 MB; that part is left out."}));
    const std::string book = read(path("unplayable.xls"));
    for (const char* text : {"one", "two", "three"}) EXPECT_NE(book.find(text), std::string::npos) << text;
}

// Fails the run at its first page: these runs must end before one.
struct no_page_convertor : xelvio_convertor {
    int converted = 0;
    void convert_page(ExcelOutputDev*, SplashOutputDev*, PDFDoc*, int) override {
        ++converted;
        throw tk_exception("a page was converted", tk_level_error);
    }
};

TEST_F(Conv, WhatCannotBeWrittenIsRefusedBeforeTheFirstPage) {
    recording_handler h;
    const std::string src = pdf("one.pdf", 1);
    const std::string old = write("old.xls", "the old workbook");
    {
        // One worksheet per page: 65536 of them do not fit in a workbook. A
        // listed page beyond the end makes no worksheet and is not counted.
        no_page_convertor c;
        c.source = src;
        c.destination = old;
        c.page_list.assign(65536, 1);
        c.page_list.push_back(2);
        c.run();
        EXPECT_EQ(c.converted, 0);
        EXPECT_FALSE(c.succeeded());
    }
    EXPECT_EQ(read(old), "the old workbook");
    // A pipe is found at once (a reader waits on it, so that a writer would
    // not block).
    ASSERT_EQ(::mkfifo(path("pipe.xls").c_str(), 0600), 0);
    const int reader = ::open(path("pipe.xls").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    {
        no_page_convertor c;
        c.source = src;
        c.destination = path("pipe.xls");
        c.run();
        EXPECT_EQ(c.converted, 0);
    }
    ::close(reader);
    EXPECT_EQ(h.reports,
              (std::vector<std::string>{
                  "A workbook holds at most 65535 worksheets. The pages to convert would need 65536.",
                  "Destination name specifies a device, pipe or socket, not a file.\nPlease give the name of a regular "
                  "file."}));
}

TEST_F(Conv, ProfileIsCheckedOnce) {
    const std::string trace = path("trace.log"), logfile = path("run.log");
    tk_log log;
    log.set_name(trace.c_str());
    log.set_enabled(true);
    log.set_time_stamp(false);
    xelvio_convertor c;
    ASSERT_TRUE(c.load_profile_file(write("p.ini", "[Generic settings]\nlogfile=" + logfile + "\n")));
    // Every check of the log file's path probes it once; the trace then
    // moves to that file, so the probes are all in the first one.
    const std::string probes = read(trace), probe = "tk_check_writable_file(" + logfile + ")";
    size_t count = 0;
    for (size_t at = probes.find(probe); at != std::string::npos; at = probes.find(probe, at + 1)) ++count;
    EXPECT_EQ(count, 1u) << probes;
    EXPECT_EQ(c.log_file, logfile);
}

// In a child: stdout joins stderr so that EXPECT_EXIT sees the handler's report.
#define RUN_IN_CHILD(body)   \
    {                        \
        std::fflush(stdout); \
        ::dup2(2, 1);        \
        body;                \
    }

TEST_F(Conv, RunErrorsEndThroughTheHandler) {
    std::string src = pdf("doc.pdf", 1);
    std::string enc = path("enc.pdf");
    std::string cmd = "qpdf --encrypt user owner 256 -- '" + src + "' '" + enc + "' 2>/dev/null";
    bool have_qpdf = std::system(cmd.c_str()) == 0;
    if (have_qpdf) {
        EXPECT_EXIT(RUN_IN_CHILD({
                        xelvio_convertor c;
                        error_handler h;
                        c.source = enc;
                        c.destination = path("enc.xls");
                        c.password = "wrong";
                        c.run();
                    }),
                    ::testing::ExitedWithCode(255), "Error:\nIncorrect password\n");
        EXPECT_FALSE(fs::exists(path("enc.xls")));
        // No password at all (a profile without one): the document needs one, and the run says how to give it.
        EXPECT_EXIT(RUN_IN_CHILD({
                        xelvio_convertor c;
                        error_handler h;
                        c.source = enc;
                        c.destination = path("enc.xls");
                        c.password_hint = "Give it so.";
                        c.run();
                    }),
                    ::testing::ExitedWithCode(255),
                    "Error:\nThe document is protected by a password: it cannot be read without it. Give it so.\n");
    }
    // The destination is the source itself: refused, the document untouched.
    std::string before = read(src);
    EXPECT_EXIT(RUN_IN_CHILD({
                    xelvio_convertor c;
                    error_handler h;
                    c.source = src;
                    c.destination = src;
                    c.run();
                }),
                ::testing::ExitedWithCode(255), "Destination name specifies the source file");
    EXPECT_EQ(read(src), before);
    // Not a PDF: the unreadable text, never a crash in the core.
    std::string junk = write("junk.pdf", "not a pdf");
    EXPECT_EXIT(RUN_IN_CHILD({
                    xelvio_convertor c;
                    error_handler h;
                    c.source = junk;
                    c.destination = path("junk.xls");
                    c.run();
                }),
                ::testing::ExitedWithCode(255), "The program cannot read PDF document");
    // A missing source (a profile's relative name from another folder) is
    // said to be missing, not taken for a damaged document.
    EXPECT_EXIT(RUN_IN_CHILD({
                    xelvio_convertor c;
                    error_handler h;
                    c.source = path("gone.pdf");
                    c.destination = path("gone.xls");
                    c.run();
                }),
                ::testing::ExitedWithCode(255),
                "Error:\nSource file does not exist. Please verify the correct file name was given.\n");
}

TEST_F(Conv, OneConverterAtATime) {
    xelvio_convertor c;
    EXPECT_THROW(xelvio_convertor second, tk_mail_assertion);
    EXPECT_EQ(&xelvio_convertor::instance(), &c);
}
