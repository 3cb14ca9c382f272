#include "XLS/xls_oledoc.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TK/tk_log.h"
#include "XLS/xls_unit.h"
#include "platform/plat_files.h"
#include "platform/plat_replace.h"
#include "platform/plat_temp.h"

namespace xls_core {

int CByteSink::PutWord(std::uint16_t v)
{
    std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
    return PutBytes(b, 2);
}

int CByteSink::PutDword(std::uint32_t v)
{
    std::uint8_t b[4];
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<std::uint8_t>(v >> (8 * i));
    return PutBytes(b, 4);
}

int CByteSink::PutFill(std::uint8_t v, std::size_t n)
{
    std::uint8_t block[512];
    std::memset(block, v, sizeof block);
    int rc = 0;
    while (n > 0 && rc == 0) {
        std::size_t k = n < sizeof block ? n : sizeof block;
        rc = PutBytes(block, k);
        n -= k;
    }
    return rc;
}

int CMemorySink::PutBytes(const std::uint8_t* p, std::size_t n)
{
    bytes.insert(bytes.end(), p, p + n);
    return 0;
}

// ---- CBinFile ----

namespace {

// The process's file-creation mask, read without changing it (changing it
// for a moment would race with files other threads create).
mode_t current_umask()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, 6, "Umask:") == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

void sync_folder(int folder)
{
    int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

CBinFile::~CBinFile()
{
    Abandon();
}

void CBinFile::Fail(const char* what, const char* reason)
{
    if (!failed_)
        error_ = std::string(what) + " '" + final_name_ + "': " + (reason ? reason : std::strerror(errno));
    failed_ = true;
}

int CBinFile::Open(const std::string& name, const plat_file_id* noted)
{
    Abandon();
    failed_ = false;
    error_.clear();
    final_name_ = name;
    buffer_.clear();
    buffer_.reserve(1 << 16);

    // The file goes where the name leads: replacing a link would cut it, so
    // the new file goes beside the link's target.
    if (int err = place_.locate(name)) {
        errno = err;
        if (place_.refused_link())
            Fail("Cannot write", "the name is a link another user made in a shared folder");
        else
            Fail("Cannot open the folder of");
        return -1;
    }
    struct stat st;
    const bool exists = place_.status(st);
    if (!exists && errno != ENOENT) {
        Fail("Cannot open");
        return -1;
    }
    // A device would receive the workbook and a pipe would wait for a reader.
    if (exists && !S_ISREG(st.st_mode)) {
        Fail("Cannot replace", S_ISDIR(st.st_mode) ? "it is a folder" : "it is not a regular file");
        return -1;
    }
    if (exists && place_.sticky_keeps(st)) {
        Fail("Cannot replace", "it is another user's file in a shared folder");
        return -1;
    }
    // Unnamed while it is written, so that even a killed process leaves
    // nothing; it gets a name only to be renamed over the destination.
    fd_ = plat_create_unnamed(place_.folder());
    if (fd_ < 0)
        fd_ = plat_create_temp(place_.folder(), place_.name(), place_.name_max(), temp_name_);
    if (fd_ < 0) {
        Fail("Cannot create");
        return -1;
    }
    // The temporary file is private; give it the mode a plain create would,
    // or the replaced file's owner, group and permissions, so that replacing
    // another user's workbook leaves it theirs. Set-id and sticky bits are
    // never carried over.
    mode_t mode = 0666 & ~current_umask();
    if (exists && noted && !(*noted == place_.identity())) {
        tk_log::write(1, "CBinFile: '%s' appeared meanwhile; it passes nothing on", name.c_str());
    } else if (exists) {
        mode = st.st_mode & 0777;
        if (!plat_keep_owner(fd_, st))
            tk_log::write(1, "CBinFile: the replaced file's owner and group cannot be kept");
    }
    if (::fchmod(fd_, mode) != 0) {
        Fail("Cannot set the mode of");
        Abandon();
        return -1;
    }
    return 0;
}

int CBinFile::Flush()
{
    if (!failed_ && !plat_write_all(fd_, buffer_.data(), buffer_.size()))
        Fail("Cannot write");
    buffer_.clear();
    return failed_ ? -1 : 0;
}

int CBinFile::PutBytes(const std::uint8_t* p, std::size_t n)
{
    if (fd_ < 0 || failed_)
        return failed_ ? -1 : 0;
    buffer_.insert(buffer_.end(), p, p + n);
    if (buffer_.size() >= (1 << 16))
        return Flush();
    return 0;
}

int CBinFile::Close()
{
    if (fd_ < 0)
        return failed_ ? -1 : 0;
    Flush();
    if (!failed_ && ::fsync(fd_) != 0)
        Fail("Cannot write");
    const int folder = place_.folder();
    if (!failed_ && temp_name_.empty() &&
        plat_name_unnamed(fd_, folder, place_.name(), place_.name_max(), temp_name_) != 0)
        Fail("Cannot write");
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && !failed_)
        Fail("Cannot close");
    if (!failed_ && ::renameat(folder, temp_name_.c_str(), folder, place_.name().c_str()) != 0)
        Fail("Cannot replace");
    if (!failed_)
        sync_folder(folder);
    else if (!temp_name_.empty())
        ::unlinkat(folder, temp_name_.c_str(), 0);
    plat_release_temp(temp_name_);
    temp_name_.clear();
    return failed_ ? -1 : 0;
}

void CBinFile::Abandon()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_name_.empty()) {
        ::unlinkat(place_.folder(), temp_name_.c_str(), 0);
        plat_release_temp(temp_name_);
        temp_name_.clear();
    }
    buffer_.clear();
}

