// The settings store: location, modes, typed values, escaping, registry-style queries.
#include "platform/plat_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include "tests/support/temp_dir.h"
#include "tests/support/unprivileged.h"

namespace {
namespace fs = std::filesystem;

struct Store : temp_dir_test {
    void SetUp() override {
        temp_dir_test::SetUp();
        use_config_home(dir);
    }
    plat_reg_handle* open(unsigned long* disp = nullptr) {
        plat_reg_handle* key = nullptr;
        EXPECT_EQ(plat_reg_create(plat_hkey_current_user, "Software\\Vantrel\\Tabrixa", &key, disp), plat_reg_ok);
        return key;
    }
    long set_sz(plat_reg_handle* key, const std::string& name, const std::string& text) {
        return plat_reg_set(key, name, plat_reg_type_sz, reinterpret_cast<const unsigned char*>(text.c_str()),
                            static_cast<unsigned long>(text.size() + 1));
    }
    std::string get_sz(plat_reg_handle* key, const std::string& name) {
        unsigned long size = 0, type = 0;
        if (plat_reg_query(key, name, &type, nullptr, &size) != plat_reg_ok) return "(missing)";
        std::string buf(size, '\0');
        EXPECT_EQ(plat_reg_query(key, name, &type, reinterpret_cast<unsigned char*>(&buf[0]), &size), plat_reg_ok);
        EXPECT_EQ(type, plat_reg_type_sz);
        EXPECT_EQ(buf.back(), '\0');
        return buf.substr(0, buf.size() - 1);
    }
};
}  // namespace

TEST_F(Store, KeyPathMapsBelowTheConfigFolder) {
    EXPECT_EQ(plat_reg_key_file(plat_hkey_current_user, "Software\\Vantrel\\Tabrixa"),
              dir.string() + "/Vantrel/Tabrixa/settings");
    EXPECT_EQ(plat_reg_key_file(plat_hkey_current_user, "Software\\..\\x"), "");
    EXPECT_EQ(plat_reg_key_file(plat_hkey_current_user, "Software"), "");
    EXPECT_EQ(plat_reg_key_file(nullptr, "Software\\a"), "");
    // A relative XDG_CONFIG_HOME is ignored: ~/.config is used.
    ::setenv("XDG_CONFIG_HOME", "relative/dir", 1);
    ::setenv("HOME", dir.c_str(), 1);
    EXPECT_EQ(plat_reg_key_file(plat_hkey_current_user, "Software\\A"), dir.string() + "/.config/A/settings");
}

