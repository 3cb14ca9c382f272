// The page's store of ruling lines: thin shapes withheld by the raster pass,
// the graphical tables built from them, and the text pass's questions about
// underlines and table cells.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "TK/tk_singl.h"

class Splash;

// How a withheld shape would have been painted. The raster device keeps its
// own paint state behind this base; the collector only owns and hands it back.
class pdf_line_paint {
public:
    virtual ~pdf_line_paint() = default;
};

class pdf_uline_processor : public tk_singleton<pdf_uline_processor> {
public:
    // One withheld line (device pixels) or recognised underline (points).
    struct line_item {
        int32_t tag = 0;  // 0 = in no table; table id x 1000 while in a table
        double xMin = 0, xMax = 0, yMin = 0, yMax = 0;
    };

    // The paint of one withheld line, owned by the collector from set_line on.
    struct pipe_holder {
        pipe_holder() = default;
        pipe_holder(std::unique_ptr<pdf_line_paint> paint, bool noClip, uint8_t r, uint8_t g, uint8_t b)
            : paint(std::move(paint)), noClip(noClip), r(r), g(g), b(b) {}
        std::unique_ptr<pdf_line_paint> paint;  // may be null: nothing to replay
        bool noClip = false;                    // wholly inside the clip when withheld
        uint8_t r = 0, g = 0, b = 0;            // the paint's colour at pixel (0, 0)
    };

    struct cell_item {
        double xMin = 0, xMax = 0, yMin = 0, yMax = 0;  // points
    };

    // One graphical table. Box in points once built (pixels while building and
    // for a rejected table, which has id 0 and no cells).
    struct reg_item {
        int32_t id = 0;
        int32_t horiz_count = 0;  // row edges
        int32_t vert_count = 0;   // column edges
        uint8_t r = 0, g = 0, b = 0;
        double xMin = 0, xMax = 0, yMin = 0, yMax = 0;
        double thickness = 0.3;  // points, at least 0.3
        std::vector<cell_item> cells;  // row-major; index = row * (vert_count - 1) + column
        // The edges in points, ascending, as the cells were built from them
        // (both empty when they were not ascending).
        std::vector<double> row_edges;
        std::vector<double> col_edges;
        // Horizontal rules across some of its columns only (points), which
        // make no row edge: a rule under a group header, under one level of a
        // header.
        std::vector<cell_item> partial_rules;

        int rows() const { return horiz_count > 1 ? horiz_count - 1 : 0; }
        int columns() const { return vert_count > 1 ? vert_count - 1 : 0; }
        // Builds the cells from edges in device pixels (each list at least 3 long).
        void cellsBuilding(std::vector<double> ys, std::vector<double> xs);
        // Index of the first cell holding the box (points, 2.5 slack), or -1.
        int is_inCell(double x1, double x2, double y1, double y2) const;
        // Index of the cell holding most of a box that crosses a rule (its row
        // by height, its column by width, each holding at least half of it
        // unless the box lies inside the table), or -1.
        int cell_holding_most(double x1, double x2, double y1, double y2) const;
    };

    // Where undo_lines paints: the raster device's rasteriser, or a test double.
    class canvas {
    public:
        virtual ~canvas() = default;
        // Paints pixels x0..x1 of every row y0..y1 (all inclusive) as `how` says.
        virtual void fill_box(const pipe_holder& how, int x0, int x1, int y0, int y1) = 0;
    };

    explicit pdf_uline_processor(bool tables_mode);
    ~pdf_uline_processor() override;

    bool tables_mode() const { return tables_mode_; }
    // Set by the raster device before each painting operation, cleared by a
    // hook once it withholds a shape.
    bool simple_path() const { return simple_path_; }
    void set_simple_path(bool on) { simple_path_ = on; }

    // Intake (raster pass, device pixels). A null holder is taken as black, unpainted.
    void set_line(double x1, double x2, double y1, double y2, std::unique_ptr<pipe_holder> holder);

    // Groups the candidate lines into graphical tables (start of the text pass).
    void tableBuilding();

    // Text pass questions, in points.
    bool process_as_underline(double x1, double x2, double y, int r, int g, int b);
    // Table id x 10000 + cell index of the first table holding the box; 0 for none.
    int process_is_inCell(double x1, double x2, double y1, double y2) const;
    // As process_is_inCell, for a box no cell holds: the cell holding most of it.
    int process_cell_holding_most(double x1, double x2, double y1, double y2) const;

    // Paints every remaining candidate line. Null splash: internal error.
    void undo_lines(Splash* splash);
    void undo_lines(canvas& target);

    // End of page: empties everything.
    void flush();

    // Readers. Table number t (from 1) is get_regions()[t - 1]; rejected tables have id 0.
    const std::vector<reg_item>& get_regions() const { return regions_; }
    // The built table with this id, or null (rejected, unknown).
    const reg_item* region(int id) const;
    const std::vector<line_item>& get_underlines() const { return underlines_; }
    // The candidate lines still held (device pixels), in list order.
    std::vector<line_item> get_lines() const;
    // The lines the built tables were made of (device pixels).
    const std::vector<line_item>& get_table_lines() const { return table_lines_; }
    size_t line_count() const;
    // Holder of the i-th candidate line (list order as get_lines).
    const pipe_holder* holder_at(size_t i) const;

    // Lines the last tableBuilding looked at while it grouped lines into
    // tables: the cost of a page's rulings grows with it.
    size_t grouping_looks() const { return grouping_looks_; }

    // Cell codes are id x 10000 + cell: a table needs fewer cells than this.
    static constexpr int max_table_cells = 10000;
    // Raster pixels per point: lines come in at 150 dpi, questions in points.
    static constexpr double px_per_pt = 2.08333;

private:
    struct candidate {
        line_item line;
        std::unique_ptr<pipe_holder> holder;
        bool taken = false;    // became an underline: neither asked again nor painted
        bool painted = false;  // already painted back by undo_lines
    };

    class buckets;
    void drop_taken();
    void sort_lines();
    void build_candidate_index();

    bool tables_mode_ = true;
    bool simple_path_ = false;
    std::vector<candidate> lines_;  // each line with its holder, so the two never part
    size_t grouping_looks_ = 0;
    std::vector<line_item> table_lines_;
    std::vector<line_item> underlines_;
    std::vector<reg_item> regions_;
    std::vector<size_t> built_regions_;  // positions of the tables with cells

    // Lookup indexes: candidate middles in points (rebuilt after intake or
    // table building), underline middles in points.
    bool index_valid_ = false;
    std::vector<std::pair<double, size_t>> candidate_index_;  // (middle, position), by middle
    std::multimap<double, size_t> underline_index_;           // middle -> position in underlines_
};
