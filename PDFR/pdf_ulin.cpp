// The ruling-line collector: intake from the raster pass, late painting of
// what no table or underline took, and the end-of-page emptying.
#include "PDFR/pdf_ulin.h"

#include <algorithm>
#include <cmath>

#include "PDFR/pdf_splash.h"
#include "TK/tk_log.h"

pdf_uline_processor::pdf_uline_processor(bool tables_mode) {
    tk_log::write(2, "pdf_uline_processor::ctor");
    tables_mode_ = tables_mode;
}

pdf_uline_processor::~pdf_uline_processor() = default;

void pdf_uline_processor::set_line(double x1, double x2, double y1, double y2,
                                   std::unique_ptr<pipe_holder> holder) {
    tk_log::write(1, "pdf_uline_processor::set_line(%f,%f,%f,%f)", x1, x2, y1, y2);
    if (!holder) holder = std::make_unique<pipe_holder>();
    candidate c;
    c.line.tag = 0;
    c.line.xMin = std::min(x1, x2);
    c.line.xMax = std::max(x1, x2);
    c.line.yMin = std::min(y1, y2);
    c.line.yMax = std::max(y1, y2);
    c.holder = std::move(holder);
    lines_.push_back(std::move(c));
    index_valid_ = false;
}

void pdf_uline_processor::undo_lines(Splash* splash) {
    tk_log::write(1, "pdf_uline_processor::undo_lines");
    if (!splash) throw tk_mail_assertion("pdf_ulin", 304);
    pdf_splash_canvas target(splash);
    undo_lines(target);
}

namespace {

// Whole pixels by truncation toward zero; false for values no raster can hold.
bool to_pixel(double v, int& out) {
    if (!(v > -1e9 && v < 1e9)) return false;
    out = static_cast<int>(v);  // truncates toward zero
    return true;
}

}  // namespace

void pdf_uline_processor::undo_lines(canvas& target) {
    tk_log::write(1, "pdf_uline_processor::undo_lines");
    for (candidate& c : lines_) {
        // Underlines were taken from the page; a line is painted at most once.
        if (c.taken || c.painted || !c.holder) continue;
        const line_item& l = c.line;
        int x0, x1, y0, y1;
        if (!to_pixel(l.xMin, x0) || !to_pixel(l.xMax, x1) || !to_pixel(l.yMin, y0) || !to_pixel(l.yMax, y1))
            continue;
        if (l.yMin == l.yMax) {
            y1 = y0;
        } else {
            // Rows from the truncated top while the row is not below the real bottom.
            y1 = static_cast<int>(std::floor(l.yMax));
        }
        if (y1 >= y0 && x1 >= x0) target.fill_box(*c.holder, x0, x1, y0, y1);
        c.holder->paint.reset();
        c.painted = true;
    }
}

void pdf_uline_processor::flush() {
    tk_log::write(2, "pdf_uline_processor::flush");
    lines_.clear();
    table_lines_.clear();
    underlines_.clear();
    regions_.clear();
    built_regions_.clear();
    candidate_index_.clear();
    underline_index_.clear();
    index_valid_ = false;
}

const pdf_uline_processor::reg_item* pdf_uline_processor::region(int id) const {
    if (id <= 0 || static_cast<size_t>(id) > regions_.size()) return nullptr;
    const reg_item& r = regions_[static_cast<size_t>(id) - 1];
    return r.id == id ? &r : nullptr;
}

std::vector<pdf_uline_processor::line_item> pdf_uline_processor::get_lines() const {
    std::vector<line_item> out;
    for (const candidate& c : lines_)
        if (!c.taken) out.push_back(c.line);
    return out;
}

size_t pdf_uline_processor::line_count() const {
    size_t n = 0;
    for (const candidate& c : lines_)
        if (!c.taken) ++n;
    return n;
}

const pdf_uline_processor::pipe_holder* pdf_uline_processor::holder_at(size_t i) const {
    for (const candidate& c : lines_) {
        if (c.taken) continue;
        if (i == 0) return c.holder.get();
        --i;
    }
    return nullptr;
}

void pdf_uline_processor::drop_taken() {
    lines_.erase(std::remove_if(lines_.begin(), lines_.end(), [](const candidate& c) { return c.taken; }),
                 lines_.end());
    index_valid_ = false;
}
