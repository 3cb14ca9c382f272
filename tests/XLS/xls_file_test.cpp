// The compound document, the property sets and writing the file.
#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sys/resource.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "XLS/xls_oledoc.h"
#include "XLS/xls_summary.h"
#include "XLS/xls_unit.h"
#include "XLS/xls_workbook.h"
#include "tests/XLS/biff_walk.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unprivileged.h"

using namespace xls_core;
using biff_walk::u16;
using biff_walk::u32;

namespace {

std::vector<std::uint8_t> read_file(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

std::vector<std::string> list_dir(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        ::closedir(d);
    }
    return names;
}

// A compound document of streams with these byte sizes, in memory.
std::vector<std::uint8_t> ole_image(const std::vector<std::size_t>& sizes)
{
    COleDoc doc;
    const char* names[3] = {"Workbook", "\005SummaryInformation", "\005DocumentSummaryInformation"};
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        std::vector<std::uint8_t> data(sizes[i]);
        for (std::size_t k = 0; k < data.size(); k += 512)
            data[k] = static_cast<std::uint8_t>(k / 512 + i);
        EXPECT_EQ(doc.AddStream(names[i], std::move(data)), 0);
    }
    CMemorySink sink;
    EXPECT_EQ(doc.WriteCompoundFile(sink), 0);
    return sink.bytes;
}

// Every sector is accounted for: DIFAT, data chains, FAT, directory.
void check_allocation(const biff_walk::ole_file& f, std::uint32_t difat_sectors)
{
    std::uint32_t total = static_cast<std::uint32_t>(f.bytes.size() / 512 - 1);
    ASSERT_GE(f.fat.size(), total);
    for (std::uint32_t i = 0; i < difat_sectors; ++i)
        EXPECT_EQ(f.fat[i], COleDoc::difat_sector);
    for (std::uint32_t fs : f.fat_sectors)
        EXPECT_EQ(f.fat.at(fs), COleDoc::fat_sector);
    EXPECT_EQ(f.fat.at(u32(f.bytes, 48)), COleDoc::end_of_chain);
    for (std::size_t i = total; i < f.fat.size(); ++i)
        ASSERT_EQ(f.fat[i], COleDoc::free_sector) << i;
    EXPECT_EQ(u32(f.bytes, 72), difat_sectors);
}

using XlsOleFile = temp_dir_test;
using XlsDump = temp_dir_test;
using XlsBinFile = temp_dir_test;

}  // namespace

TEST_F(XlsOleFile, MinimalWorkbookFileLayout)
{
    const std::string folder = dir.string();
    std::string path = folder + "/min.xls";
    workbook wb;
    wb.sheet("Page_1");
    ASSERT_EQ(wb.Dump(path), 0) << wb.LastError();
    auto b = read_file(path);
    ASSERT_EQ(b.size(), 13824u);
    const std::uint8_t sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    EXPECT_TRUE(std::equal(sig, sig + 8, b.begin()));
    EXPECT_EQ(u16(b, 24), 0x3E);
    EXPECT_EQ(u16(b, 26), 3);
    EXPECT_EQ(u16(b, 28), 0xFFFE);
    EXPECT_EQ(u16(b, 30), 9);
    EXPECT_EQ(u16(b, 32), 6);
    EXPECT_EQ(u32(b, 44), 1u);
    EXPECT_EQ(u32(b, 48), 25u);
    EXPECT_EQ(u32(b, 56), 4096u);
    EXPECT_EQ(u32(b, 60), 0xFFFFFFFEu);
    EXPECT_EQ(u32(b, 68), 0xFFFFFFFEu);
    EXPECT_EQ(u32(b, 76), 24u);
    EXPECT_EQ(u32(b, 80), 0xFFFFFFFFu);
    EXPECT_EQ(u32(b, 508), 0xFFFFFFFFu);
    // FAT in sector 24.
    std::size_t fat = 512 * 25;
    for (std::uint32_t s = 0; s < 24; ++s)
        EXPECT_EQ(u32(b, fat + 4 * s), s % 8 == 7 ? 0xFFFFFFFEu : s + 1) << s;
    EXPECT_EQ(u32(b, fat + 4 * 24), 0xFFFFFFFDu);
    EXPECT_EQ(u32(b, fat + 4 * 25), 0xFFFFFFFEu);
    EXPECT_EQ(u32(b, fat + 4 * 26), 0xFFFFFFFFu);

    biff_walk::ole_file f(b);
    auto root = f.dir(0), wbk = f.dir(1), si = f.dir(2), dsi = f.dir(3);
    EXPECT_EQ(root.name, "Root Entry");
    EXPECT_EQ(root.name_len, 22);
    EXPECT_EQ(root.type, 5);
    EXPECT_EQ(root.child, 2u);
    EXPECT_EQ(root.start, 0xFFFFFFFEu);
    EXPECT_EQ(wbk.name, "Workbook");
    EXPECT_EQ(wbk.name_len, 18);
    EXPECT_EQ(wbk.size, 4096u);
    EXPECT_EQ(si.name, "\005SummaryInformation");
    EXPECT_EQ(si.name_len, 40);
    EXPECT_EQ(si.left, 1u);
    EXPECT_EQ(si.right, 3u);
    EXPECT_EQ(si.start, 8u);
    EXPECT_EQ(dsi.name_len, 56);
    EXPECT_EQ(dsi.start, 16u);
    EXPECT_EQ(dsi.left, 0xFFFFFFFFu);
    // The Workbook stream read back through the FAT is the generated one.
    auto stream = wb.WorkbookStream();
    auto back = f.stream(1);
    EXPECT_TRUE(std::equal(stream.begin(), stream.end(), back.begin()));
    EXPECT_TRUE(std::all_of(back.begin() + stream.size(), back.end(), [](std::uint8_t c) { return c == 0; }));
    check_allocation(f, 0);
    ::unlink(path.c_str());
    EXPECT_TRUE(list_dir(folder).empty());
}

