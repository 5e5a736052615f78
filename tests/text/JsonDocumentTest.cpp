#include "text/CodePage.h"
#include "text/JsonDocument.h"
#include "text/JsonText.h"

#include <gtest/gtest.h>

#include <chrono>
#include <limits>

using fw::gbk;
using fw::JsonDocument;
using fw::JsonType;
using fw::Text;
using fw::TextList;

namespace {

JsonDocument parsed(std::string_view text)
{
    JsonDocument doc;
    EXPECT_TRUE(doc.parse(text)) << text;
    return doc;
}

} // namespace

TEST(JsonParse, ReadsBothRankingAnswerForms)
{
    const Text entry = gbk("000001,华夏成长混合,HXCZHH,混合型-偏股,12.34,,1");
    const Text quoted = "{\"datas\":[\"" + entry + "\",\"x,y\"],\"allRecords\":\"8000\",\"allPages\":\"400\"}";
    const Text bare = " {datas:[\"" + entry + "\",'x,y',],allRecords:8000,allPages:400,}\r\n";
    for (const Text& text : {quoted, bare}) {
        JsonDocument doc = parsed(text);
        EXPECT_EQ(doc.memberCount("datas"), 2);
        EXPECT_EQ(doc.getText("datas[0]"), entry);
        EXPECT_EQ(doc.getText("datas[1]"), "x,y");
        EXPECT_EQ(doc.getText("allPages"), "400");
        EXPECT_EQ(doc.getNumber("allRecords"), 8000);
    }
}

TEST(JsonParse, LiteralSyntax)
{
    JsonDocument doc = parsed("{datas:['a,b','c,d'],allPages:3}");
    EXPECT_EQ(doc.memberCount("datas"), 2);
    EXPECT_EQ(doc.getText("datas[1]"), "c,d");
    EXPECT_EQ(doc.getText("allPages"), "3");

    doc = parsed("{'a b':\"it's\", $x_1:'say \"hi\"', 7:[+1,-2.5e2,.5,5.,true,false,null]}");
    EXPECT_EQ(doc.getText("['a b']"), "it's");
    EXPECT_EQ(doc.getText("$x_1"), "say \"hi\"");
    EXPECT_EQ(doc.toJson(), R"({"a b":"it's","$x_1":"say \"hi\"","7":[1,-250,0.5,5,true,false,null]})");

    // A repeated name keeps its first place and takes the last value, also in large objects.
    Text big = "{k:0";
    for (int i = 0; i < 40; ++i) big += ",m" + std::to_string(i) + ":" + std::to_string(i);
    big += ",k:9}";
    doc = parsed(big);
    EXPECT_EQ(doc.memberCount(), 41);
    EXPECT_EQ(doc.getText("k"), "9");
    TextList names;
    doc.memberNames("", names);
    EXPECT_EQ(names.front(), "k");
}

// The text may be a view into a longer buffer: nothing past its end is read.
TEST(JsonParse, LiteralsEndingTheView)
{
    const struct { std::string_view text; const char* json; } cases[] = {
        {std::string_view("truex", 4), "true"},   {std::string_view("falsey", 5), "false"},
        {std::string_view("nullz", 4), "null"},   {std::string_view("12x", 2), "12"},
        {std::string_view("1.5e3x", 5), "1500"},  {std::string_view("[1,2]x", 5), "[1,2]"},
    };
    for (const auto& c : cases) {
        fw::json::Value v;
        ASSERT_TRUE(fw::json::readValue(c.text, v, 8)) << c.text;
        Text out;
        fw::json::writeValue(v, out);
        EXPECT_EQ(out, c.json) << c.text;
    }
}

TEST(JsonParse, RefusesWhatIsNotOneLiteral)
{
    const char* refused[] = {
        "", "   ", "{", "[1,2", "{a:1", "{a}", "{a:}", "[,]", "[1,,2]", "{,}", "garbage",
        "var x = 1", "x", "alert('x')", "f()", "new Array()", "1+2", "[1] [2]", "{a:1};", "{a:1}}",
        "{a:b}", "{a:undefined}", "NaN", "Infinity", "(1)", "012", "1.5.2", "12px", "-", "1e",
        "'unterminated", "\"a\nb\"", "'\\1'", "{a:function(){return 1}}", "{a:1,b:this}", "/x/",
        "[-]", "[+]", "[.]", "{a:-}", "[-e1]", "[1,.]", "['\\01']", "{a:\"\\09\"}",
    };
    for (const char* text : refused) {
        JsonDocument doc;
        EXPECT_FALSE(doc.parse(text)) << text;
        EXPECT_EQ(doc.typeOf(), JsonType::None) << text;
        EXPECT_EQ(doc.memberCount(), 0) << text;
        EXPECT_EQ(doc.getText("a"), "") << text;
        EXPECT_EQ(doc.toJson(), "null") << text;
    }
    // A text holding null parses but gives no value.
    JsonDocument doc;
    EXPECT_FALSE(doc.parse("null"));
}

TEST(JsonParse, StringEscapes)
{
    JsonDocument doc = parsed(R"({m:"\u4fee\u6539\u6210\u529f\uff0c\u6b65\u6570\uff1a20000"})");
    EXPECT_EQ(doc.getText("m"), gbk("修改成功，步数：20000"));

    doc = parsed(R"(["a\"b\\c\/d\'e", 'q\'s', "\x41\x42\u0043", "\t\n\r\b\f", "\uD83D\uDE00|\uD800|\uDC00x", "\u00e9\u4E2D", "\z"])");
    EXPECT_EQ(doc.getElementText("", 0), "a\"b\\c/d'e");
    EXPECT_EQ(doc.getElementText("", 1), "q's");
    EXPECT_EQ(doc.getElementText("", 2), "ABC");
    EXPECT_EQ(doc.getElementText("", 3), "\t\n\r\b\f");
    // A pair of surrogates is one character (one "?" when GBK lacks it); a lone half is "?".
    EXPECT_EQ(doc.getElementText("", 4), "?|?|?x");
    EXPECT_EQ(parsed(R"(["\uDBFF\uDFFF"])").getElementText("", 0), "?"); // U+10FFFF, one character
    EXPECT_EQ(doc.getElementText("", 5), gbk("é中"));
    EXPECT_EQ(doc.getElementText("", 6), "z");

    EXPECT_FALSE(JsonDocument().parse(R"(["\u12"])"));
    EXPECT_FALSE(JsonDocument().parse(R"(["\x4"])"));
}

