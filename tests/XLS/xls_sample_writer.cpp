// Writes the sample workbooks that the reader checks (xls_readers.py) open
// with xlrd, olefile, LibreOffice and Gnumeric. Usage: xls_sample_writer DIR
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <sys/stat.h>

#include "TK/tk_except.h"
#include "XLS/xls_workbook.h"

using namespace xls_core;

namespace {

// The long texts of long.xls, also written to long.json for the checks.
std::vector<std::u16string> long_texts()
{
    std::vector<std::u16string> t;
    std::u16string a255, a256;
    for (int i = 0; i < 255; ++i)
        a255.push_back(static_cast<char16_t>(u'a' + i % 26));
    a256 = a255 + u"Z";
    t.push_back(a255);
    t.push_back(a256);
    for (int k = 0; k < 3; ++k) {
        std::u16string s;
        for (int i = 0; i < 5000; ++i)
            s.push_back(static_cast<char16_t>(u'A' + (i + k) % 26));
        t.push_back(s);
    }
    std::u16string big;   // 9000 ASCII characters: over 8224 bytes
    for (int i = 0; i < 9000; ++i)
        big.push_back(i % 100 == 99 ? u' ' : static_cast<char16_t>(u'0' + i % 10));
    t.push_back(big);
    std::u16string wide;  // 5000 two-byte characters: 10003 bytes
    for (int i = 0; i < 5000; ++i)
        wide.push_back(i % 50 == 49 ? u' ' : static_cast<char16_t>(0x430 + i % 32));
    t.push_back(wide);
    std::u16string mixed = u"\u00e9t\u00e9 ";
    while (mixed.size() < 300)
        mixed += u"caf\u00e9 \u20ac ";
    t.push_back(mixed);
    return t;
}

void write_json(const std::string& path, const std::vector<std::u16string>& texts)
{
    std::ofstream f(path);
    f << "[";
    for (std::size_t i = 0; i < texts.size(); ++i) {
        f << (i ? ",\n" : "") << "\"";
        for (char16_t c : texts[i]) {
            if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
                f << static_cast<char>(c);
            } else {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
                f << buf;
            }
        }
        f << "\"";
    }
    f << "]\n";
}

int dump(workbook& wb, const std::string& path)
{
    int rc = wb.Dump(path);
    if (rc != 0)
        std::cerr << path << ": " << rc << " " << wb.LastError() << "\n";
    return rc;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: xls_sample_writer DIR\n";
        return 2;
    }
    std::string dir = argv[1];
    ::mkdir(dir.c_str(), 0755);
    int rc = 0;
    try {
        {
            workbook wb;
            worksheet* s = wb.sheet("Page_1");
            s->label(0, 0, u"Name");
            s->label(0, 1, u"Caf\u00e9 \u20ac");
            s->number(1, 0, 1234.5);
            s->number(1, 1, -0.25);
            cell_t* c = s->label(2, 0, u"merged across");
            c->set_halign(1);
            c->set_font_name("Arial");
            c->set_font_height(240);
            s->merge(2, 0, 2, 3);
            cell_t* b = s->label(4, 1, u"boxed");
            for (int side = 0; side < 4; ++side)
                b->set_border(side, 2);
            b->set_wrap(true);
            b->set_valign(0);
            s->merge(4, 1, 5, 2);
            s->colwidth(0, 5000);
            s->colwidth(1, 2560);
            s->rowheight(2, 600);
            s->rowheight(7, 300);   // a row without cells
            s->label(8, 2, std::string("Latin-1 \xe9"));
            // Written as the converter writes: each finished sheet through the
            // temporary file (the same bytes as from memory, a unit test shows).
            wb.SpillSheets();
            wb.sheet("Page_2")->number(0, 0, 2);
            wb.SpillSheets();
            wb.sheet("Page_3");
            rc |= dump(wb, dir + "/basic.xls");
        }
        {
            workbook wb;
            worksheet* s = wb.sheet("Page_1");
            auto texts = long_texts();
            for (std::size_t i = 0; i < texts.size(); ++i)
                s->label(static_cast<std::uint32_t>(i), 0, texts[i]);
            s->number(static_cast<std::uint32_t>(texts.size()), 0, 42);
            wb.SpillSheets();
            write_json(dir + "/long.json", texts);
            rc |= dump(wb, dir + "/long.xls");
        }
        {
            workbook wb;
            for (int i = 1; i <= 1400; ++i) {
                worksheet* s = wb.sheet("Page_" + std::to_string(i));
                s->number(0, 0, i);
                s->label(1, 0, u"sheet " + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)));
                wb.SpillSheets();
            }
            rc |= dump(wb, dir + "/many.xls");
        }
        {
            workbook wb;
            worksheet* s = wb.sheet("Page_1");
            const char* names[3] = {"Arial", "Times New Roman", "Courier New"};
            const int heights[3] = {200, 240, 320};
            for (std::uint32_t i = 0; i < 10000; ++i) {
                cell_t* c = s->label(i / 50, i % 50, u"t" + std::u16string(1, static_cast<char16_t>(u'0' + i % 3)));
                c->set_halign(1);
                c->set_font_height(heights[i % 3]);
                c->set_font_name(names[i % 3]);
                c->set_valign(0);
            }
            rc |= dump(wb, dir + "/fonts.xls");
        }
        {
            workbook wb;
            worksheet* s = wb.sheet("Page_1");
            s->label(0, 0, u"first");
            s->label(65535, 255, u"last");
            s->number(65535, 0, 65535);
            s->colwidth(255, 1000);
            rc |= dump(wb, dir + "/limits.xls");
        }
        {
            workbook wb;
            wb.sheet("Page_1");
            rc |= dump(wb, dir + "/empty.xls");
        }
        {
            // About 16 MB: more FAT sectors than the header lists.
            workbook wb;
            worksheet* s = wb.sheet("Page_1");
            for (std::uint32_t r = 0; r < max_rows; ++r) {
                std::u16string t = u"row " + std::u16string(1, static_cast<char16_t>(u'a' + r % 26));
                t.resize(250, static_cast<char16_t>(u'A' + r % 26));
                s->label(r, 0, t);
            }
            rc |= dump(wb, dir + "/big.xls");
        }
    } catch (const std::exception& e) {
        std::cerr << "error: " << e.what() << "\n";
        return 1;
    }
    return rc ? 1 : 0;
}
