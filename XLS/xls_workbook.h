// The workbook model that the page layout fills: a workbook of worksheets,
// each holding text and number cells, merged ranges, column widths and row
// heights, and the formats and fonts of its cells. Dump() writes it as a
// BIFF8 workbook inside an OLE2 compound document.
//
// Units: column widths in 1/256 of a character width, row heights and font
// heights in twips (1/20 point). Rows 0..65535, columns 0..255.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/plat_place.h"

namespace xls_core {

class CGlobalRecords;
class CByteSink;
class CDataStorage;
class worksheet;

// Format limits of BIFF8 that the model enforces.
constexpr std::uint32_t max_rows = 65536;
constexpr std::uint32_t max_cols = 256;
constexpr std::uint32_t max_colwidth = 255 * 256;   // 255 characters
constexpr std::uint32_t min_rowheight = 2;          // twips
constexpr std::uint32_t max_rowheight = 8192;       // twips
constexpr int min_font_height = 20;                 // twips
constexpr int max_font_height = 8191;               // twips
constexpr std::size_t max_cell_chars = 32767;
constexpr std::size_t max_sheet_name = 31;
constexpr std::size_t max_sheets = 65535;
// The message of a workbook that would pass max_sheets.
extern const std::string too_many_sheets;

// One FONT record. Fonts are pooled by value in the workbook: every distinct
// font exists once. Its index is the FONT record its formats name; it is
// numbered anew whenever the workbook is written, as only fonts in use are.
class font_t {
public:
    virtual ~font_t() = default;

    std::uint16_t GetIndex() const { return index_; }
    const std::string& GetName() const { return name_; }
    std::uint16_t GetHeight() const { return height_; }
    std::uint16_t GetBoldness() const { return boldness_; }
    std::uint16_t GetScript() const { return script_; }
    std::uint16_t GetAttributes() const { return attributes_; }
    std::uint16_t GetColour() const { return colour_; }
    std::uint8_t GetUnderline() const { return underline_; }
    std::uint8_t GetFamily() const { return family_; }
    std::uint8_t GetCharset() const { return charset_; }

private:
    friend class CGlobalRecords;
    font_t() = default;

    std::string name_;
    std::uint16_t index_ = 0;
    std::uint16_t height_ = 200;
    std::uint16_t boldness_ = 400;
    std::uint16_t script_ = 0;
    std::uint16_t attributes_ = 0;
    std::uint16_t colour_ = 0;
    std::uint8_t underline_ = 0;
    std::uint8_t family_ = 0;
    std::uint8_t charset_ = 1;
};

// The BIFF8 values of one XF record, without its index.
struct xf_value_t {
    const font_t* font = nullptr;  // none: font index 0 in the record
    std::uint16_t format = 0;
    std::uint8_t halign = 0, valign = 2, indent = 0, rotation = 0;
    std::uint8_t fill = 0, pattern_colour = 64, pattern_bg = 65;
    std::uint8_t flags = 0x01;  // bit 0 locked, 1 hidden, 2 wrap, 3 cell XF, 4 user XF
    std::uint8_t border_style[5] = {0, 0, 0, 0, 0};   // bottom, top, left, right, diagonal
    std::uint8_t border_colour[5] = {0, 0, 0, 0, 0};
    std::uint8_t used = 0;  // used-attribute bits 0x04..0x80

    bool operator==(const xf_value_t& o) const;
    bool operator!=(const xf_value_t& o) const { return !(*this == o); }
};

enum xf_flag : std::uint8_t {
    xf_locked = 0x01, xf_hidden = 0x02, xf_wrap = 0x04, xf_cell = 0x08, xf_user = 0x10
};

// One extended format (XF record). Cell formats are pooled by value: a format
// change on a cell yields the earlier XF with the same values, if any.
class xf_t {
public:
    virtual ~xf_t() = default;

    // Index of the XF record of this format; numbered anew whenever the
    // workbook is written, as only formats in use are.
    std::uint16_t GetIndex() const { return index_; }
    const font_t* GetFont() const;
    const xf_value_t& Value() const { return value_; }

