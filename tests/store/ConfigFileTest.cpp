#include "store/ConfigFile.h"
#include "TempDir.h"
#include "text/CodePage.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace fw;
using fw::test::readBytes;
using fw::test::writeBytes;

namespace {

class ConfigFileTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string path = dir.file("配置.ini");
    ConfigFile config{path};

    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            names.push_back(e.path().filename().string());
        return names;
    }
};

TEST_F(ConfigFileTest, FirstWriteCreatesAPrivateGbkFileWithCrLf)
{
    EXPECT_FALSE(config.exists());
    EXPECT_EQ(config.read(gbk("加载数据"), gbk("是否全部加载")), "");

    ASSERT_TRUE(config.write(gbk("加载数据"), gbk("是否全部加载"), gbk("假")));
    EXPECT_TRUE(config.exists());
    EXPECT_EQ(readBytes(path), gbk("[加载数据]\r\n是否全部加载=假\r\n"));
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A second key joins its section; another section goes at the end.
    ASSERT_TRUE(config.write(gbk("加载数据"), "b", "1"));
    ASSERT_TRUE(config.write(gbk("自选数据"), gbk("自选"), gbk("000001/华夏成长/基金|")));
    ASSERT_TRUE(config.write(gbk("加载数据"), gbk("是否全部加载"), gbk("真")));
    EXPECT_EQ(readBytes(path), gbk("[加载数据]\r\n是否全部加载=真\r\nb=1\r\n[自选数据]\r\n自选=000001/华夏成长/基金|\r\n"));
    EXPECT_EQ(config.read(gbk("自选数据"), gbk("自选")), gbk("000001/华夏成长/基金|"));
    EXPECT_EQ(entries(), std::vector<std::string>{"配置.ini"}); // no temporary file left behind
}

TEST_F(ConfigFileTest, NamesIgnoreAsciiCaseAndValuesAreTrimmed)
{
    writeBytes(path, "[Main]\r\n  Key \t=  \t spaced value\t \r\nempty=\r\n");
    EXPECT_EQ(config.read("mAIN", "kEY"), "spaced value");
    EXPECT_EQ(config.read(" main ", "key"), "spaced value");
    EXPECT_EQ(config.read("main", "empty"), "");
    EXPECT_EQ(config.read("main", "missing"), "");
    EXPECT_EQ(config.read("other", "key"), "");

    // The key keeps the spelling of the file.
    ASSERT_TRUE(config.write("MAIN", "KEY", "new"));
    EXPECT_EQ(readBytes(path), "[Main]\r\nKey=new\r\nempty=\r\n");
}

TEST_F(ConfigFileTest, CaseFoldingNeverTouchesTwoByteCharacters)
{
    // Both are two-byte characters whose second byte is an ASCII letter.
    const std::string upper = "\xB0\x41", lower = "\xB0\x61";
    ASSERT_TRUE(config.write(upper, upper, "1"));
    EXPECT_EQ(config.read(upper, upper), "1");
    EXPECT_EQ(config.read(lower, upper), "");
    EXPECT_EQ(config.read(upper, lower), "");
    // A "]" as second byte does not end a section name.
    const std::string bracket = "\x81\x5D";
    ASSERT_TRUE(config.write(bracket, "k", "v"));
    EXPECT_EQ(config.read(bracket, "k"), "v");
}

TEST_F(ConfigFileTest, ReadsLfOnlyFilesAndKeepsTheirOtherLines)
{
    writeBytes(path, "[a]\nk=v\n\n[b]\nk=w");
    EXPECT_EQ(config.read("a", "k"), "v");
    EXPECT_EQ(config.read("b", "k"), "w");

    ASSERT_TRUE(config.write("a", "k", "x"));
    EXPECT_EQ(readBytes(path), "[a]\nk=x\r\n\n[b]\nk=w");
    ASSERT_TRUE(config.write("b", "n", "1")); // after a last line without line break
    EXPECT_EQ(readBytes(path), "[a]\nk=x\r\n\n[b]\nk=w\r\nn=1\r\n");
}

