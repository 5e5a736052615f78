#include "net/ResponseDecoder.h"
#include "text/CodePage.h"

#include <gtest/gtest.h>

namespace fw {
namespace {

Text decode(const std::string& body) { return decodeResponse(body, std::string_view(body).substr(0, body.find('\0'))); }

TEST(DecodeResponse, DeclaredForeignCharsetIsConverted)
{
    const std::string utf8 = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />"
                             "</head><body>规模 12.3亿元</body></html>";
    EXPECT_EQ(decode(utf8), gbk(utf8));
    const std::string quoted = "<META CHARSET=\"UTF-8\"><p>基金</p>";
    EXPECT_EQ(decode(quoted), gbk(quoted));
    const std::string big5 = "<meta charset=big5>\xB0\xF2\xAA\xF7"; // "基金" in Big5
    EXPECT_EQ(decode(big5), "<meta charset=big5>" + gbk("基金"));
}

TEST(DecodeResponse, GbkAndUndeclaredPagesComeBackByteForByte)
{
    // Byte for byte: also bytes that are no GBK character.
    const std::string gb = "<meta charset=gb2312><b>" + gbk("五星基金") + "\xFF\x81 </b>";
    EXPECT_EQ(decode(gb), gb);
    const std::string gbkPage = "<meta content='text/html; charset=gbk'>" + gbk("净值") + "\x80\xFF";
    EXPECT_EQ(decode(gbkPage), gbkPage);
    const std::string upper = "<meta charset=GBK>" + gbk("净值");
    EXPECT_EQ(decode(upper), upper);
    const std::string json = "{\"Data\":\"\xE5\x9F\xBA\"}";
    EXPECT_EQ(decode(json), json);
    EXPECT_EQ(decode(std::string("ab\0cd", 5)), "ab");
}

TEST(DecodeResponse, OnlyTheHeadIsSearched)
{
    const std::string late = std::string(1100, ' ') + "<meta charset=utf-8>基";
    EXPECT_EQ(decode(late), late);
    // A name cut by the end of the head is read as cut ("utf-" is no charset).
    std::string cut = "<meta charset=utf-";
    cut = std::string(1024 - cut.size(), ' ') + cut + "8>基";
    EXPECT_EQ(decode(cut), cut);
    // Text that is not valid GBK before the declaration does not hide it.
    // (read as GBK, the UTF-8 of the first character runs into the "<").
    const std::string garbled = "基<meta charset=utf-8>金";
    EXPECT_EQ(decode(garbled), gbk(garbled));
}

// What the declaration search finds in awkward heads: the first <meta on a
// line, the shortest run to "charset=", one optional non-word character.
TEST(DecodeResponse, DeclarationSearchOnAwkwardHeads)
{
    const struct { const char* head; const char* charset; } cases[] = {
        {"<meta charset=utf-8>", "utf-8"},
        {"<META CHARSET=\"UTF-8\">", "UTF-8"},
        {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\" />", "gb2312"},
        {"<meta charset=>x", "x"},
        {"<meta charset=\"\"><meta charset='big5'>", "big5"},
        {"<meta\ncharset=utf-8>", ""},
        {"<metacharset=utf-8>", ""},
        {"<meta charset=-x>", "x"},
        {"<meta charset=->", "-"},
        {"<meta charset=--utf>", "-utf"},
        {"<meta a charset= charset=big5>", "charset"},
        {"<meta charset=??utf-8>", ""},
        {"<meta x><meta charset=big5>", "big5"},
        {"<meta x>\r\n<meta charset=euc-kr>", "euc-kr"},
        {"charset=utf-8 <meta>", ""},
        {"<meta charset=\nutf-8>", "utf-8"},
        {"<meta charset=\n\nutf-8>", ""},
        {"<<meta name=x charset=windows_1252;", "windows_1252"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(declaredCharset(c.head), c.charset) << c.head;
}

// In the head a GBK lead byte takes the next byte with it when that byte can
// trail it, and so may hide the declaration's first letter.
TEST(DecodeResponse, HeadBytesPairLikeGbk)
{
    const struct { std::string page; bool declared; } cases[] = {
        {"<meta \x81" "charset=utf-8>", false},
        {"<meta \xFE" "charset=utf-8>", false},
        {"<meta \x80" "charset=utf-8>", true},
        {"<meta \xFF" "charset=utf-8>", true},
        {"<meta \xB0\x7F" "charset=utf-8>", true},
        {"<meta \xB0\xFF" "charset=utf-8>", true},
        {"<meta \xB0\x3F" "charset=utf-8>", true},
        {"<meta charset=utf-8 \xB0", true},
    };
    for (const auto& c : cases) {
        Text asUtf8;
        ASSERT_TRUE(charsetToGbk(c.page, "utf-8", asUtf8));
        ASSERT_NE(asUtf8, c.page);
        EXPECT_EQ(decode(c.page), c.declared ? asUtf8 : c.page) << c.page;
    }
}

TEST(DecodeResponse, UnknownCharsetGivesTheUndecodedText)
{
    const std::string page = "<meta charset=no-such-charset-x>" + gbk("基金");
    EXPECT_EQ(decode(page), page);
}

} // namespace
} // namespace fw
