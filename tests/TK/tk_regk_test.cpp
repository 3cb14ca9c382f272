// The key holder on the settings store: flags, strings, misuse.
#include "TK/tk_regk.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "TK/tk_except.h"
#include "tests/support/temp_dir.h"

namespace {
namespace fs = std::filesystem;

struct RegKey : temp_dir_test {
    void SetUp() override {
        temp_dir_test::SetUp();
        use_config_home(dir);
    }
};
}  // namespace

TEST_F(RegKey, ClosedKeyTransfersNothing) {
    tk_reg_key key;
    bool flag = true;
    std::string text = "keep";
    EXPECT_FALSE(key.serialize_flag("f", flag, false));
    EXPECT_FALSE(key.serialize_string("s", text, true));
    EXPECT_TRUE(flag);
    EXPECT_EQ(text, "keep");
    EXPECT_EQ(key.close(), 0);
    EXPECT_EQ(key.delete_value("s"), plat_reg_invalid_handle);
    EXPECT_THROW(key.set_value(1u, "n"), tk_mail_assertion);
    EXPECT_THROW(key.set_value("t", "n"), tk_mail_assertion);
    EXPECT_THROW(key.create(nullptr, "Software\\X"), tk_mail_assertion);
}

TEST_F(RegKey, FlagsAndStringsRoundTrip) {
    {
        tk_reg_key key;
        unsigned long disp = 0;
        ASSERT_EQ(key.create(plat_hkey_current_user, "Software\\Vantrel\\Tabrixa", &disp), 0);
        EXPECT_EQ(disp, plat_reg_created_new_key);
        bool on = true, off = false;
        std::string empty, text = "C:\\out\\report.xls";
        EXPECT_TRUE(key.serialize_flag("graph_tab", off, true));
        EXPECT_TRUE(key.serialize_flag("open on exit", on, true));
        EXPECT_TRUE(key.serialize_string("dest", text, true));
        EXPECT_TRUE(key.serialize_string("pages", empty, true));
        EXPECT_THROW(key.set_value(static_cast<const char*>(nullptr), "x"), tk_mail_assertion);
    }
    tk_reg_key key;
    ASSERT_EQ(key.create(plat_hkey_current_user, "Software\\Vantrel\\Tabrixa"), 0);
    bool graph = true, open = false, missing = true;
    std::string dest, pages = "unchanged";
    EXPECT_TRUE(key.serialize_flag("graph_tab", graph, false));
    EXPECT_TRUE(key.serialize_flag("open on exit", open, false));
    EXPECT_FALSE(key.serialize_flag("nothing", missing, false));
    EXPECT_TRUE(key.serialize_string("dest", dest, false));
    EXPECT_FALSE(graph);
    EXPECT_TRUE(open);
    EXPECT_TRUE(missing);
    EXPECT_EQ(dest, "C:\\out\\report.xls");
    // An empty string stores its terminating zero and reads back as empty.
    unsigned long size = 0;
    EXPECT_EQ(key.get_value(nullptr, "pages", &size), 0);
    EXPECT_EQ(size, 1u);
    EXPECT_TRUE(key.serialize_string("pages", pages, false));
    EXPECT_EQ(pages, "");
    EXPECT_THROW(key.get_value(nullptr, "pages", nullptr), tk_mail_assertion);
    uint32_t n = 0;
    EXPECT_THROW(key.get_value(n, nullptr), tk_mail_assertion);
}

TEST_F(RegKey, FailedCreateKeepsTheHeldKey) {
    tk_reg_key key;
    ASSERT_EQ(key.create(plat_hkey_current_user, "Software\\Vantrel\\Tabrixa"), 0);
    EXPECT_NE(key.create(plat_hkey_current_user, "Software\\..\\evil"), 0);
    EXPECT_TRUE(key.is_open());
    std::string s = "v";
    EXPECT_TRUE(key.serialize_string("still", s, true));
}