    // Option setters on a value (option tables of the format); an option out
    // of range raises the writer's assertion. Used by the cell setters.
    static void SetBorderStyle(xf_value_t& v, int side, int style);
    static void SetBorderColor(xf_value_t& v, int side, int color);
    static void SetHAlign(xf_value_t& v, int ha_option);
    static void SetVAlign(xf_value_t& v, int va_option);
    static void SetIndent(xf_value_t& v, int indent_option);
    static void SetRotation(xf_value_t& v, int ori_option);
    static void SetFillForeColour(xf_value_t& v, int color);
    static void SetFillBackColour(xf_value_t& v, int color);
    static void SetFillStyle(xf_value_t& v, int fill);
    static void SetWrap(xf_value_t& v, bool wrap);
    static void SetFont(xf_value_t& v, const font_t* font);
    static void SetFormat(xf_value_t& v, int format_option);

private:
    friend class CGlobalRecords;
    xf_t(const xf_value_t& value, std::uint16_t index) : value_(value), index_(index) {}

    xf_value_t value_;
    std::uint16_t index_ = 0;
};

// A cell of a worksheet. The pointer returned by the sheet's adders stays
// owned by the sheet; use it only to apply the format setters right away.
class cell_t {
public:
    virtual ~cell_t() = default;
    cell_t(const cell_t&) = delete;
    cell_t& operator=(const cell_t&) = delete;

    std::uint32_t GetRow() const { return row_; }
    std::uint32_t GetCol() const { return col_; }
    xf_t* GetXF() const { return xf_; }

    // Each setter gives the cell the format with one attribute changed and
    // returns it. Sides: 0 bottom, 1 top, 2 left, 3 right, 4 diagonal; border
    // styles 0..7; horizontal alignment 0..6; vertical alignment 0..3.
    xf_t* set_border(int side, int style);
    xf_t* set_halign(int option);
    xf_t* set_valign(int option);
    xf_t* set_wrap(bool wrap);
    // Height in twips, clamped to 20..8191.
    xf_t* set_font_height(int height);
    // 8-bit names are taken as Latin-1.
    xf_t* set_font_name(const std::string& name);

    // Size of the cell's record, header included.
    virtual std::size_t RecordSize() const = 0;

protected:
    cell_t(CGlobalRecords& globals, std::uint32_t row, std::uint32_t col, xf_t* xf);

    CGlobalRecords& globals_;

private:
    // Applies the edit to the cell's own copy of its format and takes the
    // workbook's format of the result.
    template <class Edit>
    xf_t* change_xf(Edit edit);

    xf_t* xf_;
    std::uint32_t row_;
    std::uint32_t col_;
};

// A text cell. Texts of 256 characters or more go to the shared-string table.
class label_t : public cell_t {
public:
    label_t(CGlobalRecords& globals, std::uint32_t row, std::uint32_t col,
            const std::u16string& text, xf_t* xf);
    ~label_t() override;

    const std::u16string& GetText() const { return text_; }
    bool IsLong() const { return long_; }
    std::uint64_t Serial() const { return serial_; }
    std::size_t RecordSize() const override;

private:
    std::u16string text_;
    bool long_;
    // Creation order among the workbook's long labels (their SST order).
    std::uint64_t serial_ = 0;
};

// A number cell (NUMBER record).
class number_t : public cell_t {
public:
    number_t(CGlobalRecords& globals, std::uint32_t row, std::uint32_t col, double value, xf_t* xf);
    double GetValue() const { return value_; }
    std::size_t RecordSize() const override { return 18; }

private:
    double value_;
};

struct range_t {
    std::uint32_t first_row, last_row, first_col, last_col;
};

struct colinfo_t {
    xf_t* xf;
    std::uint32_t first_col, last_col;
    std::uint16_t width;    // 1/256 character
    std::uint16_t options;
};

struct rowheight_t {
    xf_t* xf;
    std::uint32_t row;
    std::uint16_t height;   // twips
};

class CSpillFile;

// A sheet's records as the stream takes them, except for what is numbered
// only when the whole workbook is written: each XF field holds an index into
// `xfs`, each SST index an index into `serials` (long labels), and stream
// positions count from the sheet's BOF. worksheet::ResolveRecords puts the
// final numbers in.
struct sheet_records_t {
    std::vector<const xf_t*> xfs;         // every format the sheet holds
    std::vector<const xf_t*> overflow;    // formats past 0xFFFE, in record order
    std::vector<std::uint64_t> serials;
    std::vector<std::uint8_t> bytes;      // empty while they wait in the spill file
    std::uint64_t offset = 0;             // in the spill file
    std::size_t size = 0;
};

class worksheet {
public:
    worksheet(CGlobalRecords& globals, std::uint16_t index);
    virtual ~worksheet() = default;
    worksheet(const worksheet&) = delete;
    worksheet& operator=(const worksheet&) = delete;

