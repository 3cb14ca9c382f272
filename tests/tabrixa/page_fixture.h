// Hand-made blocks and lines for the page writer tests: a line is a run of
// words of one font size, every character 0.5 x size wide.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <GlobalParams.h>

#include "tabrixa/TextBlock.h"
#include "tabrixa/TextHelpers.h"
#include "tabrixa/TextLine.h"
#include "tabrixa/TextPage.h"
#include "tabrixa/TextWord.h"
#include "tabrixa/PageTables.h"

namespace page_fixture {

// An empty, started letter-size page (612 x 792 pt); the core's global
// settings are made once, as a program would.
inline void startLetterPage(tbx::TextPage& page) {
    if (!globalParams) globalParams = std::make_unique<GlobalParams>();
    page.startPage();
    page.pageWidth = 612;
    page.pageHeight = 792;
}

struct LineStyle {
    double size = 10.0;
    const char* fontClass = "f10";
    int cellCode = 0;
    int colGroup = 0;
};

// The style of a line lying in cell `index` of table 1.
inline LineStyle inCell(int index) {
    LineStyle s;
    s.cellCode = tbx::cellCodeBase + index;
    return s;
}

// Table 1 ruled into rows x cols equal cells over the box, as the collector gives it.
inline tbx::PageTables uniformTable(double x0, double x1, double y0, double y1, int cols, int rows,
                                    double thickness = 0.5) {
    tbx::TableRecord t;
    t.id = 1;
    t.xMin = x0; t.xMax = x1; t.yMin = y0; t.yMax = y1;
    t.thickness = thickness;
    t.vertCount = cols + 1;
    const double w = (x1 - x0) / cols, h = (y1 - y0) / rows;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) t.cells.push_back({x0 + w * c, x0 + w * (c + 1), y0 + h * r, y0 + h * (r + 1)});
    tbx::PageTables tables;
    tables.add(t);
    return tables;
}

class Blocks {
public:
    tbx::TextBlock* block(int rot = 0) {
        owned.push_back(std::make_unique<tbx::TextBlock>(nullptr, rot));
        return owned.back().get();
    }

    // A line whose first character starts at x0, on baseline `base`.
    tbx::TextLine* line(tbx::TextBlock* b, double x0, double base, const std::u32string& text,
                        LineStyle style = LineStyle()) {
        auto* l = new tbx::TextLine(b, b->rot, base);
        const double cw = 0.5 * style.size;
        double x = x0;
        size_t pos = 0;
        while (pos <= text.size()) {
            size_t end = text.find(U' ', pos);
            if (end == std::u32string::npos) end = text.size();
            if (end > pos) {
                auto* w = new tbx::TextWord(b->rot, base, style.size);
                w->xMin = x;
                w->yMin = base - 0.8 * style.size;
                w->yMax = base + 0.2 * style.size;
                for (size_t i = pos; i < end; ++i) {
                    w->text.push_back(text[i]);
                    w->edge.push_back(x);
                    x += cw;
                }
                w->edge.push_back(x);
                w->xMax = x;
                w->len = static_cast<int>(end - pos);
                w->fontClass = style.fontClass;
                w->cellCode = style.cellCode;
                w->colGroup = style.colGroup;
                l->addWord(w);
                x += 0.5 * style.size;
            }
            pos = end + 1;
        }
        if (!l->words) {  // a line without words still has a box
            l->xMin = x0;
            l->xMax = x0 + cw * static_cast<double>(text.size());
            l->yMin = base - 0.8 * style.size;
            l->yMax = base + 0.2 * style.size;
        }
        for (tbx::TextWord* w = l->words; w; w = w->next) {
            for (size_t i = 0; i < w->text.size(); ++i) l->text.push_back(w->text[i]);
            if (w->next) {
                w->spaceAfter = true;
                l->text.push_back(U' ');
            }
        }
        l->len = static_cast<int>(l->text.size());
        l->cellCode = style.cellCode;
        l->colGroup = style.colGroup;
        if (b->lastLine)
            b->lastLine->next = l;
        else
            b->lines = l;
        b->lastLine = l;
        ++b->lineCount;
        tbx::widenBox(*b, *l);
        return l;
    }

    std::vector<tbx::TextBlock*> array() const {
        std::vector<tbx::TextBlock*> v;
        for (const auto& b : owned) v.push_back(b.get());
        return v;
    }
    // Hands the blocks to a page that deletes them.
    std::vector<tbx::TextBlock*> release() {
        std::vector<tbx::TextBlock*> v;
        for (auto& b : owned) v.push_back(b.release());
        owned.clear();
        return v;
    }

    std::vector<std::unique_ptr<tbx::TextBlock>> owned;
};

inline std::u32string u32(const std::string& s) { return std::u32string(s.begin(), s.end()); }

}  // namespace page_fixture
