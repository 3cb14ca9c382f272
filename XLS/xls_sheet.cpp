// Worksheet model and the records of one sheet.
#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "TK/tk_except.h"
#include "TK/tk_log.h"
#include "XLS/xls_globals.h"
#include "XLS/xls_spill.h"
#include "XLS/xls_unit.h"
#include "XLS/xls_workbook.h"

namespace xls_core {

namespace {

constexpr std::uint16_t default_row_height = 15;   // points
constexpr std::uint16_t default_col_width = 10;    // characters
constexpr std::uint16_t plain_row_height = 264;    // twips, a ROW without height entry
constexpr std::size_t merges_per_record = 1027;
constexpr std::uint32_t rows_per_block = 16;

std::uint32_t cell_key(std::uint32_t row, std::uint32_t col)
{
    return row * max_cols + col;
}

// The sheet-local numbers of the formats and long labels that a sheet's
// records name (sheet_records_t).
constexpr std::uint16_t overflow_id = 0xFFFF;

class local_ids {
public:
    explicit local_ids(sheet_records_t& form) : form_(form) {}
    // The format's number in the table, made when new; past 0xFFFE formats
    // (a sheet of absurdly many) the number is 0xFFFF.
    std::uint16_t add(const xf_t* x)
    {
        auto it = xfs_.find(x);
        if (it != xfs_.end())
            return it->second;
        auto id = static_cast<std::uint16_t>(std::min<std::size_t>(form_.xfs.size(), overflow_id));
        form_.xfs.push_back(x);
        xfs_.emplace(x, id);
        return id;
    }
    // The number a record names; one of 0xFFFF has its format in `overflow`,
    // in the order of the records.
    std::uint16_t xf(const xf_t* x)
    {
        std::uint16_t id = add(x);
        if (id == overflow_id)
            form_.overflow.push_back(x);
        return id;
    }
    std::uint32_t label(const label_t& l)
    {
        form_.serials.push_back(l.Serial());
        return static_cast<std::uint32_t>(form_.serials.size() - 1);
    }

private:
    sheet_records_t& form_;
    std::unordered_map<const xf_t*, std::uint16_t> xfs_;
};

// Returns the stream position of the record.
std::size_t add_cell_record(CDataStorage& out, const cell_t& cell, local_ids& ids)
{
    const auto* label = dynamic_cast<const label_t*>(&cell);
    CRecord r(!label ? rec_number : label->IsLong() ? rec_labelsst : rec_label);
    r.Reserve(cell.RecordSize() - 4);
    r.AppendWord(static_cast<std::uint16_t>(cell.GetRow()));
    r.AppendWord(static_cast<std::uint16_t>(cell.GetCol()));
    r.AppendWord(ids.xf(cell.GetXF()));
    if (!label)
        r.AppendDouble(static_cast<const number_t&>(cell).GetValue());
    else if (label->IsLong())
        r.AppendDword(ids.label(*label));
    else
        r.AddUnicodeString(label->GetText(), CUnit::count16);
    return out.Add(r);
}

std::uint16_t word_at(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t dword_at(const std::uint8_t* p)
{
    return word_at(p) | (static_cast<std::uint32_t>(word_at(p + 2)) << 16);
}

void set_word(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void set_dword(std::uint8_t* p, std::uint32_t v)
{
    set_word(p, static_cast<std::uint16_t>(v));
    set_word(p + 2, static_cast<std::uint16_t>(v >> 16));
}

}  // namespace

worksheet::worksheet(CGlobalRecords& globals, std::uint16_t index) : globals_(globals), index_(index) {}

void worksheet::check_cell(std::uint32_t row, std::uint32_t col, const char* what) const
{
    if (row >= max_rows)
        throw tk_exception(std::string(what) + ": row " + std::to_string(row) +
                               " is beyond the last row of a worksheet (65535).",
                           tk_level_error);
    if (col >= max_cols)
        throw tk_exception(std::string(what) + ": column " + std::to_string(col) +
                               " is beyond the last column of a worksheet (255).",
                           tk_level_error);
}

cell_t* worksheet::label(std::uint32_t row, std::uint32_t col, const std::string& text, xf_t* xf)
{
    return label(row, col, widen_latin1(text), xf);
}

cell_t* worksheet::label(std::uint32_t row, std::uint32_t col, const std::wstring& text, xf_t* xf)
{
    std::u16string t;
    t.reserve(text.size());
    for (wchar_t wc : text) {
        auto c = static_cast<std::uint32_t>(wc);
        if (c < 0x10000) {
            t.push_back(static_cast<char16_t>(c));   // UTF-16 units pass as they are
        } else if (c <= 0x10FFFF) {
            c -= 0x10000;
            t.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            t.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            t.push_back(u'\uFFFD');
        }
    }
    return label(row, col, t, xf);
}

cell_t* worksheet::label(std::uint32_t row, std::uint32_t col, const std::u16string& text, xf_t* xf)
{
    check_cell(row, col, "Text cell");
    return PlaceCell(std::unique_ptr<cell_t>(new label_t(globals_, row, col, text, xf)));
}

cell_t* worksheet::number(std::uint32_t row, std::uint32_t col, double value, xf_t* xf)
{
    // A NUMBER record holding an infinity or a NaN reads back as garbage or
    // an error value; keep such values readable as text.
    if (!std::isfinite(value))
        return label(row, col, std::string(std::isnan(value) ? "nan" : value > 0 ? "inf" : "-inf"), xf);
    check_cell(row, col, "Number cell");
    return PlaceCell(std::unique_ptr<cell_t>(new number_t(globals_, row, col, value, xf)));
}

cell_t* worksheet::PlaceCell(std::unique_ptr<cell_t> cell)
{
    std::uint32_t row = cell->GetRow(), col = cell->GetCol();
    if (row < first_row_)
        first_row_ = row;
    if (row > last_row_)
        last_row_ = row;
    if (col < first_col_)
        first_col_ = col;
    if (col > last_col_)
        last_col_ = col;
    cell_t* raw = cell.get();
    // Cells mostly arrive in order, so the end is the usual place.
    std::uint32_t key = cell_key(row, col);
    auto it = cells_.lower_bound(key);
    if (it != cells_.end() && it->first == key)
        it->second = std::move(cell);   // the later cell replaces the earlier one
    else
        cells_.emplace_hint(it, key, std::move(cell));
    return raw;
}

const cell_t* worksheet::GetCell(std::uint32_t row, std::uint32_t col) const
{
    auto it = cells_.find(cell_key(row, col));
    return it == cells_.end() ? nullptr : it->second.get();
}

bool worksheet::merge(std::uint32_t first_row, std::uint32_t first_col, std::uint32_t last_row,
                      std::uint32_t last_col)
{
    check_cell(first_row, first_col, "Merged range");
    check_cell(last_row, last_col, "Merged range");
    if (first_row > last_row || first_col > last_col) {
        tk_log::write(1, "worksheet::merge(%u,%u,%u,%u) refused: reversed range", first_row, first_col, last_row,
                      last_col);
        return false;
    }
    // Readers reject overlapping merged ranges, so a range that touches an
    // earlier one is left out.
    for (std::uint32_t r = first_row; r <= last_row; ++r) {
        auto row = merged_rows_.find(r);
        if (row == merged_rows_.end())
            continue;
        auto next = row->second.upper_bound(last_col);
        if (next != row->second.begin() && std::prev(next)->second >= first_col) {
            tk_log::write(1, "worksheet::merge(%u,%u,%u,%u) refused: overlaps an earlier range", first_row,
                          first_col, last_row, last_col);
            return false;
        }
    }
    for (std::uint32_t r = first_row; r <= last_row; ++r)
        merged_rows_[r].emplace(first_col, last_col);
    merges_.push_back(range_t{first_row, last_row, first_col, last_col});
    return true;
}

void worksheet::shrink_merge(std::size_t i, std::uint32_t last_row, std::uint32_t last_col)
{
    if (i >= merges_.size())
        return;
    range_t& m = merges_[i];
    if (last_row < m.first_row || last_row > m.last_row || last_col < m.first_col || last_col > m.last_col)
        return;
    const bool one_cell = last_row == m.first_row && last_col == m.first_col;
    for (std::uint32_t r = m.first_row; r <= m.last_row; ++r) {
        auto row = merged_rows_.find(r);
        if (row == merged_rows_.end())
            continue;
        row->second.erase(m.first_col);
        if (r <= last_row && !one_cell)
            row->second.emplace(m.first_col, last_col);
        if (row->second.empty())
            merged_rows_.erase(row);
    }
    if (one_cell) {
        merges_.erase(merges_.begin() + static_cast<std::ptrdiff_t>(i));
        return;
    }
    m.last_row = last_row;
    m.last_col = last_col;
}

void worksheet::colwidth(std::uint32_t col, std::uint32_t width, xf_t* xf)
{
    check_cell(0, col, "Column width");
    if (width > max_colwidth)
        width = max_colwidth;
    colinfos_.insert_or_assign(col, colinfo_t{xf, col, col, static_cast<std::uint16_t>(width), 0});
}

void worksheet::rowheight(std::uint32_t row, std::uint32_t height, xf_t* xf)
{
    check_cell(row, 0, "Row height");
    if (height < min_rowheight)
        height = min_rowheight;
    if (height > max_rowheight)
        height = max_rowheight;
    rowheights_.insert_or_assign(row, rowheight_t{xf, row, static_cast<std::uint16_t>(height)});
}

void worksheet::UsedFormats(std::vector<const xf_t*>& out) const
{
    for (auto& c : cells_)
        out.push_back(c.second->GetXF());
    for (auto& c : colinfos_)
        if (c.second.xf)
            out.push_back(c.second.xf);
    for (auto& r : rowheights_)
        if (r.second.xf)
            out.push_back(r.second.xf);
}

sheet_records_t worksheet::MakeRecords() const
{
    sheet_records_t form;
    local_ids ids(form);
    // Every format the sheet holds counts as used, also one no record names
    // (a row height below the last cell's row); the default stands for none.
    std::vector<const xf_t*> used;
    UsedFormats(used);
    for (const xf_t* x : used)
        ids.add(x);
    const xf_t* none = globals_.DefaultCellXF();

    CDataStorage out;
    out.Add(MakeBof(0x0010));
    // Everything after the INDEX goes to a second stream first, so that the
    // INDEX can name where its DBCELL records and DEFCOLWIDTH land.
    CDataStorage tail;
    {
        CRecord r(rec_defaultrowheight);
        r.AppendWord(default_row_height != 15 ? 1 : 0);
        r.AppendWord(default_row_height * 20);
        tail.Add(r);
    }
    for (auto& e : colinfos_) {
        const colinfo_t& c = e.second;
        CRecord r(rec_colinfo);
        r.AppendWord(static_cast<std::uint16_t>(c.first_col));
        r.AppendWord(static_cast<std::uint16_t>(c.last_col));
        r.AppendWord(c.width);
        r.AppendWord(ids.xf(c.xf ? c.xf : none));
        r.AppendWord(c.options);
        r.AppendWord(0);
        tail.Add(r);
    }
    std::size_t defcolwidth_at;
    {
        CRecord r(rec_defcolwidth);
        r.AppendWord(default_col_width);
        defcolwidth_at = tail.Add(r);
    }
    {
        // An empty sheet has zero bounds.
        bool empty = cells_.empty();
        CRecord r(rec_dimension);
        r.AppendDword(empty ? 0 : first_row_);
        r.AppendDword(empty ? 0 : last_row_ + 1);
        r.AppendWord(static_cast<std::uint16_t>(empty ? 0 : first_col_));
        r.AppendWord(static_cast<std::uint16_t>(empty ? 0 : last_col_ + 1));
        r.AppendWord(0);
        tail.Add(r);
    }

    // Row blocks: up to 16 ROW records, their cells, one DBCELL.
    std::vector<std::size_t> dbcells;
    auto cit = cells_.begin();
    auto hit = rowheights_.begin();
    while (cit != cells_.end()) {
        std::size_t block_start = tail.Size();
        auto block_first = cit;
        std::uint32_t rows = 0;
        while (rows < rows_per_block && cit != cells_.end()) {
            std::uint32_t r = cit->second->GetRow();
            if (hit != rowheights_.end() && hit->first < r)
                r = hit->first;
            std::uint32_t first_col = 1, last_col = 0;
            if (cit->second->GetRow() == r) {
                first_col = cit->second->GetCol();
                while (cit != cells_.end() && cit->second->GetRow() == r) {
                    last_col = cit->second->GetCol();
                    ++cit;
                }
            }
            std::uint16_t height = plain_row_height;
            const xf_t* xf = nullptr;
            if (hit != rowheights_.end() && hit->first == r) {
                height = hit->second.height;
                xf = hit->second.xf;
                ++hit;
            }
            CRecord rec(rec_row);
            rec.Reserve(16);
            rec.AppendWord(static_cast<std::uint16_t>(r));
            rec.AppendWord(static_cast<std::uint16_t>(first_col));
            rec.AppendWord(static_cast<std::uint16_t>(last_col + 1));
            rec.AppendWord(height);
            rec.AppendWord(0);
            rec.AppendWord(0);
            rec.AppendWord(height != plain_row_height ? 0x00C0 : 0x0080);
            rec.AppendWord(ids.xf(xf ? xf : none));
            tail.Add(rec);
            ++rows;
        }
        CRecord db(rec_dbcell);
        db.AppendDword(0);
        bool first = true;
        for (auto c = block_first; c != cit; ++c) {
            std::size_t pos = add_cell_record(tail, *c->second, ids);
            std::size_t entry = first ? pos - block_start : c->second->RecordSize();
            db.AppendWord(static_cast<std::uint16_t>(entry));
            first = false;
        }
        std::size_t db_at = tail.Size();
        db.SetDwordAt(static_cast<std::uint32_t>(db_at - block_start), 0);
        tail.Add(db);
        dbcells.push_back(db_at);
    }

    for (std::size_t i = 0; i < merges_.size(); i += merges_per_record) {
        std::size_t n = std::min(merges_per_record, merges_.size() - i);
        CRecord r(rec_mergedcells);
        r.Reserve(2 + 8 * n);
        r.AppendWord(static_cast<std::uint16_t>(n));
        for (std::size_t k = i; k < i + n; ++k) {
            r.AppendWord(static_cast<std::uint16_t>(merges_[k].first_row));
            r.AppendWord(static_cast<std::uint16_t>(merges_[k].last_row));
            r.AppendWord(static_cast<std::uint16_t>(merges_[k].first_col));
            r.AppendWord(static_cast<std::uint16_t>(merges_[k].last_col));
        }
        tail.Add(r);
    }
    {
        CRecord r(rec_window2);
        r.AppendWord(index_ == 0 ? 0x06BE : 0x00BE);
        r.AppendWord(0);
        r.AppendWord(0);
        r.AppendWord(64);
        r.AppendWord(0);
        r.AppendWord(0);
        r.AppendWord(0);
        r.AppendDword(0);
        tail.Add(r);
    }
    {
        CRecord r(rec_eof);
        tail.Add(r);
    }

    CRecord index(rec_index);
    std::size_t body = 16 + 4 * dbcells.size();
    index.Reserve(body);
    std::size_t tail_at = out.Size() + CDataStorage::EncodedSize(body);
    bool empty = cells_.empty();
    index.AppendDword(0);
    index.AppendDword(empty ? 0 : cells_.begin()->second->GetRow());
    index.AppendDword(empty ? 0 : cells_.rbegin()->second->GetRow() + 1);
    index.AppendDword(static_cast<std::uint32_t>(tail_at + defcolwidth_at));
    for (std::size_t d : dbcells)
        index.AppendDword(static_cast<std::uint32_t>(tail_at + d));
    out.Add(index);
    out.AddRaw(tail.Bytes());
    form.bytes = std::move(out.Bytes());
    form.size = form.bytes.size();
    return form;
}

void worksheet::ResolveRecords(std::uint8_t* bytes, const sheet_records_t& form, std::uint32_t start,
                               const CGlobalRecords& globals)
{
    std::size_t overflow = 0;
    auto xf_at = [&](std::uint8_t* p) {
        std::uint16_t id = word_at(p);
        const xf_t* x = id != overflow_id && id < form.xfs.size() ? form.xfs[id]
                        : overflow < form.overflow.size()       ? form.overflow[overflow++]
                                                                : globals.DefaultCellXF();
        set_word(p, x->GetIndex());
    };
    bool in_index = false;
    for (std::size_t pos = 0; pos + 4 <= form.size;) {
        std::uint16_t type = word_at(bytes + pos);
        std::size_t len = word_at(bytes + pos + 2);
        std::uint8_t* body = bytes + pos + 4;
        if (pos + 4 + len > form.size)
            break;
        in_index = type == rec_index || (type == rec_continue && in_index);
        switch (type) {
        case rec_row:
            xf_at(body + 14);
            break;
        case rec_colinfo:
            xf_at(body + 6);
            break;
        case rec_number:
        case rec_label:
            xf_at(body + 4);
            break;
        case rec_labelsst: {
            xf_at(body + 4);
            std::uint32_t id = dword_at(body + 6);
            set_dword(body + 6, id < form.serials.size() ? globals.LongLabelIndex(form.serials[id]) : 0);
            break;
        }
        default:
            break;
        }
        // The INDEX names the DEFCOLWIDTH and DBCELL positions (its CONTINUE
        // records go on with DBCELL positions).
        if (in_index)
            for (std::size_t k = type == rec_index ? 12 : 0; k + 4 <= len; k += 4)
                set_dword(body + k, dword_at(body + k) + start);
        pos += 4 + len;
    }
}

bool worksheet::Spill(CSpillFile& file, sheet_records_t& form)
{
    form = MakeRecords();
    if (!file.Append(form.bytes.data(), form.size, form.offset))
        return false;
    std::vector<std::uint8_t>().swap(form.bytes);
    // Long texts stay with the globals for the SST.
    for (auto& c : cells_)
        if (auto* l = dynamic_cast<const label_t*>(c.second.get()); l && l->IsLong())
            globals_.KeepLongLabelText(l);
    return true;
}

}  // namespace xls_core