TEST_F(ConfigFileTest, LongValuesAreCutOnReadWithoutSplittingACharacter)
{
    ASSERT_TRUE(config.write("s", "ascii", std::string(10300, 'x')));
    EXPECT_EQ(config.read("s", "ascii"), std::string(10239, 'x'));

    std::string chinese;
    for (int i = 0; i < 5200; ++i)
        chinese += "\xB0\xA1";
    ASSERT_TRUE(config.write("s", "gbk", chinese));
    EXPECT_EQ(config.read("s", "gbk"), chinese.substr(0, 10238));
    // The whole value stays in the file, and readWhole gives all of it.
    EXPECT_NE(readBytes(path).find(chinese), std::string::npos);
    EXPECT_EQ(config.readWhole("s", "gbk"), chinese);
    EXPECT_EQ(config.readWhole("S", "ascii"), std::string(10300, 'x'));
    EXPECT_EQ(config.readWhole("s", "missing"), "");
}

TEST_F(ConfigFileTest, HandEditedLinesSurviveWritesByteForByte)
{
    const std::string before =
        "; settings kept by hand\r\n"
        "\r\n"
        "[mine]  ; trailing note\r\n"
        "colour = blue\r\n"
        "a line without equals sign\r\n"
        "\r\n"
        "[Target]\r\n"
        "x=1\r\n"
        "; a comment after the keys\r\n"
        "\r\n"
        "[tail]\n"
        "z =  9\n";
    writeBytes(path, before);
    ASSERT_TRUE(config.write("target", "y", "2"));
    ASSERT_TRUE(config.write("target", "x", "3"));
    ASSERT_TRUE(config.write("new", "k", "v"));
    EXPECT_EQ(readBytes(path),
              "; settings kept by hand\r\n"
              "\r\n"
              "[mine]  ; trailing note\r\n"
              "colour = blue\r\n"
              "a line without equals sign\r\n"
              "\r\n"
              "[Target]\r\n"
              "x=3\r\n"
              "y=2\r\n"
              "; a comment after the keys\r\n"
              "\r\n"
              "[tail]\n"
              "z =  9\n"
              "[new]\r\n"
              "k=v\r\n");
    EXPECT_EQ(config.read("mine", "colour"), "blue");
    EXPECT_EQ(config.read("tail", "z"), "9");
}

TEST_F(ConfigFileTest, DeleteSectionRemovesHeaderAndKeysOnly)
{
    const std::string watch = gbk("[自选数据]\r\n自选=1/a/b|\r\n");
    writeBytes(path, "[keep]\r\nk=1\r\n" + watch + "[other]\r\nk=2\r\n" + gbk("[自选数据]\r\n自选=old|\r\n"));
    ASSERT_TRUE(config.deleteSection(gbk("自选数据")));
    EXPECT_EQ(readBytes(path), "[keep]\r\nk=1\r\n[other]\r\nk=2\r\n");
    EXPECT_EQ(config.read(gbk("自选数据"), gbk("自选")), "");

    // Delete then write: how the watchlist is saved.
    ASSERT_TRUE(config.write(gbk("自选数据"), gbk("自选"), "2/c/d|"));
    EXPECT_EQ(config.read(gbk("自选数据"), gbk("自选")), "2/c/d|");

    EXPECT_TRUE(config.deleteSection("KEEP"));
    EXPECT_EQ(readBytes(path), "[other]\r\nk=2\r\n" + gbk("[自选数据]\r\n自选=2/c/d|\r\n"));
    ConfigFile missing(dir.file("none.ini"));
    EXPECT_TRUE(missing.deleteSection("x"));
    EXPECT_FALSE(missing.exists()); // nothing is created
}

TEST_F(ConfigFileTest, ReplaceSectionSwapsTheWholeSectionWhereItStood)
{
    const Text watch = gbk("自选数据"), key = gbk("自选");
    writeBytes(path, "[keep]\r\nk=1\r\n" + gbk("[自选数据]\r\n自选=old|\r\nextra=x\r\n; note\r\n") +
                         "[other]\nk=2\n" + gbk("[自选数据]\r\n自选=older|\r\n") + "[last]\r\nk=3");
    ASSERT_TRUE(config.replaceSection(watch, {{key, "1/a\r\nb|"}, {"n", ""}}));
    EXPECT_EQ(readBytes(path), "[keep]\r\nk=1\r\n" + gbk("[自选数据]\r\n自选=1/a  b|\r\n") +
                                   "n=\r\n[other]\nk=2\n[last]\r\nk=3");

    // No keys: the section goes; a new section goes at the end, after a line end.
    ASSERT_TRUE(config.replaceSection(watch, {}));
    EXPECT_EQ(readBytes(path), "[keep]\r\nk=1\r\n[other]\nk=2\n[last]\r\nk=3");
    ASSERT_TRUE(config.replaceSection(watch, {{key, ""}}));
    EXPECT_EQ(readBytes(path), "[keep]\r\nk=1\r\n[other]\nk=2\n[last]\r\nk=3\r\n" + gbk("[自选数据]\r\n自选=\r\n"));

    // Names that cannot be stored are refused and change nothing.
    const std::string before = readBytes(path);
    EXPECT_FALSE(config.replaceSection("a]b", {{key, "x"}}));
    EXPECT_FALSE(config.replaceSection(watch, {{key, "x"}, {"a=b", "y"}}));
    EXPECT_EQ(readBytes(path), before);

    ConfigFile fresh(dir.file("new.ini"));
    EXPECT_TRUE(fresh.replaceSection("s", {}));
    EXPECT_FALSE(fresh.exists());
    ASSERT_TRUE(fresh.replaceSection("s", {{"k", "v"}}));
    EXPECT_EQ(readBytes(fresh.path()), "[s]\r\nk=v\r\n");
}