// ---- COleDoc ----

namespace {
class CCountingSink : public CByteSink {
public:
    explicit CCountingSink(CByteSink& out) : out_(out) {}
    int PutBytes(const std::uint8_t* p, std::size_t n) override
    {
        count += n;
        return out_.PutBytes(p, n);
    }
    std::uint64_t count = 0;

private:
    CByteSink& out_;
};
}  // namespace

std::vector<std::string> COleDoc::SplitPath(const std::string& path)
{
    std::vector<std::string> names;
    std::size_t i = 0;
    while (i <= path.size()) {
        std::size_t j = path.find('/', i);
        if (j == std::string::npos)
            j = path.size();
        if (j > i)
            names.push_back(path.substr(i, j - i));
        i = j + 1;
    }
    return names;
}

int COleDoc::AddStream(const std::string& path, std::vector<std::uint8_t> data)
{
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(std::move(data));
    return AddStream(path, bytes->size(),
                     [bytes](CByteSink& out) { return out.PutBytes(bytes->data(), bytes->size()); });
}

int COleDoc::AddStream(const std::string& path, std::uint64_t size, stream_writer write)
{
    std::vector<std::string> names = SplitPath(path);
    for (auto& e : streams_)
        if (!names.empty() && e.name == names.front())
            return names.size() == 1 ? -2 : -3;
    if (names.size() != 1)
        return -1;
    if (streams_.size() >= 3)
        return -4;
    tk_log::write(1, "COleDoc::AddStream(%s)", path.c_str());
    entry_t e;
    e.name = names.front();
    e.length = size;
    e.size = (size + sector_size - 1) / sector_size * sector_size;
    if (e.size < 4096)
        e.size = 4096;
    e.write = std::move(write);
    std::int32_t id = static_cast<std::int32_t>(streams_.size() + 1);
    // Sibling links: with the streams added in the order Workbook,
    // SummaryInformation, DocumentSummaryInformation the middle one is the
    // root of a tree ordered by name length.
    if (streams_.empty()) {
        root_child_ = id;
    } else if (streams_.size() == 1) {
        root_child_ = id;
        e.left = 1;
    } else {
        streams_.back().right = id;
    }
    streams_.push_back(std::move(e));
    return 0;
}

void COleDoc::ComputeLayout(std::uint32_t d, std::uint32_t& fat, std::uint32_t& difat)
{
    std::uint64_t f = d / 128 + d / 16384, x = 0, capacity = 0, prev = 1;
    while (prev > capacity || prev != f) {
        prev = f;
        if (prev > 109)
            x = (prev - 109 + 126) / 127;
        std::uint64_t total = prev + 1 + x + d;
        f = (total + 127) / 128;
        capacity = x * 127 + 109;
    }
    fat = static_cast<std::uint32_t>(prev);
    difat = static_cast<std::uint32_t>(x);
}

std::uint64_t COleDoc::TotalDataSize() const
{
    std::uint64_t total = 0;
    for (auto& e : streams_)
        total += e.size;
    return total;
}