TEST(JsonParse, GbkTextPassesUnchanged)
{
    // Second bytes of GBK characters may equal "\" (0x5C), "[" or "{": they are
    // part of the character, not syntax or escapes.
    const Text odd = "\x81\x5C\x95\x5B\xB1\x7B";
    const Text name = gbk("基金");
    JsonDocument doc = parsed("{" + name + ":\"" + odd + "\",'" + odd + "':1}");
    EXPECT_EQ(doc.getText(name), odd);
    EXPECT_EQ(doc.getText("['" + odd + "']"), "1");

    const Text json = doc.toJson();
    EXPECT_EQ(json, "{\"" + name + "\":\"" + odd + "\",\"" + odd + "\":1}");
    EXPECT_EQ(parsed(json).getText(name), odd);

    // A stray high byte (no GBK character) must not swallow the escape after it.
    JsonDocument stray;
    ASSERT_TRUE(stray.setMember("s", "a\xFF\"b\xE8"));
    EXPECT_EQ(stray.toJson(), R"({"s":"a?\"b?"})");
    EXPECT_EQ(parsed(stray.toJson()).getText("s"), "a?\"b?");
}

TEST(JsonParse, NestingIsBounded)
{
    const Text ok = Text(JsonDocument::kMaxDepth, '[') + Text(JsonDocument::kMaxDepth, ']');
    EXPECT_TRUE(JsonDocument().parse(ok));
    const Text deep = Text(JsonDocument::kMaxDepth + 1, '[') + Text(JsonDocument::kMaxDepth + 1, ']');
    EXPECT_FALSE(JsonDocument().parse(deep));

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(JsonDocument().parse(Text(100000, '[')));
    Text objects;
    for (int i = 0; i < 50000; ++i) objects += "{a:";
    EXPECT_FALSE(JsonDocument().parse(objects));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(JsonPath, EveryForm)
{
    JsonDocument doc = parsed(R"({"data":{"diff":[{"f12":"600519"},{"f12":"000858","f14":"x"},{"f12":"00700","f14":"y"}]},
        "Data":[{"BKName":"n","SYL_M":-2.5}],"Datas":[{"_id":"512880","NAME":"e"}],"o":{"3":"three","-1":"neg"},"a'b":"q"})");
    EXPECT_EQ(doc.getText("data.diff[2].f14"), "y");
    EXPECT_EQ(doc.getText("data.diff[0].f12"), "600519");
    EXPECT_EQ(doc.getText("Data[0]['SYL_M']"), "-2.5");
    EXPECT_EQ(doc.getText("Data[0].SYL_M"), "-2.5");
    EXPECT_EQ(doc.getText("Data[0][\"SYL_M\"]"), "-2.5");
    EXPECT_EQ(doc.getText("Datas[0]['_id']"), "512880");
    EXPECT_EQ(doc.getText("Datas[ 0 ].NAME"), "e");
    EXPECT_EQ(doc.getText("data['diff']['1'].f14"), "x");
    EXPECT_EQ(doc.getText("o[3]"), "three");
    EXPECT_EQ(doc.getText("o[-1]"), "neg");
    EXPECT_EQ(doc.getText("['Data'][0]['SYL_M']"), "-2.5");
    EXPECT_EQ(doc.getText("['a\\'b']"), "q");

    // Missing at any depth, beyond the end, and malformed paths read as nothing.
    for (const char* path : {"a.b.c", "Data[7].BKName", "Data[-1]", "data.diff[1].f14.z", "Datas[0]._id.x",
                             "data..diff", ".data", "data.", "data[", "data[0", "data[x]", "data diff", "", "['Data'"}) {
        EXPECT_EQ(doc.getText(path), "") << path;
        EXPECT_EQ(doc.getText(path, true), "") << path;
        EXPECT_EQ(doc.memberCount(path), path[0] ? 0 : 5) << path;
        EXPECT_EQ(doc.getNumber(path), 0) << path;
        EXPECT_FALSE(doc.hasMember(path)) << path;
        EXPECT_EQ(doc.typeOf(path), path[0] ? JsonType::None : JsonType::Object) << path;
        EXPECT_EQ(doc.getDocument(path).typeOf(), JsonType::None) << path;
    }
}

