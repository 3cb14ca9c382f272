// Test-side readers of the writer's output: BIFF8 records of a stream and the
// sectors of a compound document, decoded independently of the writer.
#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace biff_walk {

inline std::uint16_t u16(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return static_cast<std::uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}
inline std::uint32_t u32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return u16(b, at) | (static_cast<std::uint32_t>(u16(b, at + 2)) << 16);
}

struct record {
    std::uint16_t type;
    std::size_t pos;   // of the header
    std::size_t len;   // body length
};

// Every record of a stream, in order; stops at the end or at a header that
// runs past the end (then `ok` is false).
inline std::vector<record> records(const std::vector<std::uint8_t>& s, bool* ok = nullptr)
{
    std::vector<record> out;
    std::size_t p = 0;
    bool good = true;
    while (p + 4 <= s.size()) {
        record r{u16(s, p), p, u16(s, p + 2)};
        if (p + 4 + r.len > s.size()) {
            good = false;
            break;
        }
        out.push_back(r);
        p += 4 + r.len;
    }
    if (p != s.size())
        good = false;
    if (ok)
        *ok = good;
    return out;
}

// The strings of an SST record and its CONTINUE records, reassembled the way
// readers do: a string cut at a record end goes on after a new flags byte.
inline std::vector<std::u16string> sst_strings(const std::vector<std::uint8_t>& s, std::size_t sst_pos,
                                               std::uint32_t* total = nullptr)
{
    std::vector<std::pair<std::size_t, std::size_t>> pieces;   // body start, body length
    std::size_t p = sst_pos;
    do {
        pieces.push_back({p + 4, u16(s, p + 2)});
        p += 4 + u16(s, p + 2);
    } while (p + 4 <= s.size() && u16(s, p) == 0x003C);
    std::size_t piece = 0, at = pieces[0].first + 8, end = pieces[0].first + pieces[0].second;
    std::uint32_t n = u32(s, pieces[0].first + 4);
    if (total)
        *total = u32(s, pieces[0].first);
    std::vector<std::u16string> out;
    auto next_piece = [&]() {
        ++piece;
        at = pieces.at(piece).first;
        end = at + pieces[piece].second;
    };
    for (std::uint32_t i = 0; i < n; ++i) {
        if (at == end)
            next_piece();
        std::uint16_t count = u16(s, at);
        std::uint8_t flags = s.at(at + 2);
        at += 3;
        std::u16string str;
        while (str.size() < count) {
            if (at == end) {
                // Readers decode each piece on its own.
                if (!str.empty() && str.back() >= 0xD800 && str.back() <= 0xDBFF)
                    throw std::runtime_error("surrogate pair split across records");
                next_piece();
                flags = s.at(at++);
            }
            if (flags & 1) {
                str.push_back(static_cast<char16_t>(u16(s, at)));
                at += 2;
            } else {
                str.push_back(static_cast<char16_t>(s.at(at)));
                at += 1;
            }
            if (at > end)
                throw std::runtime_error("character split across records");
        }
        out.push_back(str);
    }
    return out;
}

// A compound document read back through its header, DIFAT and FAT.
struct ole_file {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint32_t> fat;
    std::vector<std::uint32_t> fat_sectors;
    std::string error;

    explicit ole_file(std::vector<std::uint8_t> b) : bytes(std::move(b))
    {
        std::uint32_t nfat = u32(bytes, 44), difat = u32(bytes, 68), ndifat = u32(bytes, 72);
        for (std::uint32_t i = 0; i < 109 && fat_sectors.size() < nfat; ++i)
            fat_sectors.push_back(u32(bytes, 76 + 4 * i));
        std::uint32_t sec = difat;
        for (std::uint32_t k = 0; k < ndifat; ++k) {
            for (std::uint32_t i = 0; i < 127 && fat_sectors.size() < nfat; ++i)
                fat_sectors.push_back(u32(bytes, sector(sec) + 4 * i));
            sec = u32(bytes, sector(sec) + 508);
        }
        for (std::uint32_t fs : fat_sectors)
            for (std::uint32_t i = 0; i < 128; ++i)
                fat.push_back(u32(bytes, sector(fs) + 4 * i));
    }
    static std::size_t sector(std::uint32_t n) { return 512 * (static_cast<std::size_t>(n) + 1); }

    // The bytes of a chain starting at `start`.
    std::vector<std::uint8_t> chain(std::uint32_t start, std::size_t size) const
    {
        std::vector<std::uint8_t> out;
        std::uint32_t s = start;
        while (s != 0xFFFFFFFE && out.size() < size) {
            out.insert(out.end(), bytes.begin() + sector(s), bytes.begin() + sector(s) + 512);
            s = fat.at(s);
        }
        out.resize(size);
        return out;
    }

    // Directory entry i: name (narrow), start, size.
    struct entry {
        std::string name;
        std::uint8_t type;
        std::uint32_t left, right, child, start, size;
        std::uint16_t name_len;
    };
    entry dir(std::uint32_t i) const
    {
        std::uint32_t d = u32(bytes, 48);
        std::size_t at = sector(d) + 128 * i;
        entry e;
        e.name_len = u16(bytes, at + 64);
        for (std::size_t k = 0; k + 2 < e.name_len; k += 2)
            e.name.push_back(static_cast<char>(bytes.at(at + k)));
        e.type = bytes.at(at + 66);
        e.left = u32(bytes, at + 68);
        e.right = u32(bytes, at + 72);
        e.child = u32(bytes, at + 76);
        e.start = u32(bytes, at + 116);
        e.size = u32(bytes, at + 120);
        return e;
    }
    std::vector<std::uint8_t> stream(std::uint32_t i) const
    {
        entry e = dir(i);
        return chain(e.start, e.size);
    }
};

}  // namespace biff_walk