TEST_F(ConfigFileTest, ReplacedSectionIsNeverMissingForAReader)
{
    const Text watch = gbk("自选数据"), key = gbk("自选");
    ASSERT_TRUE(config.write(watch, key, "0/a/b|"));
    std::atomic<bool> done {false};
    std::atomic<int> missing {0};
    std::thread reader([&] {
        ConfigFile other(path);
        while (!done)
            if (other.read(watch, key).empty())
                ++missing;
    });
    for (int i = 1; i <= 300; ++i)
        ASSERT_TRUE(config.replaceSection(watch, {{key, std::to_string(i) + "/a/b|"}}));
    done = true;
    reader.join();
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(config.read(watch, key), "300/a/b|");
}

TEST_F(ConfigFileTest, LineBreaksInAValueCannotForgeLines)
{
    // A fund name from the service ends up in the watchlist value.
    ASSERT_TRUE(config.write("s", "k", "a\r\n[evil]\r\nk=b"));
    EXPECT_EQ(config.read("evil", "k"), "");
    EXPECT_EQ(config.read("s", "k"), "a  [evil]  k=b");
    EXPECT_FALSE(config.write("s", "bad=key", "v"));
    EXPECT_FALSE(config.write("bad]name", "k", "v"));
    EXPECT_FALSE(config.write("s", "", "v"));
}

TEST_F(ConfigFileTest, GarbageReadsAsMissingAndIsKeptByAWrite)
{
    std::string garbage;
    for (int i = 0; i < 3000; ++i)
        garbage += static_cast<char>((i * 131 + 7) % 256);
    garbage += std::string("\0\0[s]\0k=v", 9);
    writeBytes(path, garbage);
    EXPECT_TRUE(config.exists());
    EXPECT_EQ(config.read("s", "k"), "");

    ASSERT_TRUE(config.write("s", "k", "v"));
    const std::string after = readBytes(path);
    ASSERT_GE(after.size(), garbage.size());
    EXPECT_EQ(after.substr(0, garbage.size()), garbage);
    EXPECT_EQ(config.read("s", "k"), "v");
    EXPECT_EQ(entries().size(), 1u);
}

TEST_F(ConfigFileTest, OversizedFileIsNeitherReadNorRewritten)
{
    std::string huge = "[s]\r\nk=v\r\n";
    huge.resize(ConfigFile::kMaxFileBytes + 1, 'x');
    writeBytes(path, huge);
    EXPECT_EQ(config.read("s", "k"), "");
    EXPECT_FALSE(config.write("s", "k", "w"));
    EXPECT_FALSE(config.deleteSection("s"));
    EXPECT_EQ(readBytes(path), huge);
    EXPECT_EQ(entries().size(), 1u);
}

