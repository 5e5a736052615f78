#include "net/Cookies.h"
#include "text/CodePage.h"

#include <gtest/gtest.h>

namespace fw {
namespace {

TEST(MergeCookies, NewEntriesWinAndComeFirst)
{
    EXPECT_EQ(mergeCookies("a=1; b=2", "b=3"), "b=3; a=1");
    EXPECT_EQ(mergeCookies("a=1", ""), "a=1");
    EXPECT_EQ(mergeCookies("", "x=1; y=2"), "x=1; y=2");
    EXPECT_EQ(mergeCookies("", ""), "");
}

TEST(MergeCookies, DeletedEntriesAreDropped)
{
    EXPECT_EQ(mergeCookies("a=1; b=2", "a=deleted"), "b=2");
    EXPECT_EQ(mergeCookies("a=deleted", ""), "");
    EXPECT_EQ(mergeCookies("=deleted; a=1", ""), "a=1");
    EXPECT_EQ(mergeCookies("a=1; b=deleted", ""), "a=1");
    EXPECT_EQ(mergeCookies("a=undeleted", "eleted"), "eleted; a=undeleted");
}

TEST(MergeCookies, BlanksAreRemovedEverywhere)
{
    EXPECT_EQ(mergeCookies(" a = 1 ;b=2 ;  c=x y", ""), "a=1; b=2; c=xy");
    const Text fullWidth = gbk("　");
    EXPECT_EQ(mergeCookies(fullWidth + "a=1" + fullWidth + ";b=2", ""), "a=1; b=2");
    // A1 A1 straddling two characters is not a blank.
    const Text tricky = gbk("v=啊") + "\xA1\xA1";  // "啊" is B0 A1
    EXPECT_EQ(mergeCookies(tricky, ""), gbk("v=啊"));
    EXPECT_EQ(mergeCookies("n=\xB0\xA1\xA1\xB0", ""), "n=\xB0\xA1\xA1\xB0");
    EXPECT_EQ(mergeCookies("\xB0\xA1\xA1\xB0=1", ""), "\xB0\xA1\xA1\xB0=1"); // a character at the very start
}

TEST(MergeCookies, OnlyExactDuplicatesCollapse)
{
    EXPECT_EQ(mergeCookies("a=1; a=1", ""), "a=1");
    EXPECT_EQ(mergeCookies("a=1; a=2", ""), "a=1; a=2");
    EXPECT_EQ(mergeCookies("A=1", "a=2"), "a=2; A=1"); // names compare with their letter case
}

TEST(CookieParts, NameAndDedupe)
{
    EXPECT_EQ(cookieName(" sid =abc=def"), "sid");
    EXPECT_EQ(cookieName(gbk("　flag　")), "flag");
    // Blanks are found on character boundaries only.
    EXPECT_EQ(cookieName(gbk("啊　")), gbk("啊"));
    EXPECT_EQ(cookieName(gbk("　　啊　 =x")), gbk("啊"));
    EXPECT_EQ(cookieName("\xB0\xA1\xA1"), "\xB0\xA1\xA1");
    EXPECT_EQ(cookieName("  "), "");
    EXPECT_EQ(dedupeJoined("a|b|a|c|b|", "|"), "a|b|c");
    EXPECT_EQ(dedupeJoined("", "; "), "");
}

} // namespace
} // namespace fw
