// The two property-set streams of the workbook file: SummaryInformation and
// DocumentSummaryInformation, one section each, 4096 bytes long.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace xls_core {

struct hpsf_property_t {
    enum kind_t { text = 0, boolean = 1, int16 = 2, int32 = 3, filetime = 4 };

    hpsf_property_t(std::uint16_t id, const std::u16string& value) : id(id), kind(text), text_value(value) {}
    hpsf_property_t(std::uint16_t id, std::int16_t value) : id(id), kind(int16), int_value(value) {}
    hpsf_property_t(std::uint16_t id, std::int32_t value) : id(id), kind(int32), int_value(value) {}
    hpsf_property_t(std::uint16_t id, std::uint32_t low, std::uint32_t high)
        : id(id), kind(filetime), int_value(0), low(low), high(high) {}

    // Bytes of the typed value (type code included), padded to 4.
    std::vector<std::uint8_t> Encode() const;

    std::uint16_t id;
    kind_t kind;
    std::u16string text_value;
    std::int32_t int_value = 0;
    std::uint32_t low = 0, high = 0;
};

class hpsf_doc_t {
public:
    enum { summary = 0, doc_summary = 1 };
    static constexpr std::size_t stream_size = 4096;

    explicit hpsf_doc_t(int kind) : kind_(kind) {}
    // A property with the same id replaces the earlier one.
    void AddProperty(const hpsf_property_t& p);
    std::size_t Count() const { return props_.size(); }
    // The whole stream, 4096 bytes; empty when the properties do not fit.
    std::vector<std::uint8_t> MakeStream() const;

private:
    int kind_;
    std::map<std::uint16_t, hpsf_property_t> props_;
};

// 100-nanosecond intervals since 1601-01-01 of a time in seconds since 1970.
std::uint64_t unix_time_to_filetime(std::int64_t seconds);

// SummaryInformation: code page 1200, creation and last-save time, the
// application name, document security 0.
class CSummaryInfo {
public:
    explicit CSummaryInfo(std::int64_t now);
    std::vector<std::uint8_t> MakeStream() const { return doc_.MakeStream(); }

private:
    hpsf_doc_t doc_{hpsf_doc_t::summary};
};

// DocumentSummaryInformation: code page 1200 only.
class CDocSummaryInfo {
public:
    CDocSummaryInfo();
    std::vector<std::uint8_t> MakeStream() const { return doc_.MakeStream(); }

private:
    hpsf_doc_t doc_{hpsf_doc_t::doc_summary};
};

// The application name written into the summary information.
constexpr const char16_t* xls_application_name = u"Tabrixa";

}  // namespace xls_core
