#include "XLS/xls_spill.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "TK/tk_log.h"
#include "platform/plat_files.h"
#include "platform/plat_temp.h"

namespace xls_core {

CSpillFile::~CSpillFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void CSpillFile::Fail(const char* what)
{
    if (!failed_)
        error_ = std::string(what) + " the workbook's temporary file in '" + folder_ + "': " + std::strerror(errno);
    failed_ = true;
    tk_log::write(1, "CSpillFile: %s", error_.c_str());
}

bool CSpillFile::Append(const std::uint8_t* p, std::size_t n, std::uint64_t& offset)
{
    if (failed_)
        return false;
    if (fd_ < 0) {
        fd_ = plat_create_scratch(folder_, beside_);
        if (fd_ < 0) {
            Fail("Cannot create");
            return false;
        }
    }
    if (!plat_write_all(fd_, p, n)) {
        Fail("Cannot write");
        return false;
    }
    offset = size_;
    size_ += n;
    return true;
}

void CSpillFile::Release(std::uint64_t offset)
{
    if (fd_ >= 0 && !plat_release_front(fd_, offset))
        tk_log::write(1, "CSpillFile: the file system keeps the space read: %s", std::strerror(errno));
}

bool CSpillFile::Read(std::uint64_t offset, std::size_t n, std::uint8_t* out)
{
    while (n > 0) {
        ssize_t got = fd_ < 0 ? -1 : ::pread(fd_, out, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            if (got == 0 || fd_ < 0)
                errno = EIO;
            error_ = std::string("Cannot read the workbook's temporary file in '") + folder_ + "': " +
                     std::strerror(errno);
            return false;
        }
        out += got;
        offset += static_cast<std::uint64_t>(got);
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace xls_core