TEST(JsonPath, LeadingBracketAddressesTheRootOnlyForReads)
{
    JsonDocument doc = parsed("[[1,2,3],'s',2.50]");
    EXPECT_EQ(doc.getText("[1]"), "s");
    EXPECT_EQ(doc.getText("[2]"), "2.5");
    EXPECT_EQ(doc.memberCount("[0]"), 3);
    EXPECT_EQ(doc.getDocument("[0]").toJson(), "[1,2,3]");
    EXPECT_EQ(doc.getText("[0][2]"), "3");
    // The other operations join root and path with "." and so name nothing here.
    EXPECT_EQ(doc.typeOf("[0]"), JsonType::None);
    EXPECT_FALSE(doc.hasMember("[0]"));
    EXPECT_EQ(doc.getNumber("[2]"), 0);
    EXPECT_EQ(doc.memberToJson("[0]"), "");
    EXPECT_FALSE(doc.setMember("[0]", "x"));
    // ... while an empty path is the root for some of them.
    EXPECT_EQ(doc.memberCount(""), 3);
    EXPECT_EQ(doc.typeOf(""), JsonType::Array);
    EXPECT_EQ(doc.getElementText("", 1), "s");
    EXPECT_EQ(doc.getText(""), "");
    EXPECT_EQ(doc.memberToJson(""), "");
}