TEST(XlsOle, StreamPaddingAndPaths)
{
    for (auto c : {std::pair<std::size_t, std::size_t>{100, 4096}, {5000, 5120}, {4096, 4096}, {0, 4096}}) {
        auto img = ole_image({c.first});
        biff_walk::ole_file f(img);
        EXPECT_EQ(f.dir(1).size, c.second) << c.first;
    }
    COleDoc doc;
    EXPECT_EQ(doc.AddStream("/Workbook", {}), 0);
    EXPECT_EQ(doc.AddStream("Workbook", {}), -2);
    EXPECT_EQ(doc.AddStream("/a/b", {}), -1);
    EXPECT_EQ(COleDoc::SplitPath("//a//b/"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(doc.TotalDataSize(), 4096u);
}

TEST(XlsOle, LayoutAtTheDifatBoundary)
{
    std::uint32_t f, x;
    // The largest data that 109 FAT sectors map: 109 + 1 + D = 109 * 128, so
    // 13842 data sectors need no DIFAT sector and 13843 (and 13849) need one.
    const std::uint32_t cases[][3] = {
        {24, 1, 0}, {13842, 109, 0}, {13843, 110, 1}, {13849, 110, 1}, {13850, 110, 1}};
    for (const auto& c : cases) {
        COleDoc::ComputeLayout(c[0], f, x);
        EXPECT_EQ(f, c[1]) << c[0];
        EXPECT_EQ(x, c[2]) << c[0];
    }
    // Every layout maps all of its sectors and lists all of its FAT sectors,
    // with no more FAT sectors than needed.
    for (std::uint32_t d = 24; d < 60000; d += 37) {
        COleDoc::ComputeLayout(d, f, x);
        std::uint64_t total = std::uint64_t(x) + d + f + 1;
        ASSERT_GE(std::uint64_t(f) * 128, total) << d;
        ASSERT_LT(std::uint64_t(f - 1) * 128, total - 1) << d;
        ASSERT_GE(109 + 127 * std::uint64_t(x), f) << d;
        ASSERT_TRUE(x == 0 || 109 + 127 * std::uint64_t(x - 1) < f) << d;
    }

    // The same boundary in whole files: the last one without a DIFAT sector
    // and the first one with it, every sector accounted for.
    {
        auto last = ole_image({(13842 - 16) * 512, 4096, 4096});
        ASSERT_EQ(last.size(), (1u + 13842 + 109 + 1) * 512);
        biff_walk::ole_file lf(last);
        EXPECT_EQ(u32(last, 44), 109u);
        EXPECT_EQ(u32(last, 68), 0xFFFFFFFEu);
        EXPECT_EQ(u32(last, 76 + 4 * 108), 13842u + 108);
        EXPECT_EQ(lf.dir(1).start, 0u);
        check_allocation(lf, 0);
        auto first = ole_image({(13843 - 16) * 512, 4096, 4096});
        ASSERT_EQ(first.size(), (1u + 1 + 13843 + 110 + 1) * 512);
        biff_walk::ole_file ff(first);
        EXPECT_EQ(u32(first, 44), 110u);
        EXPECT_EQ(u32(first, 68), 0u);
        EXPECT_EQ(u32(first, 512), 1u + 13843 + 109);  // the 110th FAT sector, listed by the DIFAT sector
        EXPECT_EQ(ff.dir(1).start, 1u);
        check_allocation(ff, 1);
    }

    // D = 13850: sector 0 is the DIFAT sector, the FAT sectors 13851..13960.
    auto img = ole_image({(13850 - 16) * 512, 4096, 4096});
    ASSERT_EQ(img.size(), 7149056u);
    biff_walk::ole_file of(img);
    EXPECT_EQ(u32(img, 44), 110u);
    EXPECT_EQ(u32(img, 48), 13961u);
    EXPECT_EQ(u32(img, 68), 0u);
    EXPECT_EQ(u32(img, 76), 13851u);
    EXPECT_EQ(u32(img, 76 + 4 * 108), 13959u);
    EXPECT_EQ(u32(img, 512), 13960u);
    for (int i = 1; i < 127; ++i)
        EXPECT_EQ(u32(img, 512 + 4 * i), 0xFFFFFFFFu);
    EXPECT_EQ(u32(img, 512 + 508), 0xFFFFFFFEu);
    EXPECT_EQ(of.dir(1).start, 1u);
    check_allocation(of, 1);
    auto s1 = of.stream(1);
    EXPECT_EQ(s1[512 * 100], 100);
    EXPECT_EQ(of.stream(3)[512], 3);
}

TEST(XlsOle, SixteenMegabyteStreamUsesTwoDifatSectors)
{
    auto img = ole_image({16u << 20, 4096, 4096});
    biff_walk::ole_file f(img);
    std::uint32_t fat = u32(img, 44);
    EXPECT_GT(fat, 109u + 127u);
    EXPECT_EQ(u32(img, 72), 2u);
    EXPECT_EQ(u32(img, 512 + 508), 1u);                 // first DIFAT sector chains to the second
    EXPECT_EQ(u32(img, 1024 + 508), 0xFFFFFFFEu);
    check_allocation(f, 2);
    EXPECT_EQ(f.dir(1).start, 2u);
    auto s = f.stream(1);
    ASSERT_EQ(s.size(), 16u << 20);
    for (std::size_t k = 0; k < s.size(); k += 512 * 997)
        ASSERT_EQ(s[k], static_cast<std::uint8_t>(k / 512)) << k;
}

TEST(XlsSummary, PropertySetStreams)
{
    auto doc = CDocSummaryInfo().MakeStream();
    ASSERT_EQ(doc.size(), 4096u);
    std::vector<std::uint8_t> head = {0xFE, 0xFF, 0, 0, 2, 0, 0, 0};
    head.insert(head.end(), 16, 0);
    for (std::uint8_t c : {1, 0, 0, 0, 0x02, 0xD5, 0xCD, 0xD5, 0x9C, 0x2E, 0x1B, 0x10, 0x93, 0x97, 0x08, 0x00,
                           0x2B, 0x2C, 0xF9, 0xAE, 0x30, 0, 0, 0, 0x18, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0x10, 0,
                           0, 0, 2, 0, 0, 0, 0xB0, 4, 0, 0})
        head.push_back(c);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), doc.begin()));
    EXPECT_TRUE(std::all_of(doc.begin() + head.size(), doc.end(), [](std::uint8_t c) { return c == 0; }));

    auto sum = CSummaryInfo(0).MakeStream();
    ASSERT_EQ(sum.size(), 4096u);
    EXPECT_EQ(sum[28], 0xE0);
    std::size_t sec = 48;
    EXPECT_EQ(u32(sum, sec + 4), 5u);
    std::uint32_t offs[5];
    for (int i = 0; i < 5; ++i)
        offs[i] = u32(sum, sec + 12 + 8 * i);
    EXPECT_EQ(offs[0], 48u);
    EXPECT_EQ(offs[1], 56u);
    EXPECT_EQ(offs[2], 68u);
    EXPECT_EQ(offs[3], 80u);
    EXPECT_EQ(offs[4], 104u);
    EXPECT_EQ(u32(sum, sec), 112u);
    // FILETIME of 1970-01-01.
    std::uint64_t ft = u32(sum, sec + 56 + 4) | (std::uint64_t(u32(sum, sec + 56 + 8)) << 32);
    EXPECT_EQ(ft, 116444736000000000ull);
    // The application name in UTF-16, counted in bytes with its terminator.
    std::size_t app = sec + 80;
    EXPECT_EQ(u32(sum, app), 0x1Eu);
    EXPECT_EQ(u32(sum, app + 4), 16u);
    std::u16string name;
    for (int i = 0; i < 7; ++i)
        name.push_back(static_cast<char16_t>(u16(sum, app + 8 + 2 * i)));
    EXPECT_EQ(name, u"Tabrixa");
    EXPECT_EQ(u16(sum, app + 22), 0);
    EXPECT_EQ(u32(sum, sec + 104), 3u);

    hpsf_doc_t d(hpsf_doc_t::summary);
    d.AddProperty(hpsf_property_t(18, std::u16string(u"abc")));
    d.AddProperty(hpsf_property_t(18, std::u16string(u"abcd")));
    EXPECT_EQ(d.Count(), 1u);
    EXPECT_EQ(hpsf_property_t(1, std::u16string(u"abcd")).Encode().size(), 20u);
    EXPECT_EQ(hpsf_property_t(1, std::u16string()).Encode().size(), 12u);
}