TEST_F(Store, CreateMakesPrivateFolderAndFile) {
    unsigned long disp = 0;
    plat_reg_handle* key = open(&disp);
    EXPECT_EQ(disp, plat_reg_created_new_key);
    struct stat st {};
    ASSERT_EQ(::stat((dir / "Vantrel" / "Tabrixa").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((dir / "Vantrel").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((dir / "Vantrel" / "Tabrixa" / "settings").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    plat_reg_close(key);
    key = open(&disp);
    EXPECT_EQ(disp, plat_reg_opened_existing_key);
    plat_reg_close(key);
}

TEST_F(Store, TypedValuesRoundTripThroughTheFile) {
    plat_reg_handle* key = open();
    const std::string odd = "line1\nline2\r\\ = tab\t\x01 end";
    ASSERT_EQ(set_sz(key, "dest", "/tmp/a b.xls"), plat_reg_ok);
    ASSERT_EQ(set_sz(key, "na=me\nx", odd), plat_reg_ok);
    ASSERT_EQ(set_sz(key, "empty", ""), plat_reg_ok);
    uint32_t n = 0xDEADBEEF;
    ASSERT_EQ(plat_reg_set(key, "open on exit", plat_reg_type_dword, reinterpret_cast<unsigned char*>(&n), 4),
              plat_reg_ok);
    plat_reg_close(key);

    key = open();
    EXPECT_EQ(get_sz(key, "dest"), "/tmp/a b.xls");
    EXPECT_EQ(get_sz(key, "na=me\nx"), odd);
    EXPECT_EQ(get_sz(key, "empty"), "");
    uint32_t back = 0;
    unsigned long size = 4, type = 0;
    ASSERT_EQ(plat_reg_query(key, "open on exit", &type, reinterpret_cast<unsigned char*>(&back), &size),
              plat_reg_ok);
    EXPECT_EQ(type, plat_reg_type_dword);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(back, 0xDEADBEEFu);
    EXPECT_EQ(get_sz(key, "Dest"), "(missing)");  // names are case-sensitive
    // Overwriting keeps one value, and no temporary file stays behind.
    ASSERT_EQ(set_sz(key, "dest", "second"), plat_reg_ok);
    EXPECT_EQ(get_sz(key, "dest"), "second");
    int files = 0;
    for (auto& e : fs::directory_iterator(dir / "Vantrel" / "Tabrixa")) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1);
    plat_reg_close(key);
}

TEST_F(Store, QueryFollowsRegistrySizeRules) {
    plat_reg_handle* key = open();
    ASSERT_EQ(set_sz(key, "s", "hello"), plat_reg_ok);
    unsigned long size = 0, type = 0;
    EXPECT_EQ(plat_reg_query(key, "s", &type, nullptr, &size), plat_reg_ok);
    EXPECT_EQ(size, 6u);
    unsigned char small[3];
    size = sizeof small;
    EXPECT_EQ(plat_reg_query(key, "s", &type, small, &size), plat_reg_more_data);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(plat_reg_query(key, "none", &type, nullptr, &size), plat_reg_not_found);
    unsigned char three[3] = {1, 2, 3};
    EXPECT_EQ(plat_reg_set(key, "n", plat_reg_type_dword, three, 3), plat_reg_invalid_parameter);
    EXPECT_EQ(plat_reg_set(key, "n", 3 /* binary */, three, 3), plat_reg_invalid_parameter);
    EXPECT_EQ(plat_reg_query(nullptr, "s", &type, nullptr, &size), plat_reg_invalid_handle);
    plat_reg_close(key);
}

TEST_F(Store, DamagedLinesAreSkipped) {
    plat_reg_handle* key = open();
    plat_reg_close(key);
    std::ofstream(dir / "Vantrel" / "Tabrixa" / "settings")
        << "garbage\nsz ok=fine\ndword bad=12x\ndword big=99999999999\nsz broken=\\x4\nqword q=1\n";
    key = open();
    EXPECT_EQ(get_sz(key, "ok"), "fine");
    unsigned long size = 0;
    EXPECT_EQ(plat_reg_query(key, "bad", nullptr, nullptr, &size), plat_reg_not_found);
    EXPECT_EQ(plat_reg_query(key, "big", nullptr, nullptr, &size), plat_reg_not_found);
    EXPECT_EQ(plat_reg_query(key, "broken", nullptr, nullptr, &size), plat_reg_not_found);
    EXPECT_EQ(plat_reg_query(key, "q", nullptr, nullptr, &size), plat_reg_not_found);
    plat_reg_close(key);
}

TEST_F(Store, UnwritableFolderReportsAnError) {
    fs::create_directories(dir / "Vantrel");
    using p = fs::perms;
    fs::permissions(dir / "Vantrel", p::owner_read | p::owner_exec | p::group_read | p::group_exec |
                                         p::others_read | p::others_exec);
    EXPECT_EQ(run_unprivileged([] {
                  plat_reg_handle* key = nullptr;
                  long rc = plat_reg_create(plat_hkey_current_user, "Software\\Vantrel\\Tabrixa", &key, nullptr);
                  return std::string(rc != plat_reg_ok && key == nullptr ? "refused" : "created");
              }),
              "refused");
    fs::permissions(dir / "Vantrel", fs::perms::owner_all);
}

TEST_F(Store, DeleteRemovesOnlyThatValue) {
    plat_reg_handle* key = open();
    ASSERT_EQ(set_sz(key, "password", "secret"), plat_reg_ok);
    ASSERT_EQ(set_sz(key, "src", "a.pdf"), plat_reg_ok);
    EXPECT_EQ(plat_reg_delete(key, "password"), plat_reg_ok);
    EXPECT_EQ(get_sz(key, "password"), "(missing)");
    EXPECT_EQ(get_sz(key, "src"), "a.pdf");
    EXPECT_EQ(plat_reg_delete(key, "password"), plat_reg_ok);  // already gone
    EXPECT_EQ(plat_reg_delete(nullptr, "src"), plat_reg_invalid_handle);
    plat_reg_close(key);
    std::stringstream text;
    text << std::ifstream(dir / "Vantrel" / "Tabrixa" / "settings").rdbuf();
    EXPECT_EQ(text.str().find("secret"), std::string::npos);
}

TEST_F(Store, ALinkKeepsItsTargetAndAReplacedFileItsOwner) {
    // A dotfile manager keeps the real file elsewhere and links to it.
    fs::create_directories(dir / "Vantrel" / "Tabrixa");
    const fs::path real = dir / "dotfiles-settings", file = dir / "Vantrel" / "Tabrixa" / "settings";
    std::ofstream(real) << "sz src=old.pdf\n";
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    fs::create_symlink(real, file);
    // Root with another user's configuration folder leaves the file theirs.
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(real.c_str(), 65534, 65534), 0);
    }
    plat_reg_handle* key = open();
    ASSERT_EQ(set_sz(key, "src", "new.pdf"), plat_reg_ok);
    plat_reg_close(key);
    EXPECT_TRUE(fs::is_symlink(file));
    std::stringstream text;
    text << std::ifstream(real).rdbuf();
    EXPECT_NE(text.str().find("sz src=new.pdf"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, 65534u);
    }
}

TEST_F(Store, TheFileIsReadOnceAndAHugeOneIsRefused) {
    plat_reg_handle* key = open();
    ASSERT_EQ(set_sz(key, "src", "a.pdf"), plat_reg_ok);
    // Read when the key was opened: a later change of the file is not seen.
    const fs::path file = dir / "Vantrel" / "Tabrixa" / "settings";
    std::ofstream(file) << "sz src=changed.pdf\n";
    EXPECT_EQ(get_sz(key, "src"), "a.pdf");
    plat_reg_close(key);
    fs::resize_file(file, 1ull << 30);
    plat_reg_handle* huge = nullptr;
    EXPECT_EQ(plat_reg_create(plat_hkey_current_user, "Software\\Vantrel\\Tabrixa", &huge, nullptr),
              plat_reg_invalid_data);
    EXPECT_EQ(huge, nullptr);
}
