// tbxagent: converts one PDF document into an Excel workbook from the command line.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include <PDFDoc.h>

#include "PDFR/pdf_doc.h"
#include "TK/tk_cmdli.h"
#include "TK/tk_errh.h"
#include "TK/tk_except.h"
#include "TK/tk_log.h"
#include "TK/tk_texts.h"
#include "TK/tk_utils.h"
#include "platform/plat_files.h"
#include "tabrixa/tbx_conv.h"

namespace {

enum option_id { opt_dest, opt_help, opt_no_graph, opt_pages, opt_profile, opt_pswd, opt_src };

// Matched by prefix in this order: the first row that begins the argument wins.
const tk_cmd_option options[] = {
    {opt_dest, "--dest="},   {opt_help, "--help"},       {opt_no_graph, "--no_graph"}, {opt_pages, "--pages="},
    {opt_profile, "--profile="}, {opt_pswd, "--pswd="}, {opt_src, "--src="},          {0, ""},
};

[[noreturn]] void exit_with_message(const std::string& text) {
    tk_log::write(3, "%s", text.c_str());
    std::fprintf(stderr, "%s\n", text.c_str());
    error_handler::exit_process(-1);
}

std::string usage_text() {
    char buf[4096];
    std::snprintf(buf, sizeof buf, tk_text(tk_txt_usage), tk_version_major, tk_version_minor);
    return buf;
}

bool parse_cmd_line(int argc, char** argv) {
    tk_log::write(1, "parse_cmd_line");
    ansi_cmd_line cmd(argc, argv, options);
    xelvio_convertor& conv = xelvio_convertor::instance();
    while (cmd.has_more()) {
        switch (cmd.id()) {
            case opt_dest: conv.destination = cmd.value(); break;
            case opt_help: exit_with_message(usage_text());
            case opt_no_graph:
                tk_log::write(2, "Turn off processing graphics");
                conv.graph_tab = false;
                break;
            case opt_pages: conv.set_page_range(cmd.value()); break;
            case opt_profile: conv.load_profile_file(cmd.value()); break;
            case opt_pswd: conv.password = cmd.value(); break;
            case opt_src: conv.source = cmd.value(); break;
            default: break;  // unknown: counted by the reader
        }
        cmd.next();
    }
    return cmd.unknown_count() == 0;
}

}  // namespace

int main(int argc, char** argv) {
    xelvio_convertor conv;
    // The process's handler: the run and the report below reach it through its single instance.
    error_handler handler;
    try {
        if (argc < 2 || argc > 6 || !parse_cmd_line(argc, argv)) exit_with_message(usage_text());
        const std::string& source = conv.source;
        if (source.empty()) exit_with_message(tk_text(tk_txt_no_source));
        if (const char* problem = tk_source_problem(source)) exit_with_message(problem);

        // Test the document once: unreadable files and wrong passwords end here.
        conv.password_hint = "Please give it with --pswd=...";
        pdf_open_source(source, conv.password, conv.password_hint).reset();

        if (conv.destination.empty()) conv.destination = tk_default_destination(source);
        // The run checks the destination before it converts the first page.
        conv.run();
    } catch (...) {
        tk_report_current(0, "tbxagent", 104);
    }
    return 0;
}
