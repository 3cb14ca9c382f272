#include "XLS/xls_unit.h"

#include <cstring>

namespace xls_core {

std::u16string widen_latin1(const std::string& text)
{
    std::u16string w;
    w.reserve(text.size());
    for (unsigned char c : text)
        w.push_back(static_cast<char16_t>(c));
    return w;
}

void CUnit::AppendWord(std::uint16_t v)
{
    bytes_.push_back(static_cast<std::uint8_t>(v));
    bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
}

void CUnit::AppendDword(std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void CUnit::AppendDouble(double v)
{
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    AppendDword(static_cast<std::uint32_t>(bits));
    AppendDword(static_cast<std::uint32_t>(bits >> 32));
}

void CUnit::AppendBytes(const std::uint8_t* p, std::size_t n)
{
    if (p && n)
        bytes_.insert(bytes_.end(), p, p + n);
}

namespace {
// Little-endian bytes of v over bytes already there; those past the end are
// left out and make the result false.
bool put_at(std::vector<std::uint8_t>& bytes, std::uint32_t v, std::size_t width, std::size_t offset)
{
    bool ok = true;
    for (std::size_t i = 0; i < width; ++i) {
        if (offset + i < bytes.size())
            bytes[offset + i] = static_cast<std::uint8_t>(v >> (8 * i));
        else
            ok = false;
    }
    return ok;
}
}  // namespace

bool CUnit::SetWordAt(std::uint16_t v, std::size_t offset)
{
    return put_at(bytes_, v, 2, offset);
}

bool CUnit::SetDwordAt(std::uint32_t v, std::size_t offset)
{
    return put_at(bytes_, v, 4, offset);
}

std::uint16_t CUnit::WordAt(std::size_t offset) const
{
    return static_cast<std::uint16_t>(bytes_.at(offset) | (bytes_.at(offset + 1) << 8));
}

std::uint32_t CUnit::DwordAt(std::size_t offset) const
{
    return static_cast<std::uint32_t>(WordAt(offset)) | (static_cast<std::uint32_t>(WordAt(offset + 2)) << 16);
}

bool CUnit::IsCompressible(const std::u16string& text)
{
    for (char16_t c : text)
        if (c >= 0x80)
            return false;
    return true;
}

std::size_t CUnit::UnicodeStringLength(const std::u16string& text, int mode)
{
    std::size_t header = mode == count16 ? 3 : mode == count8 ? 2 : 1;
    std::size_t n = text.size();
    return header + (IsCompressible(text) ? n : 2 * n);
}

void CUnit::AddUnicodeString(const std::u16string& text, int mode)
{
    bool compressed = IsCompressible(text);
    if (mode == count16)
        AppendWord(static_cast<std::uint16_t>(text.size()));
    else if (mode == count8)
        AppendByte(static_cast<std::uint8_t>(text.size()));
    AppendByte(compressed ? 0 : 1);
    for (char16_t c : text) {
        if (compressed)
            AppendByte(static_cast<std::uint8_t>(c));
        else
            AppendWord(static_cast<std::uint16_t>(c));
    }
}

void CUnit::AddUnicodeString(const std::string& text, int mode)
{
    AddUnicodeString(widen_latin1(text), mode);
}

CRecord MakeBof(std::uint16_t substream)
{
    CRecord r(rec_bof);
    r.AppendWord(0x0600);   // BIFF8
    r.AppendWord(substream);
    r.AppendWord(0x1D5F);   // build
    r.AppendWord(0x07CD);   // year
    r.AppendDword(0);
    r.AppendDword(0x00000600);
    return r;
}

std::size_t CDataStorage::EncodedSize(std::size_t body)
{
    std::size_t pieces = body <= max_record_body ? 1 : (body + max_record_body - 1) / max_record_body;
    return body + 4 * pieces;
}

std::size_t CDataStorage::Add(const CRecord& rec)
{
    std::size_t pos = bytes_.size();
    const std::uint8_t* body = rec.Data();
    std::size_t left = rec.Size();
    std::uint16_t type = rec.Type();
    do {
        std::size_t piece = left < max_record_body ? left : max_record_body;
        bytes_.push_back(static_cast<std::uint8_t>(type));
        bytes_.push_back(static_cast<std::uint8_t>(type >> 8));
        bytes_.push_back(static_cast<std::uint8_t>(piece));
        bytes_.push_back(static_cast<std::uint8_t>(piece >> 8));
        if (piece)
            bytes_.insert(bytes_.end(), body, body + piece);
        body += piece;
        left -= piece;
        type = rec_continue;
    } while (left > 0);
    return pos;
}

void CDataStorage::SetDwordAt(std::uint32_t v, std::size_t offset)
{
    for (std::size_t i = 0; i < 4; ++i)
        bytes_.at(offset + i) = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace xls_core
