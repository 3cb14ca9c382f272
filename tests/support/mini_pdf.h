// Builds small PDF files for tests from page content streams (uncompressed).
// Fonts F1 Helvetica, F2 Helvetica-Bold, F3 Times-Roman, F4 Courier.
#pragma once

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace mini_pdf {

// A PDF file of the given objects (object i+1 is objs[i]) with its cross-reference table.
inline std::string assemble(const std::vector<std::string>& objs, int root) {
    std::string out = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objs.size(); ++i) {
        offsets.push_back(out.size());
        out += std::to_string(i + 1) + " 0 obj\n" + objs[i] + "\nendobj\n";
    }
    size_t xref = out.size();
    out += "xref\n0 " + std::to_string(objs.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t off : offsets) {
        char row[32];
        std::snprintf(row, sizeof row, "%010zu 00000 n \n", off);
        out += row;
    }
    out += "trailer\n<< /Size " + std::to_string(objs.size() + 1) + " /Root " + std::to_string(root) +
           " 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return out;
}

inline std::string build(const std::vector<std::string>& pages, double width = 612, double height = 792) {
    std::vector<std::string> objs;
    auto add = [&](const std::string& body) { objs.push_back(body); return static_cast<int>(objs.size()); };
    const char* names[] = {"Helvetica", "Helvetica-Bold", "Times-Roman", "Courier"};
    std::string fonts;
    for (int i = 0; i < 4; ++i) {
        int id = add(std::string("<< /Type /Font /Subtype /Type1 /BaseFont /") + names[i] +
                     " /Encoding /WinAnsiEncoding >>");
        fonts += "/F" + std::to_string(i + 1) + " " + std::to_string(id) + " 0 R ";
    }
    int pages_id = static_cast<int>(objs.size()) + 1 + 2 * static_cast<int>(pages.size());
    std::string kids;
    char box[96];
    std::snprintf(box, sizeof box, "[0 0 %g %g]", width, height);
    for (const std::string& content : pages) {
        int cid = add("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream");
        int pid = add("<< /Type /Page /Parent " + std::to_string(pages_id) + " 0 R /MediaBox " + box +
                      " /Contents " + std::to_string(cid) + " 0 R /Resources << /Font << " + fonts + ">> >> >>");
        kids += std::to_string(pid) + " 0 R ";
    }
    add("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + " >>");
    int catalog = add("<< /Type /Catalog /Pages " + std::to_string(pages_id) + " 0 R >>");
    return assemble(objs, catalog);
}

inline void write(const std::string& path, const std::vector<std::string>& pages, double width = 612,
                  double height = 792) {
    std::ofstream(path, std::ios::binary) << build(pages, width, height);
}

// Content-stream snippets in PDF user space (origin bottom left).
inline std::string text(double x, double y, const std::string& s, int font = 1, double size = 10) {
    std::string esc;
    for (char c : s) {
        if (c == '(' || c == ')' || c == '\\') esc += '\\';
        esc += c;
    }
    char buf[128];
    std::snprintf(buf, sizeof buf, "BT /F%d %g Tf %g %g Td (", font, size, x, y);
    return buf + esc + ") Tj ET\n";
}

inline std::string rect(double x, double y, double w, double h, double r = 0, double g = 0, double b = 0) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "%g %g %g rg %g %g %g %g re f\n", r, g, b, x, y, w, h);
    return buf;
}

inline std::string line(double x1, double y1, double x2, double y2, double width = 0.5) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "0 0 0 RG %g w %g %g m %g %g l S\n", width, x1, y1, x2, y2);
    return buf;
}

}  // namespace mini_pdf
