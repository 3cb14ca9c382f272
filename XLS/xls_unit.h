// Little-endian byte building for the streams of the workbook file: a unit is
// a growable byte buffer, a record one with a BIFF8 header, and a storage the
// bytes of one whole stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace xls_core {

// BIFF8 record types the writer produces.
enum biff_record : std::uint16_t {
    rec_eof = 0x000A, rec_externsheet = 0x0017, rec_datemode = 0x0022, rec_font = 0x0031,
    rec_continue = 0x003C, rec_window1 = 0x003D, rec_codepage = 0x0042, rec_defcolwidth = 0x0055,
    rec_colinfo = 0x007D, rec_boundsheet = 0x0085, rec_palette = 0x0092, rec_dbcell = 0x00D7,
    rec_xf = 0x00E0, rec_mergedcells = 0x00E5, rec_sst = 0x00FC, rec_labelsst = 0x00FD,
    rec_supbook = 0x01AE, rec_dimension = 0x0200, rec_number = 0x0203, rec_label = 0x0204,
    rec_row = 0x0208, rec_index = 0x020B, rec_defaultrowheight = 0x0225, rec_window2 = 0x023E,
    rec_style = 0x0293, rec_bof = 0x0809,
};

// Longest record body; longer contents go on in CONTINUE records.
constexpr std::size_t max_record_body = 8224;

// Zero-extends 8-bit text (Latin-1).
std::u16string widen_latin1(const std::string& text);

// Halves of a UTF-16 surrogate pair.
inline bool is_high_surrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
inline bool is_low_surrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

class CUnit {
public:
    // Count modes of BIFF8 strings: 1 16-bit count + flags, 2 8-bit count +
    // flags, 3 flags only.
    enum { count16 = 1, count8 = 2, no_count = 3 };

    void AppendByte(std::uint8_t v) { bytes_.push_back(v); }
    void AppendWord(std::uint16_t v);
    void AppendDword(std::uint32_t v);
    void AppendDouble(double v);
    void AppendBytes(const std::uint8_t* p, std::size_t n);
    void AppendFill(std::uint8_t v, std::size_t n) { bytes_.insert(bytes_.end(), n, v); }
    void AppendUnit(const CUnit& u) { AppendBytes(u.Data(), u.Size()); }
    void Reserve(std::size_t n) { bytes_.reserve(n); }
    // Overwrite bytes already written; false (nothing outside written) when
    // the range passes the end.
    bool SetWordAt(std::uint16_t v, std::size_t offset);
    bool SetDwordAt(std::uint32_t v, std::size_t offset);
    std::uint16_t WordAt(std::size_t offset) const;
    std::uint32_t DwordAt(std::size_t offset) const;

    // BIFF8 Unicode string: header of the mode, flags 0 (one byte per
    // character) when every character is below 0x80, else 1 (two bytes each).
    void AddUnicodeString(const std::u16string& text, int mode);
    // The narrow form takes the text as Latin-1.
    void AddUnicodeString(const std::string& text, int mode);
    static std::size_t UnicodeStringLength(const std::u16string& text, int mode);
    static bool IsCompressible(const std::u16string& text);

    std::size_t Size() const { return bytes_.size(); }
    const std::uint8_t* Data() const { return bytes_.data(); }
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    std::vector<std::uint8_t>& Bytes() { return bytes_; }

protected:
    std::vector<std::uint8_t> bytes_;
};

// A record: type and body; the header is added when it is stored.
class CRecord : public CUnit {
public:
    explicit CRecord(std::uint16_t type) : type_(type) {}
    std::uint16_t Type() const { return type_; }

private:
    std::uint16_t type_;
};

// The BOF record that opens a substream: 0x0005 workbook globals, 0x0010 worksheet.
CRecord MakeBof(std::uint16_t substream);

// The bytes of one stream.
class CDataStorage {
public:
    std::size_t Size() const { return bytes_.size(); }
    // Appends the record; a body beyond 8224 bytes is cut and carried on in
    // CONTINUE records of 8224 bytes, the last one holding the rest. Returns
    // the stream position of the record.
    std::size_t Add(const CRecord& rec);
    // Appends bytes already encoded (records with their own continuation).
    void AddRaw(const std::uint8_t* p, std::size_t n) { bytes_.insert(bytes_.end(), p, p + n); }
    void AddRaw(const std::vector<std::uint8_t>& v) { AddRaw(v.data(), v.size()); }
    void SetDwordAt(std::uint32_t v, std::size_t offset);
    // Bytes that Add() will take for a record of this body size.
    static std::size_t EncodedSize(std::size_t body);

    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    std::vector<std::uint8_t>& Bytes() { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace xls_core