int COleDoc::WriteEntry(CByteSink& out, const std::string& name, std::uint8_t type, std::int32_t left,
                         std::int32_t right, std::int32_t child, std::uint32_t start, std::uint32_t size)
{
    std::size_t n = name.size() < 31 ? name.size() : 31;
    CUnit rec;
    rec.AppendFill(0, 128);
    for (std::size_t i = 0; i < n; ++i)
        rec.Bytes()[2 * i] = static_cast<std::uint8_t>(name[i]);
    rec.SetWordAt(static_cast<std::uint16_t>((n + 1) * 2), 64);
    rec.Bytes()[66] = type;
    rec.Bytes()[67] = 1;   // black
    rec.SetDwordAt(static_cast<std::uint32_t>(left), 68);
    rec.SetDwordAt(static_cast<std::uint32_t>(right), 72);
    rec.SetDwordAt(static_cast<std::uint32_t>(child), 76);
    rec.SetDwordAt(start, 116);
    rec.SetDwordAt(size, 120);
    return out.PutBytes(rec.Data(), rec.Size());
}

int COleDoc::WriteCompoundFile(CByteSink& out)
{
    std::uint64_t total = TotalDataSize();
    std::uint32_t d = static_cast<std::uint32_t>(total / sector_size), f = 0, x = 0;
    ComputeLayout(d, f, x);
    std::uint32_t first_fat = x + d;
    int rc = 0;

    // Header.
    static const std::uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    rc |= out.PutBytes(signature, 8);
    rc |= out.PutFill(0, 16);
    rc |= out.PutWord(0x003E);
    rc |= out.PutWord(3);
    rc |= out.PutWord(0xFFFE);
    rc |= out.PutWord(9);
    rc |= out.PutWord(6);
    rc |= out.PutFill(0, 6);
    rc |= out.PutDword(0);
    rc |= out.PutDword(f);
    rc |= out.PutDword(x + d + f);
    rc |= out.PutDword(0);
    rc |= out.PutDword(4096);
    rc |= out.PutDword(end_of_chain);
    rc |= out.PutDword(0);
    rc |= out.PutDword(x > 0 ? 0 : end_of_chain);
    rc |= out.PutDword(x);
    for (std::uint32_t i = 0; i < 109; ++i)
        rc |= out.PutDword(i < f ? first_fat + i : free_sector);

    // DIFAT sectors: the FAT sectors past the 109 of the header, 127 per
    // sector, each sector ending with the number of the next.
    std::uint32_t listed = 109;
    for (std::uint32_t s = 0; s < x; ++s) {
        for (std::uint32_t k = 0; k < 127; ++k, ++listed)
            rc |= out.PutDword(listed < f ? first_fat + listed : free_sector);
        rc |= out.PutDword(s + 1 < x ? s + 1 : end_of_chain);
    }

    // Streams.
    std::uint32_t next = x;
    for (auto& e : streams_) {
        e.start = next;
        next += static_cast<std::uint32_t>(e.size / sector_size);
        // A writer that puts out another length than it announced would
        // shift everything after it.
        CCountingSink counted(out);
        rc |= e.write(counted);
        if (counted.count != e.length)
            rc = -1;
        rc |= out.PutFill(0, static_cast<std::size_t>(e.size - e.length));
    }

    // FAT.
    std::uint64_t entries = 0;
    auto put_entry = [&](std::uint32_t v) {
        rc |= out.PutDword(v);
        ++entries;
    };
    for (std::uint32_t i = 0; i < x; ++i)
        put_entry(difat_sector);
    for (auto& e : streams_) {
        std::uint32_t n = static_cast<std::uint32_t>(e.size / sector_size);
        for (std::uint32_t i = 1; i < n; ++i)
            put_entry(e.start + i);
        put_entry(end_of_chain);
    }
    for (std::uint32_t i = 0; i < f; ++i)
        put_entry(fat_sector);
    put_entry(end_of_chain);
    rc |= out.PutFill(0xFF, static_cast<std::size_t>((static_cast<std::uint64_t>(f) * 128 - entries) * 4));

    // Directory.
    rc |= WriteEntry(out, "Root Entry", 5, -1, -1, root_child_, end_of_chain, 0);
    for (auto& e : streams_)
        rc |= WriteEntry(out, e.name, 2, e.left, e.right, -1, e.start, static_cast<std::uint32_t>(e.size));
    for (std::size_t i = streams_.size() + 1; i < 4; ++i) {
        // Unused entries of the directory sector.
        std::uint8_t rec[128] = {};
        for (int k = 68; k < 80; ++k)
            rec[k] = 0xFF;
        rc |= out.PutBytes(rec, sizeof rec);
    }
    return rc ? -1 : 0;
}

}  // namespace xls_core