    // Cell adders: a later cell at the same position replaces the earlier one.
    // Rows above 65535 or columns above 255 are refused (tk_exception, level 1).
    // Narrow texts are Latin-1; wide texts are UTF-16 code units or code
    // points (one above U+FFFF becomes a surrogate pair, one above U+10FFFF
    // U+FFFD). Texts longer than 32767 UTF-16 units are refused.
    cell_t* label(std::uint32_t row, std::uint32_t col, const std::string& text, xf_t* xf = nullptr);
    cell_t* label(std::uint32_t row, std::uint32_t col, const std::u16string& text, xf_t* xf = nullptr);
    cell_t* label(std::uint32_t row, std::uint32_t col, const std::wstring& text, xf_t* xf = nullptr);
    // A number that is not finite is written as a text cell ("nan", "inf", "-inf").
    cell_t* number(std::uint32_t row, std::uint32_t col, double value, xf_t* xf = nullptr);

    // Merges the range. Returns false, adding nothing, when the range
    // duplicates or overlaps an earlier merged range or its corners are
    // reversed. Rows/columns beyond the limits throw like the cell adders.
    bool merge(std::uint32_t first_row, std::uint32_t first_col,
               std::uint32_t last_row, std::uint32_t last_col);
    // Narrows merged range i (of Merges()) to end at last_row, last_col,
    // which lie inside it; the range keeps its first cell. A range left
    // with that one cell is removed (the later ranges move down by one).
    void shrink_merge(std::size_t i, std::uint32_t last_row, std::uint32_t last_col);
    // Width in 1/256 character, clamped to 255 characters; replaces the column's entry.
    void colwidth(std::uint32_t col, std::uint32_t width, xf_t* xf = nullptr);
    // Height in twips, clamped to 2..8192; replaces the row's entry.
    void rowheight(std::uint32_t row, std::uint32_t height, xf_t* xf = nullptr);

    std::uint16_t GetIndex() const { return index_; }
    std::size_t CellCount() const { return cells_.size(); }
    const cell_t* GetCell(std::uint32_t row, std::uint32_t col) const;
    const std::vector<range_t>& Merges() const { return merges_; }

    // The sheet's records in their sheet-local form. Used by the workbook's dump.
    sheet_records_t MakeRecords() const;
    // Puts the final numbers into records of that form (bytes: `size` of
    // them): format and SST indices from the globals just written, stream
    // positions moved to the sheet's start in the stream.
    static void ResolveRecords(std::uint8_t* bytes, const sheet_records_t& form, std::uint32_t start,
                               const CGlobalRecords& globals);

    // Appends the finished sheet's records to the spill file, their form
    // (bytes aside) to `form`, and leaves its long texts with the globals:
    // the sheet can then go. False, changing nothing, when the file refused them.
    bool Spill(CSpillFile& file, sheet_records_t& form);

private:
    // Appends the formats that the sheet's cells, columns and rows hold.
    void UsedFormats(std::vector<const xf_t*>& out) const;

    cell_t* PlaceCell(std::unique_ptr<cell_t> cell);
    void check_cell(std::uint32_t row, std::uint32_t col, const char* what) const;

