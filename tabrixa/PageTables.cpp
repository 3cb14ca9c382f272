#include "tabrixa/PageTables.h"

#include <cmath>
#include <map>
#include <vector>

namespace tbx {

std::optional<TableRuling> verticalRuling(const pdf_uline_processor::line_item& l) {
    constexpr double px = pdf_uline_processor::px_per_pt;
    if (!(l.yMax - l.yMin > l.xMax - l.xMin)) return std::nullopt;
    return TableRuling{(l.xMin + l.xMax) / 2 / px, l.yMin / px, l.yMax / px};
}

bool TableRecord::ruledAt(double x, double y0, double y1) const {
    const double mid = (y0 + y1) / 2;
    for (const TableRuling& r : verticals)
        if (std::fabs(r.x - x) <= 2.5 && r.yMin <= mid && mid <= r.yMax) return true;
    return false;
}

const TableRecord* PageTables::find(int t) const {
    if (t < 1 || t > static_cast<int>(tables_.size())) return nullptr;
    const TableRecord& r = tables_[static_cast<size_t>(t - 1)];
    if (r.id == 0 || r.columnCount() < 1 || r.cells.empty()) return nullptr;
    return &r;
}

const TableCell* PageTables::cell(int t, int c) const {
    const TableRecord* r = find(t);
    return r ? r->cell(c) : nullptr;
}

PageTables PageTables::fromCollector() {
    PageTables out;
    const pdf_uline_processor* p = pdf_uline_processor::find();
    if (!p) return out;
    // The vertical rulings of every table, in one pass over the lines.
    std::map<int, std::vector<TableRuling>> verticals;
    for (const auto& l : p->get_table_lines())
        if (l.tag / 1000 != 0)
            if (const auto r = verticalRuling(l)) verticals[l.tag / 1000].push_back(*r);
    for (const auto& reg : p->get_regions()) {
        TableRecord r;
        r.id = reg.id;
        r.xMin = reg.xMin;
        r.xMax = reg.xMax;
        r.yMin = reg.yMin;
        r.yMax = reg.yMax;
        r.thickness = reg.thickness;
        r.vertCount = reg.vert_count;
        r.cells.reserve(reg.cells.size());
        for (const auto& c : reg.cells) r.cells.push_back({c.xMin, c.xMax, c.yMin, c.yMax});
        for (const auto& c : reg.partial_rules) r.partialRules.push_back({(c.yMin + c.yMax) / 2, c.xMin, c.xMax});
        if (const auto it = verticals.find(reg.id); reg.id != 0 && it != verticals.end()) r.verticals = it->second;
        out.add(std::move(r));
    }
    return out;
}

}  // namespace tbx
