// Page regions: stretches of a page whose lines share one column structure.
// A region holds region blocks (its columns); a block may hold nested regions
// (sub-columns, or a ruled table drawn inside the column).
#pragma once

#include <memory>
#include <vector>

namespace tbx {

class TextLine;
class TextBlock;
class PageRegion;
class PageTables;
class RegionSpans;

class RegionBlock {
public:
    // A block made from one line (its row mark counts from 3).
    explicit RegionBlock(TextLine* line);
    // An empty column of a ruled table.
    RegionBlock(double xMin, double xMax, double yMin, double yMax);
    ~RegionBlock();

    // Appends a line and widens the block; a table line is also widened by its
    // cell and its cell code negated (taken into a table region).
    void addLine(TextLine* line, const PageTables* tables = nullptr);
    // Files the open nested region into subRegions, or dissolves it into this
    // block when `dissolve` is set or it is too small to stand on its own.
    void closeNested(bool dissolve);
    // Widens by a nested region: x and y always, base only when it has blocks.
    void widenBy(const PageRegion& region);
    int lineCount() const { return static_cast<int>(lines.size()); }

    double xMin = 0, xMax = 0;
    double baseMin = 0, baseMax = 0;
    double yMin = 0, yMax = 0;
    int colGroup = 0;
    int markedLines = 0;
    int rot = 0;
    TextBlock* blk = nullptr;
    std::unique_ptr<PageRegion> nested;
    std::vector<std::unique_ptr<PageRegion>> subRegions;
    std::vector<TextLine*> lines;
};

class PageRegion {
public:
    static constexpr int verticalTextId = 100000;

    PageRegion();
    explicit PageRegion(int regionId);
    ~PageRegion();

    int blockCount() const { return static_cast<int>(blocks.size()); }
    bool isTable() const { return borderWeight != 0; }

    void addBlock(std::unique_ptr<RegionBlock> block);
    // Sorts the blocks left to right and widens the region by each.
    void finish();
    int maxLineCount();
    bool blockTakesLine(const TextLine* line, int k);
    bool overlapsBlocksX(double x0, double x1) const;
    bool touchesBlocksX(double x0, double x1) const;
    // Extent, base extent and maxLines widened by one block.
    void widenBy(const RegionBlock& block);
    // Extent recomputed from all blocks.
    void recomputeExtent();
    // Lines to write in grid layout, 0 for flow layout.
    int gridLineCount() const;
    // The blocks by left edge, up to date with their extents.
    const RegionSpans& spansOfBlocks() const;
    void clear();

    int id = 0;
    int rot = 0;
    int parentBlockCount = 0;
    int maxLines = 0;
    // 20 x the ruling-line thickness for a ruled table, 0 otherwise.
    int borderWeight = 0;
    // Table number in the collector's list (1-based) for a ruled table.
    int tableId = 0;
    std::vector<std::unique_ptr<RegionBlock>> blocks;
    double baseMin = 0, baseMax = 0, yMin = 0, yMax = 0, xMin = 0, xMax = 0;

private:
    mutable std::unique_ptr<RegionSpans> spans;
};

class PageRegions {
public:
    ~PageRegions();

    // Cuts the page into regions from its block array in reading order.
    // `tables` gives the ruled tables that line cell codes refer to.
    void build(TextBlock** blocks, int blockCount, const PageTables& tables);
    // Closes the nested regions of the region's blocks and appends it.
    void addRegion(std::unique_ptr<PageRegion> region);
    void clear();

    bool rowCrossesBlocks(const PageRegion& region, int i);
    int rowSplitsBlocks(const PageRegion& region, int i) const;
    int rowSplitsRegionBlock(const RegionBlock& block, int i) const;
    bool lineLeavesRegion(const PageRegion& region, int i) const;

    std::vector<std::unique_ptr<PageRegion>> regions;
    // Lines of every non-vertical block, in reading order.
    std::vector<TextLine*> lines;
    // Blocks the row tests looked at while the regions were built: the cost
    // of cutting a page grows with it.
    mutable std::size_t blockLooks = 0;

private:
    // One past the last line of the row that starts at lines[i].
    int rowEnd(int i) const;
    int findRowEnd(int i) const;
    // Row ends found so far while the regions are built (-1: not yet).
    mutable std::vector<int> rowEnds;
    void closeNestedOf(PageRegion& current, RegionBlock& block);
    void handleTableLine(std::unique_ptr<PageRegion>& current, int& counter, int i, const PageTables& tables);
    void handleTextLine(std::unique_ptr<PageRegion>& current, int& counter, int i);
    void closeCurrent(std::unique_ptr<PageRegion>& current, int& counter);
};

// Layout size of a line: its mean font size, or 7.0 without words.
double layoutSize(const TextLine* line);

}  // namespace tbx
