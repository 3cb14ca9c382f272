// The column grid of one worksheet page: ascending column boundaries in
// points, shared by every region of the page.
#pragma once

#include <vector>

namespace tbx {

class PageRegions;

class PageGrid {
public:
    // A worksheet has at most this many columns; cells never go further right.
    static constexpr int maxColumns = 256;

    // Fills the grid from the page's regions (the region of vertical text is ignored).
    void build(const PageRegions& regions);
    // Inserts the edges of one horizontal span, snapping to nearby boundaries.
    // `endsText`: x2 is where the text of a block ends, not where the next
    // one starts.
    void addSpan(double x1, double x2, bool endsText = false);
    // The column in which x lies: boundaries strictly left of x, minus one,
    // at least 0 and never beyond the worksheet's last column.
    int columnAt(double x) const;

    // Number of columns (one less than the boundaries; 0 for an empty grid).
    int columnCount() const { return nColumns; }
    // Boundary i; positions outside the list give the nearest end (0.0 when empty).
    double boundary(int i) const;
    const std::vector<double>& boundaries() const { return bounds; }
    double minX() const { return minX_; }
    // Sets the leftmost edge before spans are added (build does this itself).
    void reset(double minX);
    void clear();

private:
    void placeEdge(double x, double d, bool endsText);

    std::vector<double> bounds;
    // Boundaries placed only by where text ends (a title's right edge): a
    // column starting near one moves it there instead of snapping to it.
    std::vector<bool> textEnds;
    int nColumns = 0;
    double minX_ = 9999.0;
};

}  // namespace tbx
