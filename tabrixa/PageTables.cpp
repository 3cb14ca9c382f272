#include "tabrixa/PageTables.h"

namespace tbx {

const TableRecord* PageTables::find(int t) const {
    if (t < 1 || t > static_cast<int>(tables_.size())) return nullptr;
    const TableRecord& r = tables_[static_cast<size_t>(t - 1)];
    if (r.id == 0 || r.columnCount() < 1 || r.cells.empty()) return nullptr;
    return &r;
}

const TableCell* PageTables::cell(int t, int c) const {
    const TableRecord* r = find(t);
    if (!r || c < 0 || c >= static_cast<int>(r->cells.size())) return nullptr;
    return &r->cells[static_cast<size_t>(c)];
}

PageTables PageTables::fromCollector() {
    PageTables out;
    const pdf_uline_processor* p = pdf_uline_processor::find();
    if (!p) return out;
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
        out.add(std::move(r));
    }
    return out;
}

}  // namespace tbx