TEST(JsonRead, NumbersAsText)
{
    JsonDocument doc = parsed(R"({a:2.50,b:1e21,c:-0.5,d:3,e:12345678901234,f:0.1,g:"2.50",h:1e400,i:-1e-400,j:true,
                                  k:{x:[1,'y']}})");
    EXPECT_EQ(doc.getText("a"), "2.5");
    EXPECT_EQ(doc.getText("b"), "1e+21");
    EXPECT_EQ(doc.getText("c"), "-0.5");
    EXPECT_EQ(doc.getText("d"), "3");
    EXPECT_EQ(doc.getText("e"), "1.234567890123e+13");
    EXPECT_EQ(doc.getText("f"), "0.1");
    EXPECT_EQ(doc.getText("g"), "2.50");
    EXPECT_EQ(doc.getNumber("g"), 2.5);
    EXPECT_EQ(doc.getNumber("k"), 0);
    EXPECT_EQ(doc.getText("j"), "true");
    EXPECT_EQ(doc.getText("k"), R"({"x":[1,"y"]})");
    EXPECT_EQ(doc.getText("k.x", true), R"([1,"y"])");
    EXPECT_EQ(doc.memberToJson("k"), R"({"x":[1,"y"]})");
    EXPECT_EQ(doc.typeOf("h"), JsonType::Number);
    EXPECT_EQ(doc.getNumber("i"), 0);
    // Numbers written back as JSON take their shortest form.
    EXPECT_EQ(doc.memberToJson("a"), "2.5");
    EXPECT_EQ(doc.memberToJson("b"), "1e+21");
    EXPECT_EQ(doc.memberToJson("h"), "null");
    EXPECT_EQ(parsed("[1e-7,0.000001,123456789012345680000,1.5e300]").toJson(),
              "[1e-7,0.000001,123456789012345680000,1.5e+300]");
}

TEST(JsonRead, TypesCountsAndNames)
{
    JsonDocument doc = parsed("{arr:[1,2],obj:{},s:'t',n:7,z:null,b:true,e:[]}");
    EXPECT_EQ(doc.typeOf("arr"), JsonType::Array);
    EXPECT_EQ(doc.typeOf("obj"), JsonType::Object);
    EXPECT_EQ(doc.typeOf("s"), JsonType::String);
    EXPECT_EQ(doc.typeOf("n"), JsonType::Number);
    EXPECT_EQ(doc.typeOf("z"), JsonType::None);
    EXPECT_EQ(doc.typeOf("missing"), JsonType::None);
    EXPECT_EQ(doc.typeOf("b"), JsonType::Other);
    EXPECT_EQ(doc.typeOf(), JsonType::Object);

    EXPECT_EQ(doc.memberCount(), 7);
    EXPECT_EQ(doc.memberCount("arr"), 2);
    EXPECT_EQ(doc.memberCount("e"), 0);
    for (const char* scalar : {"s", "n", "z", "b", "missing"}) EXPECT_EQ(doc.memberCount(scalar), 0) << scalar;
    EXPECT_TRUE(doc.hasMember("b"));
    EXPECT_FALSE(doc.hasMember("z"));

    TextList names{"stale"};
    EXPECT_EQ(doc.memberNames("", names), 7);
    EXPECT_EQ(names, (TextList{"arr", "obj", "s", "n", "z", "b", "e"}));
    EXPECT_EQ(doc.memberNames("arr", names), 2);
    EXPECT_EQ(names, (TextList{"0", "1"}));
    EXPECT_EQ(doc.memberNames("s", names), 0);
    EXPECT_TRUE(names.empty());
    // A name holding a comma stays one name.
    EXPECT_EQ(parsed("{'a,b':1,c:2}").memberNames("", names), 2);
    EXPECT_EQ(names.front(), "a,b");
}

