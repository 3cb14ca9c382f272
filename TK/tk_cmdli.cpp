#include "TK/tk_cmdli.h"

#include <cstring>

#include "TK/tk_except.h"

ansi_cmd_line::ansi_cmd_line(int argc, char** argv, const tk_cmd_option* table)
    : table_(table), cursor_(argv ? argv + 1 : nullptr), remaining_(argv && argc > 1 ? argc - 1 : 0) {
    if (!table_) throw tk_mail_assertion("tk_cmdli", 19);
    if (has_more()) parse();
}

void ansi_cmd_line::parse() {
    if (!has_more() || !*cursor_) throw tk_mail_assertion("tk_cmdli", 19);
    const char* arg = *cursor_;
    const tk_cmd_option* row = table_;
    for (; row->prefix && *row->prefix; ++row)
        if (std::strncmp(arg, row->prefix, std::strlen(row->prefix)) == 0) break;
    const char* prefix = row->prefix ? row->prefix : "";
    value_ = arg + std::strlen(prefix);
    if (!*prefix) {
        id_ = -1;
        if (unknown_count_ >= max_unknown) throw tk_mail_assertion("tk_cmdli", 52);
        unknown_[unknown_count_++] = arg;
    } else {
        id_ = row->id;
    }
}

void ansi_cmd_line::next() {
    if (!has_more()) throw tk_mail_assertion("tk_cmdli", 60);
    ++cursor_;
    --remaining_;
    if (has_more()) parse();
}

int ansi_cmd_line::id() const {
    if (!has_more()) throw tk_mail_assertion("tk_cmdli", 140);
    return id_;
}

const char* ansi_cmd_line::value() const {
    if (!has_more()) throw tk_mail_assertion("tk_cmdli", 147);
    return value_;
}
