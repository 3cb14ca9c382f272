// Where the records of finished worksheets wait for the workbook's write, so
// that memory does not grow with the pages: an unnamed temporary file, made
// in the workbook's own folder where it can be (the disk that must hold the
// workbook), else in $TMPDIR.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace xls_core {

class CSpillFile {
public:
    CSpillFile() = default;
    ~CSpillFile();
    CSpillFile(const CSpillFile&) = delete;
    CSpillFile& operator=(const CSpillFile&) = delete;

    // Appends the bytes (the file is made at the first call) and gives their
    // offset. False once anything failed: the file then takes nothing more
    // and Error() tells why; what it took before stays readable.
    bool Append(const std::uint8_t* p, std::size_t n, std::uint64_t& offset);
    // Reads bytes appended before; false with Error() on a failure.
    bool Read(std::uint64_t offset, std::size_t n, std::uint8_t* out);
    // The folder to make the file in, tried before $TMPDIR (before the first Append).
    void SetFolder(const std::string& folder) { beside_ = folder; }
    // The bytes before `offset` are read for the last time: their space goes
    // back to the disk while the workbook is written there.
    void Release(std::uint64_t offset);
    const std::string& Error() const { return error_; }

private:
    void Fail(const char* what);

    int fd_ = -1;
    bool failed_ = false;
    std::uint64_t size_ = 0;
    std::string folder_, beside_, error_;
};

}  // namespace xls_core