TEST_F(XlsDump, NoSheetWritesNothing)
{
    const std::string folder = dir.string();
    workbook wb;
    EXPECT_EQ(wb.Dump(folder + "/none.xls"), -100);
    EXPECT_TRUE(list_dir(folder).empty());
}

TEST_F(XlsDump, FailuresLeaveNoFileAndKeepAnEarlierOne)
{
    workbook wb;
    wb.sheet("Page_1")->label(0, 0, u"x");
    EXPECT_EQ(wb.Dump("/dev/full"), -1);
    EXPECT_NE(wb.LastError().find("/dev/full"), std::string::npos) << wb.LastError();
    for (auto& n : list_dir("/dev"))
        EXPECT_EQ(n.find(".full."), std::string::npos) << n;

    const std::string folder = dir.string();
    EXPECT_EQ(wb.Dump(folder + "/missing/out.xls"), -1);
    EXPECT_FALSE(wb.LastError().empty());
    EXPECT_TRUE(list_dir(folder).empty());

    // A good dump replaces the earlier file whole; the temporary file is gone.
    std::string path = folder + "/out.xls";
    { std::ofstream(path) << "old contents"; }
    ::chmod(path.c_str(), 0640);
    ASSERT_EQ(wb.Dump(path), 0);
    EXPECT_EQ(list_dir(folder), std::vector<std::string>{"out.xls"});
    EXPECT_EQ(read_file(path).size(), 13824u);
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // A destination that is a folder fails and leaves the folder alone.
    std::string sub = folder + "/sub";
    ::mkdir(sub.c_str(), 0755);
    EXPECT_EQ(wb.Dump(sub), -1);
    EXPECT_TRUE(list_dir(sub).empty());
}

