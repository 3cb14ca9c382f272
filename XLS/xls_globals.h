// Everything of a workbook that is not one sheet: fonts, formats, styles,
// the sheet directory and the shared long strings, and the records of the
// globals part of the "Workbook" stream.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "XLS/xls_workbook.h"

namespace xls_core {

class CDataStorage;

// Limits on records of one workbook (cell XF indices are 12 bits in style
// parents and Excel stops near 4000; font indices past 511 are not read).
constexpr std::size_t max_xf_records = 4000;
constexpr std::size_t max_font_records = 510;
constexpr std::size_t default_xf_count = 21;
constexpr std::size_t default_font_count = 5;

class CGlobalRecords {
public:
    CGlobalRecords();
    ~CGlobalRecords();
    CGlobalRecords(const CGlobalRecords&) = delete;
    CGlobalRecords& operator=(const CGlobalRecords&) = delete;

    xf_t* DefaultCellXF() const { return default_cell_xf_; }
    const font_t* GetDefaultFont() const { return fonts_.front().get(); }

    // The pooled font with these values (name Latin-1), made when new.
    const font_t* FindFont(const std::string& name, std::uint16_t height, std::uint16_t boldness,
                           std::uint16_t script, std::uint16_t attributes, std::uint16_t colour,
                           std::uint8_t underline, std::uint8_t family, std::uint8_t charset);
    // The added XF with these values, made when new.
    xf_t* findXF(const xf_value_t& value);

    // Fonts and formats made so far, used or not.
    std::size_t FontCount() const { return fonts_.size(); }
    std::size_t XFCount() const { return default_xfs_.size() + added_xfs_.size(); }

    void AddSheetEntry(const std::u16string& name) { sheet_names_.push_back(name); }

    // Long labels in creation order; a label's SST index is its rank.
    std::uint64_t AddLongLabel(const label_t* label);
    void RemoveLongLabel(std::uint64_t serial, const label_t* label);
    // The label's sheet leaves memory: its text stays here for the SST.
    void KeepLongLabelText(const label_t* label);
    // SST index of a long label, by the label or its serial; valid once the
    // globals have been written.
    std::uint32_t LongLabelIndex(const label_t* label) const;
    std::uint32_t LongLabelIndex(std::uint64_t serial) const;

    // Appends the globals records. Only the added formats in `used` (those
    // that cells, columns and rows hold) and the fonts they name are written,
    // numbered anew; past the record limits a font or format takes the index
    // of the nearest one written (NumberRecords). The BOUNDSHEET positions are
    // written as 0; `boundsheet_at` receives the stream offset of each
    // sheet's position field.
    void WriteRecords(CDataStorage& out, std::vector<std::size_t>& boundsheet_at,
                      const std::vector<const xf_t*>& used);

    // The SST record with its CONTINUE records (for tests too).
    static std::vector<std::uint8_t> EncodeSST(const std::vector<const std::u16string*>& texts);

private:
    xf_t* MakeDefaultXF(int i);
    void NumberRecords(const std::vector<const xf_t*>& used);
    const font_t& NearestFont(const font_t& font) const;
    const xf_t& NearestXF(const xf_t& xf) const;

    std::vector<std::unique_ptr<font_t>> fonts_;   // defaults (0, 1, 2, 3, 5), then added
    static std::string FontKey(const font_t& font);

    std::unordered_map<std::string, font_t*> font_pool_;
    std::uint16_t next_font_index_ = 6;
    std::vector<std::unique_ptr<xf_t>> default_xfs_;
    std::vector<std::unique_ptr<xf_t>> added_xfs_;
    std::unordered_map<std::string, xf_t*> xf_pool_;
    // What the next write puts into FONT and XF records (NumberRecords).
    std::vector<const font_t*> written_fonts_;   // defaults included
    std::vector<const xf_t*> written_xfs_;       // added formats only
    xf_t* default_cell_xf_ = nullptr;
    std::vector<std::u16string> sheet_names_;
    // A long label, or its text alone once its sheet has left memory.
    struct long_label_t {
        const label_t* label;
        std::u16string text;
    };
    std::map<std::uint64_t, long_label_t> long_labels_;
    std::uint64_t next_serial_ = 0;
    // Serials of the SST's strings, in SST order (the last write's).
    std::vector<std::uint64_t> sst_serials_;
};

}  // namespace xls_core
