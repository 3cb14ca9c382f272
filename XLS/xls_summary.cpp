#include "XLS/xls_summary.h"

#include "XLS/xls_unit.h"

namespace xls_core {

namespace {
const std::uint8_t fmtid_summary[16] = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10,
                                        0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};
const std::uint8_t fmtid_doc_summary[16] = {0x02, 0xD5, 0xCD, 0xD5, 0x9C, 0x2E, 0x1B, 0x10,
                                            0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE};
}  // namespace

std::vector<std::uint8_t> hpsf_property_t::Encode() const
{
    CUnit u;
    switch (kind) {
    case text: {
        // The property sets declare code page 1200, so texts are UTF-16LE,
        // counted in bytes with the terminating zero, padded to 4.
        u.AppendDword(0x1E);
        u.AppendDword(static_cast<std::uint32_t>((text_value.size() + 1) * 2));
        for (char16_t c : text_value)
            u.AppendWord(static_cast<std::uint16_t>(c));
        u.AppendWord(0);
        while (u.Size() % 4)
            u.AppendByte(0);
        break;
    }
    case boolean:
        u.AppendDword(0x0B);
        u.AppendWord(int_value ? 0xFFFF : 0);
        u.AppendWord(0);
        break;
    case int16:
        u.AppendDword(0x02);
        u.AppendWord(static_cast<std::uint16_t>(int_value));
        u.AppendWord(0);
        break;
    case int32:
        u.AppendDword(0x03);
        u.AppendDword(static_cast<std::uint32_t>(int_value));
        break;
    case filetime:
        u.AppendDword(0x40);
        u.AppendDword(low);
        u.AppendDword(high);
        break;
    }
    return u.Bytes();
}

void hpsf_doc_t::AddProperty(const hpsf_property_t& p)
{
    props_.insert_or_assign(p.id, p);
}

std::vector<std::uint8_t> hpsf_doc_t::MakeStream() const
{
    CUnit u;
    u.Reserve(stream_size);
    u.AppendWord(0xFFFE);
    u.AppendWord(0);
    u.AppendDword(2);
    u.AppendFill(0, 16);
    u.AppendDword(1);
    u.AppendBytes(kind_ == summary ? fmtid_summary : fmtid_doc_summary, 16);
    u.AppendDword(48);
    std::size_t section = u.Size();
    u.AppendDword(0);
    u.AppendDword(static_cast<std::uint32_t>(props_.size()));
    std::vector<std::vector<std::uint8_t>> values;
    std::size_t offset = 8 + 8 * props_.size();
    for (auto& e : props_) {
        values.push_back(e.second.Encode());
        u.AppendDword(e.first);
        u.AppendDword(static_cast<std::uint32_t>(offset));
        offset += values.back().size();
    }
    u.SetDwordAt(static_cast<std::uint32_t>(offset), section);
    for (auto& v : values)
        u.AppendBytes(v.data(), v.size());
    if (u.Size() > stream_size)
        return {};
    u.AppendFill(0, stream_size - u.Size());
    return u.Bytes();
}

std::uint64_t unix_time_to_filetime(std::int64_t seconds)
{
    return static_cast<std::uint64_t>(seconds + 11644473600LL) * 10000000ULL;
}

CSummaryInfo::CSummaryInfo(std::int64_t now)
{
    std::uint64_t ft = unix_time_to_filetime(now);
    std::uint32_t low = static_cast<std::uint32_t>(ft), high = static_cast<std::uint32_t>(ft >> 32);
    doc_.AddProperty(hpsf_property_t(1, static_cast<std::int16_t>(1200)));
    doc_.AddProperty(hpsf_property_t(12, low, high));
    doc_.AddProperty(hpsf_property_t(13, low, high));
    doc_.AddProperty(hpsf_property_t(18, std::u16string(xls_application_name)));
    doc_.AddProperty(hpsf_property_t(19, static_cast<std::int32_t>(0)));
}

CDocSummaryInfo::CDocSummaryInfo()
{
    doc_.AddProperty(hpsf_property_t(1, static_cast<std::int16_t>(1200)));
}

}  // namespace xls_core
