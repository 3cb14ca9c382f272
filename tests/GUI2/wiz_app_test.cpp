// The wizard program's conversion job around the real converter: profiles,
// the per-user settings file, stopping. No display needed.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "GUI2/tbx_shel.h"
#include "TK/tk_errh.h"
#include "TK/tk_except.h"
#include "platform/plat_settings.h"
#include "tabrixa/tbx_conv.h"
#include "tests/support/mini_pdf.h"
#include "tests/support/temp_dir.h"

namespace {

std::string read_file(const std::string& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

unsigned mode_of(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    return st.st_mode & 07777;
}

struct AppFixture : temp_dir_test {
    void SetUp() override {
        temp_dir_test::SetUp();
        use_config_home(dir / "config");
    }
    void TearDown() override {
        ::unsetenv("XDG_CONFIG_HOME");
        temp_dir_test::TearDown();
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    std::string settings_file() { return plat_reg_key_file(plat_hkey_current_user, xelvio_convertor::settings_key); }
};

TEST_F(AppFixture, ProfilesKeepThePasswordAndAreForTheOwnerOnly) {
    xelvio_convertor conv;
    convertor_job job(conv);
    job.set_source("/in/a.pdf");
    job.set_destination("/out/a.xls");
    job.set_password("s3cret");
    job.set_page_range("1-2");

    const std::string profile = path("p.tbx");
    std::ofstream(profile) << "old";
    ::chmod(profile.c_str(), 0644);
    ASSERT_TRUE(job.store_profile_file(profile));
    EXPECT_EQ(mode_of(profile), 0600u);
    const std::string text = read_file(profile);
    EXPECT_NE(text.find("password=s3cret"), std::string::npos) << text;
    EXPECT_EQ(text.find("old"), std::string::npos);

    EXPECT_FALSE(job.store_profile_file(path("missing/p.tbx")));

    // Written as workbooks are: another user's file planted in a sticky
    // folder that everyone may write is not replaced, not even by root.
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() == 0 && nobody) {
        std::filesystem::create_directories(dir / "shared");
        ::chmod(path("shared").c_str(), 01777);
        const std::string planted = path("shared/p.tbx");
        std::ofstream(planted) << "planted";
        ASSERT_EQ(::chown(planted.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
        EXPECT_FALSE(job.store_profile_file(planted));
        EXPECT_EQ(read_file(planted), "planted");
    }
}

TEST_F(AppFixture, ProfileLoadsBack) {
    const std::string profile = path("p.tbx");
    {
        xelvio_convertor conv;
        convertor_job job(conv);
        // Kept in full: the profile is used from other folders.
        job.set_source("in/../a.pdf");
        job.set_password("pw");
        job.set_graph_tab(false);
        ASSERT_TRUE(job.store_profile_file(profile));
    }
    xelvio_convertor conv;
    convertor_job job(conv);
    ASSERT_TRUE(job.load_profile_file(profile));
    EXPECT_EQ(job.source(), (std::filesystem::current_path() / "a.pdf").string());
    EXPECT_EQ(job.password(), "pw");
    EXPECT_FALSE(job.graph_tab());
    EXPECT_THROW(job.load_profile_file(path("none.tbx")), tk_exception);

    // A file that is no settings file takes nothing, also when it reads as text.
    std::ofstream(path("notes.txt")) << "[Notes]\nsrc=/elsewhere.pdf\n";
    std::ofstream(path("data.bin"), std::ios::binary) << std::string("\x01\x02=\n\xff[x", 8);
    // One definition with the console program: it sets nothing, and the message names it.
    for (const char* name : {"notes.txt", "data.bin"}) {
        try {
            job.load_profile_file(path(name));
            ADD_FAILURE() << name;
        } catch (const tk_exception& e) {
            EXPECT_NE(std::string(e.what()).find("\"" + path(name) + "\" sets nothing"), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(job.source(), (std::filesystem::current_path() / "a.pdf").string());
}

TEST_F(AppFixture, SettingsFileRoundTripWithoutThePassword) {
    {
        xelvio_convertor conv(true);
        convertor_job job(conv);
        job.set_source(path("in.pdf"));
        job.set_destination(path("out.xls"));
        job.set_password("topsecret");
        job.set_open_on_exit(false);
    }
    const std::string file = settings_file();
    ASSERT_FALSE(file.empty());
    const std::string text = read_file(file);
    EXPECT_NE(text.find(path("in.pdf")), std::string::npos) << text;
    EXPECT_EQ(text.find("topsecret"), std::string::npos) << text;
    EXPECT_EQ(mode_of(file), 0600u);

    // A password stored by an earlier version is still read.
    {
        plat_reg_handle* key = nullptr;
        unsigned long disposition = 0;
        ASSERT_EQ(plat_reg_create(plat_hkey_current_user, xelvio_convertor::settings_key, &key, &disposition),
                  plat_reg_ok);
        const std::string old = "legacy";
        plat_reg_set(key, "password", plat_reg_type_sz, reinterpret_cast<const unsigned char*>(old.c_str()),
                     static_cast<unsigned long>(old.size() + 1));
        plat_reg_close(key);
    }
    {
        xelvio_convertor conv(true);
        EXPECT_EQ(conv.source, path("in.pdf"));
        EXPECT_FALSE(conv.open_on_exit);
        EXPECT_EQ(conv.password, "legacy");
        // ... and gone from the file at once, not only at a clean exit.
        EXPECT_EQ(read_file(file).find("legacy"), std::string::npos);
        EXPECT_NE(read_file(file).find(path("in.pdf")), std::string::npos);
    }
}

// A two-page document and an old workbook where the new one goes.
struct RunFixture : AppFixture {
    error_handler handler;
    std::string src, dest;
    xelvio_convertor conv;
    convertor_job job{conv};
    void SetUp() override {
        AppFixture::SetUp();
        src = path("in.pdf");
        dest = path("out.xls");
        mini_pdf::write(src, {mini_pdf::text(72, 700, "Hello"), mini_pdf::text(72, 700, "World")});
        std::ofstream(dest) << "old";
        job.set_source(src);
        job.set_destination(dest);
    }
};

TEST_F(RunFixture, ChecksRefuseAPdfThatIsNoneAndTheSourceAsDestination) {
    EXPECT_NO_THROW(job.check_source(src, ""));
    EXPECT_THROW(job.check_source(dest, ""), tk_exception);
    EXPECT_THROW(job.check_destination(src), tk_exception);  // never over the source
    // Found on the file page as ordinary errors: a path too long to name, and
    // a folder where no file can be created.
    const auto dest_error = [&](const std::string& d) {
        try {
            job.check_destination(d);
        } catch (const tk_exception& e) {
            return std::to_string(e.level()) + " " + e.what();
        }
        return std::string("accepted");
    };
    EXPECT_EQ(dest_error("/tmp/" + std::string(4096, 'a') + ".xls"),
              "1 Destination path is too long.\nPlease give a shorter path.");
    // The folder's mode allows it, the file system does not.
    EXPECT_EQ(dest_error("/proc/out.xls"),
              "1 Destination folder does not allow new files: the workbook is made there before it replaces the "
              "destination.\nPlease choose a folder you may write to.");
    EXPECT_EQ(dest_error(dest), "accepted");
}

TEST_F(RunFixture, ADocumentThatNeedsAPasswordSaysSoWhenNoneWasGiven) {
    const std::string enc = path("enc.pdf");
    if (std::system(("qpdf --encrypt user owner 256 -- '" + src + "' '" + enc + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "no qpdf";
    const auto message = [&](const std::string& password) {
        try {
            job.check_source(enc, password);
        } catch (const tk_exception& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    EXPECT_EQ(message(""), "The document is protected by a password: it cannot be read without it.\n"
                           "Please tick 'Use password' and type the document's password.");
    EXPECT_EQ(message("wrong"), "Incorrect password");
    EXPECT_EQ(message("user"), "accepted");
}

TEST_F(RunFixture, StoppedRunLeavesTheOldWorkbook) {
    job.request_stop();  // a cancel before the worker got going still counts
    job.run();
    EXPECT_FALSE(job.succeeded());
    EXPECT_EQ(read_file(dest), "old");
}

TEST_F(RunFixture, FinishedRunReplacesTheOldWorkbook) {
    job.run();
    EXPECT_TRUE(job.succeeded());
    EXPECT_EQ(job.pages_done(), 2);
    EXPECT_EQ(job.page_count(), 2);
    EXPECT_EQ(job.get_percent(), 100.0);
    EXPECT_NE(read_file(dest), "old");
}

}  // namespace
