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
    "Source name specifies a folder, not a file.\nPlease give the name of a PDF document.",
    "Source name specifies a device, pipe or socket, not a file.\nPlease give the name of a PDF document.",
    "Source file cannot be read: permission denied.\nPlease verify the file's permissions.",
    "Source name is a symbolic link that leads round in a loop.\nPlease verify the correct file name was given.",
    "Logfile name specifies an existing read-only file.",
    "Logfile path does not exist.\nPlease verify the correct path was given.",
    "Logfile name specifies a folder, device, pipe or socket, not a file.\nPlease give the name of a regular file.",
    "Profile does not exist. Please verify the correct path/name was given.",
    "Profile \"%s\" sets nothing: it holds no known key of [Generic settings] (src, dest, pages, ...). "
    "Please verify the correct path/name was given.",
    "Profile \"%s\" is larger than 1 MB: it is not a settings file. Please verify the correct path/name was given.",
    "Profile \"%s\" is a folder, not a settings file. Please verify the correct path/name was given.",
    "Profile \"%s\" is a device, pipe or socket, not a settings file. Please verify the correct path/name was given.",
    "Profile \"%s\" cannot be read: permission denied.",
    "Profile \"%s\" is a symbolic link that leads round in a loop. Please verify the correct path/name was given.",
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

std::string tk_text(tk_text_id id, const std::string& arg) {
    std::string text = tk_text(id);
    const size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, arg);
    return text;
}