TEST(JsonWrite, SetMemberStoresTextExactly)
{
    JsonDocument doc;
    // Quotes, line breaks and script-like text are stored as they are, never run.
    const Text tricky = "it's\n" + gbk("中文") + "\"); da=null; ('";
    EXPECT_TRUE(doc.setMember("a", tricky));
    EXPECT_EQ(doc.getText("a"), tricky);
    EXPECT_EQ(parsed(doc.toJson()).getText("a"), tricky);

    EXPECT_TRUE(doc.setMember("o", "{x:[1,2]}", true));
    EXPECT_EQ(doc.getText("o.x[1]"), "2");
    EXPECT_TRUE(doc.setMember("o.y", "", true)); // an empty expression is an empty object
    EXPECT_EQ(doc.typeOf("o.y"), JsonType::Object);
    EXPECT_TRUE(doc.setMemberExpression("o.x[3]", "'w'")); // grows the array with nulls
    EXPECT_EQ(doc.memberToJson("o.x"), R"([1,2,null,"w"])");
    EXPECT_TRUE(doc.setNumber("o.n", 0.1 + 0.2));
    EXPECT_EQ(doc.getText("o.n"), "0.3");
    EXPECT_TRUE(doc.setNumber("o['big']", 1e21));
    EXPECT_EQ(doc.getNumber("o.big"), 1e21);

    // Nothing changes when the value is not a literal or the parent is missing.
    const Text before = doc.toJson();
    EXPECT_FALSE(doc.setMember("a", "alert(1)", true));
    EXPECT_FALSE(doc.setMemberExpression("a", "1+1"));
    EXPECT_FALSE(doc.setMemberExpression("a", ""));
    EXPECT_FALSE(doc.setMember("missing.x", "v"));
    EXPECT_FALSE(doc.setMember("a.x", "v")); // a string holds no members
    EXPECT_FALSE(doc.setMember("o.x.len", "v")); // an array holds only indexes
    EXPECT_FALSE(doc.setMember("o.x[99999999]", "v"));
    EXPECT_FALSE(doc.setMember("", "v"));
    EXPECT_FALSE(doc.setNumber("o.n", std::numeric_limits<double>::quiet_NaN()));
    EXPECT_EQ(doc.toJson(), before);
}

TEST(JsonWrite, BackslashesAreEscapedAndReadBack)
{
    // A backslash before a quote, a letter, another backslash, at the end, and
    // after a two-byte character whose own second byte is 0x5C.
    const Text values[] = {"\\", "C:\\funds\\000001.txt", "a\\\"b", "\\u0041\\n", "\\\\", "end\\",
                           "\x81\x5C\\x", gbk("基金\\") + "\\"};
    for (const Text& value : values) {
        JsonDocument doc;
        ASSERT_TRUE(doc.setMember("p", value)) << value;
        ASSERT_TRUE(doc.pushElement("list", value)) << value;
        const Text json = doc.toJson();
        JsonDocument back;
        ASSERT_TRUE(back.parse(json)) << json;
        EXPECT_EQ(back.getText("p"), value) << json;
        EXPECT_EQ(back.getElementText("list", 0), value) << json;
        EXPECT_EQ(back.toJson(), json);
    }
    JsonDocument doc;
    ASSERT_TRUE(doc.setMember("p", "a\\b\\"));
    EXPECT_EQ(doc.toJson(), R"({"p":"a\\b\\"})");
}