TEST_F(ConfigFileTest, FailingWritesReportFalseAndLeaveNothingBehind)
{
    // A path below a regular file fails for everyone, root included.
    writeBytes(dir.file("plain"), "x");
    ConfigFile below(dir.file("plain/配置.ini"));
    EXPECT_FALSE(below.exists());
    EXPECT_FALSE(below.write("s", "k", "v"));
    EXPECT_EQ(below.read("s", "k"), "");

    // A folder that is not there: nothing to read, and nowhere to write.
    ConfigFile missing(dir.file("gone/配置.ini"));
    EXPECT_FALSE(missing.write("s", "k", "v"));
    EXPECT_FALSE(missing.replaceSection("s", {{"k", "v"}}));
    EXPECT_FALSE(std::filesystem::exists(dir.file("gone")));

    // A directory in the file's place.
    std::filesystem::create_directory(dir.file("adir"));
    ConfigFile directory(dir.file("adir"));
    EXPECT_FALSE(directory.write("s", "k", "v"));
    EXPECT_EQ(directory.read("s", "k"), "");

    // A read-only directory (root writes anyway: only then is the outcome skipped).
    const std::string ro = dir.file("ro");
    std::filesystem::create_directory(ro);
    writeBytes(ro + "/配置.ini", "[s]\r\nk=v\r\n");
    chmod(ro.c_str(), 0500);
    ConfigFile readOnly(ro + "/配置.ini");
    EXPECT_EQ(readOnly.read("s", "k"), "v");
    const bool written = readOnly.write("s", "k", "w");
    if (geteuid() != 0) {
        EXPECT_FALSE(written);
        EXPECT_EQ(readOnly.read("s", "k"), "v");
    }
    chmod(ro.c_str(), 0700);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(ro), {}), 1);

    // A file the user made read-only in a writable directory is not replaced
    // behind their back (the rename would succeed even so).
    const std::string locked = dir.file("locked.ini");
    writeBytes(locked, "[s]\r\nk=v\r\n[w]\r\nx=1\r\n");
    chmod(locked.c_str(), 0444);
    ConfigFile lockedFile(locked);
    EXPECT_FALSE(lockedFile.write("s", "k", "changed"));
    EXPECT_FALSE(lockedFile.deleteSection("w"));
    EXPECT_EQ(readBytes(locked), "[s]\r\nk=v\r\n[w]\r\nx=1\r\n");
    struct stat st {};
    ASSERT_EQ(stat(locked.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
}

TEST_F(ConfigFileTest, ConcurrentWritersLoseNoUpdate)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([this, t] {
            for (int i = 0; i < 25; ++i)
                config.write("s" + std::to_string(t), "k" + std::to_string(i), std::to_string(t * 100 + i));
        });
    for (auto& th : threads)
        th.join();
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 25; ++i)
            EXPECT_EQ(config.read("s" + std::to_string(t), "k" + std::to_string(i)), std::to_string(t * 100 + i));
}

TEST_F(ConfigFileTest, WritersOfSeparateHandlesOrProcessesLoseNoUpdate)
{
    // Two copies of the program (or two handles in one) share the file: every
    // write reads, changes and replaces the whole file, so they must take turns.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ConfigFile other(path);
        for (int i = 0; i < 60; ++i)
            other.write("child", "k" + std::to_string(i), std::to_string(i));
        _exit(0);
    }
    std::thread second([this] {
        ConfigFile other(path);
        for (int i = 0; i < 60; ++i)
            other.write("thread", "k" + std::to_string(i), std::to_string(i));
    });
    for (int i = 0; i < 60; ++i)
        config.write("parent", "k" + std::to_string(i), std::to_string(i));
    second.join();
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    for (const char* section : {"child", "thread", "parent"})
        for (int i = 0; i < 60; ++i)
            EXPECT_EQ(config.read(section, "k" + std::to_string(i)), std::to_string(i)) << section << i;
    EXPECT_EQ(entries(), std::vector<std::string>{"配置.ini"});
}

} // namespace

// A writer killed between writing its copy and renaming it leaves the copy
// behind; the next change (or unchanged save) under the lock removes it, and
// nothing else beside the file.
TEST_F(ConfigFileTest, CopiesLeftByAKilledWriterGoAtTheNextSave)
{
    ASSERT_TRUE(config.write(gbk("加载数据"), gbk("是否全部加载"), gbk("真")));
    const std::vector<std::string> kept = {"配置.ini.backup", "配置.ini.saving-ab12", "配置.ini.saving-ab12cd3",
                                           "配置.ini.saving-ab.2c3", "其它.ini.saving-ab12c3"};
    for (const std::string& name : kept)
        writeBytes(dir.file(name), "mine");
    writeBytes(dir.file("配置.ini.saving-Ab12c3"), "[加载数据]\r\n是否");
    ::mkdir(dir.file("配置.ini.saving-dir123").c_str(), 0700);

    // Unchanged: nothing is written, the stale copy goes all the same.
    ASSERT_TRUE(config.replaceSection(gbk("加载数据"), {{gbk("是否全部加载"), gbk("真")}}));
    std::vector<std::string> names = entries();
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected = kept;
    expected.push_back("配置.ini");
    expected.push_back("配置.ini.saving-dir123");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
    EXPECT_EQ(readBytes(path), gbk("[加载数据]\r\n是否全部加载=真\r\n"));
}