    CGlobalRecords& globals_;
    std::uint16_t index_;
    // Keyed by row * 256 + column: row, then column order.
    std::map<std::uint32_t, std::unique_ptr<cell_t>> cells_;
    std::vector<range_t> merges_;
    // Merged columns per row, keyed by first column, for the overlap check.
    std::map<std::uint32_t, std::map<std::uint32_t, std::uint32_t>> merged_rows_;
    std::map<std::uint32_t, colinfo_t> colinfos_;
    std::map<std::uint32_t, rowheight_t> rowheights_;
    std::uint32_t first_row_ = 0xFFFFFFFF, first_col_ = 0xFFFFFFFF, last_row_ = 0, last_col_ = 0;
};

class workbook {
public:
    workbook();
    virtual ~workbook();
    workbook(const workbook&) = delete;
    workbook& operator=(const workbook&) = delete;

    // A new worksheet, owned by the workbook. The name (Latin-1) must have 1 to
    // 31 characters, none of : \ / ? * [ ], and differ from every earlier
    // sheet name ignoring case; otherwise tk_exception (level 1).
    worksheet* sheet(const std::string& name);
    // The sheet; none once it has been spilled (SpillSheets).
    worksheet* GetSheet(std::size_t index) const;
    std::size_t SheetCount() const { return sheets_.size(); }

    // Writes the workbook file. 0 on success; -100 when there is no sheet;
    // -1 when the file cannot be written (LastError() tells why). The file
    // is written unnamed in the destination's folder and renamed over the
    // destination only when complete, so a failure leaves no file and keeps
    // an earlier one intact. It can be written again.
    int Dump(const std::string& file_name);
    const std::string& LastError() const { return last_error_; }
    // Notes what stands at the destination now, before the work: Dump then
    // lets only that file pass its owner and permissions to the workbook,
    // never one that appeared meanwhile (another user's, in a shared folder).
    void NoteDestination(const std::string& file_name);

    // The "Workbook" stream as Dump writes it (without the sector padding).
    std::vector<std::uint8_t> WorkbookStream();

    // Moves the records of every sheet made so far to an unnamed temporary
    // file and deletes the sheets (earlier worksheet pointers are no longer
    // valid), so that memory does not grow with the sheets: call it once a
    // sheet is finished. Only what the globals need stays: the sheet's
    // formats, long texts, name and size. A sheet the file refuses stays in
    // memory; the workbook is the same either way.
    void SpillSheets();
    // Where the spill file is made, before $TMPDIR: the workbook's own folder
    // (the disk must hold the workbook anyway, and the file's space goes to
    // the workbook while it is written).
    void SetScratchFolder(const std::string& folder) { scratch_folder_ = folder; }
    // The next Dump is the last: the spill file's space is given back sheet
    // by sheet as the workbook is written, so the disk needs little more
    // than the workbook. Nothing can be written after it.
    void SetFinalDump() { final_dump_ = true; }

    CGlobalRecords& Globals() { return *globals_; }

private:
    struct stream_plan;
    // Writes the globals and lays out the stream; false with last_error_.
    bool PlanStream(stream_plan& plan);
    int WriteStream(stream_plan& plan, CByteSink& out);

    std::unique_ptr<CGlobalRecords> globals_;
    std::unique_ptr<CSpillFile> spill_;
    std::string scratch_folder_;
    bool final_dump_ = false, spill_released_ = false;
    std::size_t spilled_upto_ = 0;   // sheets before it are spilled or stay in memory
    // A spilled sheet (its entry in sheets_ is empty): where its records lie
    // and how many entries of the pools below are its own, the pools holding
    // the spilled sheets' entries one sheet after the other.
    struct spilled_sheet_t {
        std::uint64_t offset = 0;
        std::uint32_t size = 0, xfs = 0, overflow = 0, serials = 0;
    };
    std::vector<spilled_sheet_t> spilled_;   // by sheet index
    std::vector<const xf_t*> spilled_xfs_, spilled_overflow_;
    std::vector<std::uint64_t> spilled_serials_;
    std::vector<std::unique_ptr<worksheet>> sheets_;
    // Sheet names folded to one case, for their uniqueness.
    std::unordered_set<std::u16string> folded_names_;
    std::int64_t created_ = 0;   // seconds since 1970, for the summary information
    std::string last_error_;
    std::optional<plat_file_id> noted_;  // the destination as NoteDestination found it
};

}  // namespace xls_core