TEST(JsonWrite, ElementsAndRoot)
{
    JsonDocument doc;
    EXPECT_TRUE(doc.pushElement("list", "a"));
    EXPECT_TRUE(doc.pushElement("list", "{k:1}", true));
    EXPECT_FALSE(doc.pushElement("list", "k=1", true));
    EXPECT_EQ(doc.memberToJson("list"), R"(["a",{"k":1}])");
    EXPECT_EQ(doc.getElementText("list", 1, true), R"({"k":1})");
    EXPECT_EQ(doc.getElementDocument("list", 1).getText("k"), "1");
    EXPECT_EQ(doc.getElementText("list", 2), "");
    EXPECT_EQ(doc.getElementText("list", -1), "");
    EXPECT_TRUE(doc.setMember("s", "x"));
    EXPECT_TRUE(doc.pushElement("s", "y")); // what is not an array becomes one
    EXPECT_EQ(doc.memberToJson("s"), R"(["y"])");

    doc.resetAs(JsonType::Array);
    EXPECT_EQ(doc.toJson(), "[]");
    EXPECT_TRUE(doc.pushElement("", "1", true));
    EXPECT_TRUE(doc.setElement(2, "z"));
    EXPECT_EQ(doc.toJson(), R"([1,null,"z"])");
    EXPECT_FALSE(doc.setElement(-1, "z"));
    EXPECT_TRUE(doc.removeElement(-1)); // counts from the end
    EXPECT_TRUE(doc.removeElement(0));
    EXPECT_FALSE(doc.removeElement(5));
    EXPECT_EQ(doc.toJson(), "[null]");

    doc.resetAs(JsonType::String); // not a container type: no change
    EXPECT_EQ(doc.toJson(), "[null]");
    doc.resetAs(JsonType::None);
    EXPECT_EQ(doc.toJson(), "{}");
    EXPECT_TRUE(doc.setElement(4, "v"));
    EXPECT_EQ(doc.getText("['4']"), "v");
    EXPECT_FALSE(doc.removeElement(0));

    EXPECT_TRUE(doc.setRoot("[1,2]", true));
    EXPECT_EQ(doc.memberCount(), 2);
    EXPECT_FALSE(doc.setRoot("1;2", true));
    EXPECT_EQ(doc.memberCount(), 2);
    EXPECT_TRUE(doc.setRoot("a'b"));
    EXPECT_EQ(doc.typeOf(), JsonType::String);
    doc.clear();
    EXPECT_EQ(doc.toJson(), "{}");

    // After a failed parse the root is null: members cannot be set, but the root can.
    EXPECT_FALSE(doc.parse("{"));
    EXPECT_FALSE(doc.setMember("a", "1"));
    EXPECT_FALSE(doc.setElement(0, "1"));
    EXPECT_TRUE(doc.pushElement("", "1"));
    EXPECT_EQ(doc.toJson(), R"(["1"])");
}

TEST(JsonWrite, RemoveElementCountsNegativeIndexesFromTheEnd)
{
    const struct { int index; bool removed; const char* left; } cases[] = {
        {0, true, "[1,2]"},  {2, true, "[0,1]"},   {3, false, "[0,1,2]"}, {-1, true, "[0,1]"},
        {-3, true, "[1,2]"}, {-4, true, "[1,2]"},  {std::numeric_limits<int>::min(), true, "[1,2]"},
        {std::numeric_limits<int>::max(), false, "[0,1,2]"},
    };
    for (const auto& c : cases) {
        JsonDocument doc = parsed("[0,1,2]");
        EXPECT_EQ(doc.removeElement(c.index), c.removed) << c.index;
        EXPECT_EQ(doc.toJson(), c.left) << c.index;
    }
    JsonDocument empty = parsed("[]");
    EXPECT_FALSE(empty.removeElement(0));
    EXPECT_FALSE(empty.removeElement(-1));
}

TEST(JsonShare, CloneSharesCopiesDoNot)
{
    JsonDocument doc = parsed("{a:{b:[1,2]}}");
    JsonDocument twin = doc.clone();
    JsonDocument copy = doc.getDocument("a");
    JsonDocument element = doc.getElementDocument("a.b", 0);
    EXPECT_EQ(element.toJson(), "1");

    EXPECT_TRUE(twin.pushElement("a.b", "3", true));
    EXPECT_EQ(doc.memberCount("a.b"), 3);
    EXPECT_EQ(copy.memberCount("b"), 2);
    EXPECT_TRUE(copy.setMember("c", "x"));
    EXPECT_FALSE(doc.hasMember("a.c"));

    EXPECT_FALSE(doc.parse("]"));
    EXPECT_EQ(twin.typeOf(), JsonType::None); // a new parse is seen through the clone too

    JsonDocument moved = std::move(copy);
    EXPECT_EQ(moved.getText("c"), "x");
}