TEST_F(XlsDump, WriteFailureKeepsTheEarlierFile)
{
    const std::string folder = dir.string();
    std::string path = folder + "/out.xls";
    { std::ofstream(path) << "earlier workbook"; }
    workbook wb;
    worksheet* sh = wb.sheet("Page_1");
    for (std::uint32_t r = 0; r < 2000; ++r)
        sh->label(r, 0, std::u16string(200, u'x'));
    // Files may not grow past 16 KB: the write fails part way.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 16384;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    int rc = wb.Dump(path);
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(rc, -1);
    EXPECT_NE(wb.LastError().find("Cannot write"), std::string::npos) << wb.LastError();
    EXPECT_EQ(list_dir(folder), std::vector<std::string>{"out.xls"});
    auto b = read_file(path);
    EXPECT_EQ(std::string(b.begin(), b.end()), "earlier workbook");

    // Through a symbolic link the target is replaced and the link kept.
    std::string link = folder + "/link.xls";
    ASSERT_EQ(::symlink(path.c_str(), link.c_str()), 0);
    ASSERT_EQ(wb.Dump(link), 0) << wb.LastError();
    struct stat st;
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_GT(read_file(path).size(), 400000u);
}

TEST_F(XlsBinFile, WritersAndStickyFailure)
{
    const std::string folder = dir.string();
    std::string path = folder + "/bin";
    CBinFile f;
    EXPECT_EQ(f.PutWord(1), 0);   // not open: nothing written
    ASSERT_EQ(f.Open(path), 0);
    EXPECT_EQ(f.PutWord(0x1234), 0);
    EXPECT_EQ(f.PutDword(0x11223344), 0);
    EXPECT_EQ(f.PutFill(0xAB, 3), 0);
    EXPECT_EQ(f.Close(), 0);
    EXPECT_EQ(read_file(path), (std::vector<std::uint8_t>{0x34, 0x12, 0x44, 0x33, 0x22, 0x11, 0xAB, 0xAB, 0xAB}));

    // A device is never written: the open fails, and so does all after it.
    CBinFile g;
    EXPECT_EQ(g.Open("/dev/full"), -1);
    std::vector<std::uint8_t> big(1 << 17);
    EXPECT_EQ(g.PutBytes(big.data(), big.size()), -1);
    EXPECT_EQ(g.PutByte(1), -1);
    EXPECT_EQ(g.Close(), -1);

    {
        // Dropped unfinished: no file appears.
        CBinFile h;
        ASSERT_EQ(h.Open(folder + "/never"), 0);
        h.PutByte(1);
    }
    EXPECT_EQ(list_dir(folder), std::vector<std::string>{"bin"});
}

