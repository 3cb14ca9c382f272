// The command-line reader: prefix matching, unknown arguments, misuse.
#include "TK/tk_cmdli.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TK/tk_except.h"

namespace {
const tk_cmd_option table[] = {{10, "--dest="}, {11, "--help"}, {12, "--p"}, {13, "--pages="}, {0, ""}};

struct args {
    std::vector<std::string> text;
    std::vector<char*> argv;
    explicit args(std::vector<std::string> a) : text(std::move(a)) {
        text.insert(text.begin(), "prog");
        for (auto& s : text) argv.push_back(&s[0]);
        argv.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(text.size()); }
};
}  // namespace

TEST(CmdLine, NoArgumentsMeansNothingCurrent) {
    args a({});
    ansi_cmd_line cl(a.argc(), a.argv.data(), table);
    EXPECT_FALSE(cl.has_more());
    EXPECT_THROW(cl.id(), tk_mail_assertion);
    EXPECT_THROW(cl.value(), tk_mail_assertion);
    EXPECT_THROW(cl.next(), tk_mail_assertion);
}

TEST(CmdLine, PrefixMatchingInTableOrder) {
    args a({"--dest=", "--helpme", "x--help", "--pages=1-3", "--dest=/a b.xls"});
    ansi_cmd_line cl(a.argc(), a.argv.data(), table);
    std::vector<std::pair<int, std::string>> seen;
    while (cl.has_more()) {
        seen.emplace_back(cl.id(), cl.value());
        cl.next();
    }
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen[0], std::make_pair(10, std::string("")));
    EXPECT_EQ(seen[1], std::make_pair(11, std::string("me")));
    EXPECT_EQ(seen[2], std::make_pair(-1, std::string("x--help")));
    // "--p" stands first and takes "--pages=".
    EXPECT_EQ(seen[3], std::make_pair(12, std::string("ages=1-3")));
    EXPECT_EQ(seen[4], std::make_pair(10, std::string("/a b.xls")));
    EXPECT_EQ(cl.unknown_count(), 1);
    EXPECT_STREQ(cl.unknown(0), "x--help");
    EXPECT_EQ(cl.unknown(1), nullptr);
}

TEST(CmdLine, TwentyUnknownAreCountedTheTwentyFirstIsInternalError) {
    std::vector<std::string> v(20, "junk");
    args a(v);
    ansi_cmd_line cl(a.argc(), a.argv.data(), table);
    while (cl.has_more()) cl.next();
    EXPECT_EQ(cl.unknown_count(), 20);

    v.push_back("more");
    args b(v);
    ansi_cmd_line cl2(b.argc(), b.argv.data(), table);
    for (int i = 0; i < 19; ++i) cl2.next();
    EXPECT_THROW(cl2.next(), tk_mail_assertion);
}
