#include "TK/tk_texts.h"

namespace {
const char* const texts[tk_txt_count] = {
    "TBXAGENT v%d.%d\n"
    "Usage: TBXAGENT.EXE OPTIONS\n"
    "\n"
    "   --dest=...    path to the destination MS Excel workbook\n"
    "   --help        display this help message and exit\n"
    "   --no_graph    don't recognize graphical tables\n"
    "   --pages=...   page numbers and/or pages ranges separated by commas.\n"
    "                 For example: 1,3,5-10\n"
    "   --profile=... path to the file to load conversion settings from\n"
    "   --pswd=...    password for the source PDF document (if any)\n"
    "   --src=...     path to the source PDF document\n"
    "\n"
    "NOTE: command line parameters that contain spaces should be enclosed in\n"
    "quotes (for example --dest=\"c:\\my documents\\my report.xls\")",
    "You should specify source file",
    "Source file does not exist.\nPlease verify the correct file name was given.",
    "Source file name is too long.\nPlease verify the correct file name was given.",
    "Logfile name specifies an existing read-only file.",
    "Logfile path does not exist.\nPlease verify the correct path was given.",
    "Profile does not exist. Please verify the correct path/name was given.",
    "Profile holds no settings section such as [Generic settings]. Please verify the correct path/name was given.",
    "Profile is larger than 1 MB: it is not a settings file. Please verify the correct path/name was given.",
    "Unknown exception",
    "Internal error: \ncode=",
    "Generic settings",
    "src",
    "dest",
    "logfile",
};
}  // namespace

const char* tk_text(tk_text_id id) {
    return id >= 0 && id < tk_txt_count ? texts[id] : "";
}