TEST_F(XlsDump, OnlyRegularFilesAreReplacedAndTheyStayTheirOwners)
{
    const std::string folder = dir.string();
    workbook wb;
    wb.sheet("Page_1")->label(0, 0, u"x");
    // A pipe is refused, never written (a reader waits on it here, so that
    // a writer would not block).
    const std::string pipe = folder + "/pipe.xls";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(wb.Dump(pipe), -1);
    EXPECT_NE(wb.LastError().find("not a regular file"), std::string::npos) << wb.LastError();
    char byte;
    EXPECT_LE(::read(reader, &byte, 1), 0);
    ::close(reader);
    struct stat st;
    ASSERT_EQ(::lstat(pipe.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // A replaced file keeps its owner and group, where the caller may give
    // them, and its permissions without set-id and sticky bits.
    const std::string old = folder + "/old.xls";
    { std::ofstream(old) << "old"; }
    const passwd* nobody = ::getuid() == 0 ? ::getpwnam("nobody") : nullptr;
    if (nobody) {
        ASSERT_EQ(::chown(old.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    }
    ASSERT_EQ(::chmod(old.c_str(), 07754), 0);
    ASSERT_EQ(wb.Dump(old), 0) << wb.LastError();
    ASSERT_EQ(::stat(old.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0754u);
    if (nobody) {
        EXPECT_EQ(st.st_uid, nobody->pw_uid);
        EXPECT_EQ(st.st_gid, nobody->pw_gid);
    }

    // A name of 255 bytes is written; its temporary name was cut to fit.
    const std::string longest = folder + "/" + std::string(251, 'n') + ".xls";
    ASSERT_EQ(wb.Dump(longest), 0) << wb.LastError();
    EXPECT_EQ(read_file(longest).size(), 13824u);
}

TEST_F(XlsDump, LinkAnotherUserPlantedInASharedFolderIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs a second user";
    const std::string shared = dir.string() + "/shared";
    ASSERT_EQ(::mkdir(shared.c_str(), 0755), 0);
    ::chmod(shared.c_str(), 01777);
    const std::string target = dir.string() + "/target", link = shared + "/report.xls";
    { std::ofstream(target) << "someone else's file"; }
    EXPECT_EQ(run_unprivileged([&] { return std::to_string(::symlink(target.c_str(), link.c_str())); }), "0");
    workbook wb;
    wb.sheet("Page_1")->label(0, 0, u"x");
    EXPECT_EQ(wb.Dump(link), -1);
    EXPECT_NE(wb.LastError().find("another user"), std::string::npos) << wb.LastError();
    auto b = read_file(target);
    EXPECT_EQ(std::string(b.begin(), b.end()), "someone else's file");
    EXPECT_EQ(list_dir(shared), std::vector<std::string>{"report.xls"});
}

TEST_F(XlsBinFile, InterruptedWriteLeavesNoTemporaryFile)
{
    const std::string folder = dir.string();
    for (int sig : {SIGINT, SIGTERM}) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            CBinFile f;
            if (f.Open(folder + "/out.xls") != 0)
                ::_exit(2);
            f.PutByte(1);
            ::raise(sig);
            ::_exit(3);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        EXPECT_TRUE(list_dir(folder).empty()) << sig;
    }
    // Afterwards the signals do what they did before.
    struct sigaction now;
    ASSERT_EQ(::sigaction(SIGTERM, nullptr, &now), 0);
    {
        CBinFile f;
        ASSERT_EQ(f.Open(folder + "/kept.xls"), 0);
        EXPECT_EQ(f.Close(), 0);
    }
    struct sigaction after;
    ASSERT_EQ(::sigaction(SIGTERM, nullptr, &after), 0);
    EXPECT_EQ(after.sa_handler, now.sa_handler);
}

// The same workbook filled twice, once with every finished sheet spilled to
// the temporary file: texts (short, long, one replaced), numbers, merges,
// fonts and formats, widths and heights (one below the last cell's row), and
// a sheet whose INDEX goes on in a CONTINUE record.
TEST_F(XlsDump, SpilledSheetsWriteTheSameWorkbook)
{
    const std::string folder = dir.string();
    ::setenv("TMPDIR", folder.c_str(), 1);
    auto fill = [&](workbook& wb, bool spill) {
        for (int n = 0; n < 30; ++n) {
            worksheet* s = wb.sheet("Page_" + std::to_string(n + 1));
            const std::uint32_t rows = n == 7 ? 40000 : 12;
            for (std::uint32_t r = 0; r < rows; ++r) {
                s->label(r, 0, u"r\u00e9" + std::u16string(1, static_cast<char16_t>(u'a' + (r + n) % 26)));
                cell_t* c = s->number(r, 1 + (r % 3), r * 1.25 + n);
                c->set_font_height(160 + 20 * ((r + n) % 4));
                if (r % 5 == 0)
                    c->set_font_name(n % 2 ? "Arial" : "Courier New");
            }
            std::u16string long_text(300 + n, static_cast<char16_t>(u'A' + n % 26));
            s->label(2, 5, long_text);
            if (n % 4 == 0)
                s->label(2, 5, u"short again");   // the long label leaves the SST
            xf_t* boxed = s->label(3, 5, long_text + u"\u20ac")->set_border(1, 2);
            s->merge(4, 0, 5, 2);
            s->colwidth(0, 3000 + 100 * n, n % 3 ? boxed : nullptr);
            s->rowheight(1, 400);
            s->rowheight(rows + 3, 500, n % 2 ? boxed : nullptr);
            if (spill) {
                wb.SpillSheets();
                // Nothing of the sheet stays in memory, and the spill file has no name.
                EXPECT_EQ(wb.GetSheet(static_cast<std::size_t>(n)), nullptr);
                EXPECT_TRUE(list_dir(folder).empty());
            }
        }
    };
    workbook kept, spilled;
    fill(kept, false);
    fill(spilled, true);
    const std::vector<std::uint8_t> stream = kept.WorkbookStream();
    ASSERT_GT(stream.size(), 40000u * 30);
    EXPECT_TRUE(stream == spilled.WorkbookStream());
    // Written twice, the spilled workbook is the same file each time.
    ASSERT_EQ(spilled.Dump(folder + "/a.xls"), 0) << spilled.LastError();
    ASSERT_EQ(spilled.Dump(folder + "/b.xls"), 0) << spilled.LastError();
    EXPECT_TRUE(read_file(folder + "/a.xls") == read_file(folder + "/b.xls"));
    biff_walk::ole_file f(read_file(folder + "/a.xls"));
    std::vector<std::uint8_t> written = f.stream(1);
    ASSERT_GE(written.size(), stream.size());
    written.resize(stream.size());
    EXPECT_TRUE(written == stream);
    ::unsetenv("TMPDIR");
}
