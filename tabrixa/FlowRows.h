// Rows of blocks that stand side by side in flow layout (a column of labels
// beside columns of values): the cells of each block, and which of them
// share a sheet row.
#pragma once

#include <vector>

namespace tbx {

class TextLine;
class TextPage;
class RegionBlock;

// One cell of a block: its lines in reading order.
struct FlowCell {
    std::vector<TextLine*> lines;
};

struct FlowRows {
    std::vector<std::vector<FlowCell>> cells;  // by block, top down
    std::vector<std::vector<int>> rows;        // rows[r][b]: the cell of block b on row r, or -1
    int shared = 0;                            // rows holding cells of two blocks or more
    bool columnsOfText = false;                // two blocks or more hold running text
};

// A block's cells are its lines as the flow writer groups them (lines on
// one row together), and in a block that is no running text (four lines or
// more, three in four of them of three words or more across four fifths of
// the block) a label wrapped over lines is one cell: a line right under a
// line of its block (neither of them figures, at most 1.4 times the font
// size lower, in the same size, starting or centred where the cell's first
// line does), when what stands after the block (right of it in
// left-to-right text) beside the cell's lines is one row holding a figure,
// and either the line's first word would not have fitted after the line
// above or the figure stands between the cell's first line and this one
// (a label centred on its value).
// Rows go top down: the cell that starts highest, and of every other block
// the next cell when its first line stands on a row with that cell's, or
// when the middle of one of the two lies between the middles of the other's
// first and last lines (a value centred beside a label of two lines).
FlowRows planFlowRows(const TextPage& page, const std::vector<const RegionBlock*>& blocks);

}  // namespace tbx
