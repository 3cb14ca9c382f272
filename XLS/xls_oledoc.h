// The output file and the OLE2 compound document around the streams:
// version 3, 512-byte sectors, no mini stream, every stream contiguous and at
// least 4096 bytes, the directory in one sector.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/plat_place.h"

namespace xls_core {

// Where the compound document goes. Every writer returns 0, or -1 once any
// write has failed (a failure sticks).
class CByteSink {
public:
    virtual ~CByteSink() = default;
    virtual int PutBytes(const std::uint8_t* p, std::size_t n) = 0;
    int PutByte(std::uint8_t v) { return PutBytes(&v, 1); }
    int PutWord(std::uint16_t v);
    int PutDword(std::uint32_t v);
    int PutFill(std::uint8_t v, std::size_t n);
};

class CMemorySink : public CByteSink {
public:
    int PutBytes(const std::uint8_t* p, std::size_t n) override;
    std::vector<std::uint8_t> bytes;
};

// A file written in its destination's folder, unnamed where the file system
// allows (else under a hidden name), and renamed over the destination only
// when every write, the flush to disk and the close succeeded; otherwise
// nothing is left behind and an earlier file of that name stays as it was. Only a regular
// file is replaced: a destination that is a device, pipe or socket, a link
// another user made in a shared folder, or a file the folder's sticky bit
// keeps (plat_file_place::sticky_keeps) is refused. A replaced file's owner,
// group and permission bits (not set-id or sticky) pass to the new one.
class CBinFile : public CByteSink {
public:
    CBinFile() = default;
    ~CBinFile() override;
    CBinFile(const CBinFile&) = delete;
    CBinFile& operator=(const CBinFile&) = delete;

    // With `noted`, what stood at the name when the caller began: a file
    // that is not that one (it appeared since) is replaced as a new file
    // would be made, never giving the workbook its owner and permissions.
    int Open(const std::string& name, const plat_file_id* noted = nullptr);
    int PutBytes(const std::uint8_t* p, std::size_t n) override;
    // Completes the file: 0, or -1 when it could not be completed (the
    // temporary file is then removed).
    int Close();
    // Drops an unfinished file.
    void Abandon();
    const std::string& Error() const { return error_; }

private:
    int Flush();
    // The error text: what, the file's name and the reason (errno's text
    // unless one is given).
    void Fail(const char* what, const char* reason = nullptr);

    int fd_ = -1;
    bool failed_ = false;
    plat_file_place place_;
    std::string final_name_, temp_name_, error_;
    std::vector<std::uint8_t> buffer_;
};

class COleDoc {
public:
    static constexpr std::uint32_t sector_size = 512;
    static constexpr std::uint32_t end_of_chain = 0xFFFFFFFE;
    static constexpr std::uint32_t fat_sector = 0xFFFFFFFD;
    static constexpr std::uint32_t difat_sector = 0xFFFFFFFC;
    static constexpr std::uint32_t free_sector = 0xFFFFFFFF;

    // Adds a stream below the root. The data is padded with zeros to a whole
    // number of sectors, at least 4096 bytes. 0 on success; -1 when the path
    // names a storage (none exist); -2 when the name exists already; -4 when
    // the directory sector is full (three streams).
    int AddStream(const std::string& path, std::vector<std::uint8_t> data);
    // The same for a stream of `size` bytes that `write` puts out when the
    // document is written (0, or -1 on a failure); the padding is added.
    using stream_writer = std::function<int(CByteSink&)>;
    int AddStream(const std::string& path, std::uint64_t size, stream_writer write);
    static std::vector<std::string> SplitPath(const std::string& path);

    // FAT sector count F and DIFAT sector count X for D data sectors.
    static void ComputeLayout(std::uint32_t data_sectors, std::uint32_t& fat, std::uint32_t& difat);

    std::uint64_t TotalDataSize() const;
    int WriteCompoundFile(CByteSink& out);

private:
    struct entry_t {
        std::string name;
        std::uint64_t size = 0;     // padded to whole sectors
        std::uint64_t length = 0;   // what `write` puts out
        stream_writer write;
        std::int32_t left = -1, right = -1;
        std::uint32_t start = end_of_chain;
    };
    int WriteEntry(CByteSink& out, const std::string& name, std::uint8_t type, std::int32_t left,
                    std::int32_t right, std::int32_t child, std::uint32_t start, std::uint32_t size);

    std::int32_t root_child_ = -1;
    std::vector<entry_t> streams_;   // directory entries 1, 2, ...
};

}  // namespace xls_core
