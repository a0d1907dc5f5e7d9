// The private-profile engine on real files: exact bytes written, reading rules, refusals.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "lang/Language.h"
#include "platform/IniFile.h"
#include "tests/ReadOnlyFolder.h"
#include "tests/TempFolder.h"

namespace fs = std::filesystem;

namespace {

class IniFileTest : public ::testing::Test {
  protected:
    void Put(const std::string& content) { WriteBytes(path_, content); }
    std::string Content() const { return ReadBytes(path_); }
    std::optional<std::string> Read(const std::string& section, const std::string& key) const {
        const std::optional<IniFile> file = IniFile::Open(path_);
        if (!file) {
            return std::nullopt;
        }
        return file->Read(section, key);
    }
    bool Write(const std::string& section, const std::string& key, const std::string& value) {
        std::optional<IniFile> file = IniFile::Open(path_);
        return file && file->Write(section, key, value);
    }
    int EntriesInFolder() const {
        return static_cast<int>(std::distance(fs::directory_iterator(folder_), {}));
    }

    const TempFolder temp_{"ostrevan-ini"};
    const fs::path& folder_ = temp_.Path();
    const std::string path_ = (folder_ / "test.ini").string();
};

TEST_F(IniFileTest, SnapshotIndexGrowsInItsFixedFormat) {
    Put("[GENERAL]\r\nNO=1\r\n \r\n[DATES]\r\n");
    for (int n = 1; n <= 3; ++n) {
        ASSERT_TRUE(Write("GENERAL", "NO", std::to_string(n)));
        ASSERT_TRUE(
            Write("DATES", std::to_string(n), "6.12.2026;15:42:2" + std::to_string(n) + ";3"));
    }
    EXPECT_EQ(Content(),
              "[GENERAL]\r\nNO=3\r\n \r\n[DATES]\r\n"
              "1=6.12.2026;15:42:21;3\r\n2=6.12.2026;15:42:22;3\r\n3=6.12.2026;15:42:23;3\r\n");
    EXPECT_EQ(Read("dates", "2"), "6.12.2026;15:42:22;3");
}

TEST_F(IniFileTest, ExistingKeyIsReplacedInPlaceAndOtherLinesStayExactly) {
    Put("; kept comment\r\n\r\n[GENERAL]\r\n\r\nSOURCE=/old\r\n  subfolders = TRUE  \r\n\r\n"
        "junk line\r\n[FILTERS]\r\nBYSIZE=5\r\n");
    ASSERT_TRUE(Write("general", "Subfolders", "FALSE"));
    ASSERT_TRUE(Write("GENERAL", "SOURCE", "/new path"));
    EXPECT_EQ(Content(),
              "; kept comment\r\n\r\n[GENERAL]\r\n\r\nSOURCE=/new path\r\nsubfolders=FALSE\r\n\r\n"
              "junk line\r\n[FILTERS]\r\nBYSIZE=5\r\n");
}

TEST_F(IniFileTest, NewKeyGoesBelowTheLastKeyOfItsSectionBeforeTrailingBlankLines) {
    Put("[GENERAL]\r\nSOURCE=/a\r\n; note\r\n\r\n\r\n[FILTERS]\r\nBYSIZE=5\r\n");
    ASSERT_TRUE(Write("GENERAL", "DESTINATION", "/store"));
    EXPECT_EQ(Content(),
              "[GENERAL]\r\nSOURCE=/a\r\nDESTINATION=/store\r\n; note\r\n\r\n\r\n"
              "[FILTERS]\r\nBYSIZE=5\r\n");

    // A section without keys gets the new key directly under its header.
    Put("[EMPTY]\r\n\r\n[OTHER]\r\nK=1\r\n");
    ASSERT_TRUE(Write("EMPTY", "NEW", "v"));
    EXPECT_EQ(Content(), "[EMPTY]\r\nNEW=v\r\n\r\n[OTHER]\r\nK=1\r\n");
}

TEST_F(IniFileTest, MissingSectionIsAppendedAtTheEnd) {
    Put("[GENERAL]\r\nSOURCE=/a");  // last line without its line end
    ASSERT_TRUE(Write("FILTERS", "BYEXT", ".tmp"));
    EXPECT_EQ(Content(), "[GENERAL]\r\nSOURCE=/a\r\n[FILTERS]\r\nBYEXT=.tmp\r\n");

    Put("");
    ASSERT_TRUE(Write("S", "K", "V"));
    EXPECT_EQ(Content(), "[S]\r\nK=V\r\n");

    Put("\xEF\xBB\xBF");  // only a byte order mark
    ASSERT_TRUE(Write("S", "K", "V"));
    EXPECT_EQ(Content(), "\xEF\xBB\xBF[S]\r\nK=V\r\n");

    // A new key after a last key line that has no line end.
    Put("[S]\nA=1");
    ASSERT_TRUE(Write("S", "B", "2"));
    EXPECT_EQ(Content(), "[S]\nA=1\r\nB=2\r\n");
}

TEST_F(IniFileTest, FirstSectionAndFirstKeyCountForReadingAndWriting) {
    Put("[A]\r\nK=first\r\nK=second\r\n[B]\r\nX=1\r\n[a]\r\nK=third\r\nONLY=later\r\n");
    EXPECT_EQ(Read("A", "K"), "first");
    EXPECT_EQ(Read("A", "ONLY"), std::nullopt);
    ASSERT_TRUE(Write("A", "K", "new"));
    ASSERT_TRUE(Write("A", "ONLY", "here"));
    EXPECT_EQ(
        Content(),
        "[A]\r\nK=new\r\nK=second\r\nONLY=here\r\n[B]\r\nX=1\r\n[a]\r\nK=third\r\nONLY=later\r\n");
}

TEST_F(IniFileTest, ValuesAreTrimmedAndOnePairOfMatchingQuotesRemoved) {
    Put("[V]\r\n"
        "  spaced  =   a b  \t\r\n"
        "dq=\"  in quotes \"\r\n"
        "sq='x'\r\n"
        "twice=\"\"y\"\"\r\n"
        "mixed=\"z'\r\n"
        "lone=\"\r\n"
        "empty=\r\n"
        "emptyq=''\r\n"
        "eq=a=b\r\n"
        "two=\" 2\"\r\n");
    EXPECT_EQ(Read("V", "SPACED"), "a b");
    EXPECT_EQ(Read("V", "dq"), "  in quotes ");
    EXPECT_EQ(Read("V", "sq"), "x");
    EXPECT_EQ(Read("V", "twice"), "\"y\"");
    EXPECT_EQ(Read("V", "mixed"), "\"z'");
    EXPECT_EQ(Read("V", "lone"), "\"");
    EXPECT_EQ(Read("V", "empty"), "");
    EXPECT_EQ(Read("V", "emptyq"), "");
    EXPECT_EQ(Read("V", "eq"), "a=b");
    EXPECT_EQ(Read("V", "two"), " 2");
    EXPECT_EQ(Read("V", "absent"), std::nullopt);
    EXPECT_EQ(Read("NOSECTION", "empty"), std::nullopt);
}

TEST_F(IniFileTest, LongValuesAreCutTo2047Characters) {
    const std::string longValue(3000, 'x');
    Put("[L]\r\nK=" + longValue + "\r\n");
    EXPECT_EQ(Read("L", "K"), std::string(2047, 'x'));

    // The cut never leaves half of a two-byte character behind.
    const std::string accented = std::string(2046, 'a') + "\xC3\xA9" + "tail";
    Put("[L]\r\nK=" + accented + "\r\n");
    EXPECT_EQ(Read("L", "K"), std::string(2046, 'a'));

    // A long value is written whole.
    Put("[L]\r\n");
    ASSERT_TRUE(Write("L", "K", longValue));
    EXPECT_EQ(Content(), "[L]\r\nK=" + longValue + "\r\n");
}

TEST_F(IniFileTest, OtherLinesAreIgnoredWhenReading) {
    Put("K=before any section\r\n[S]\r\nno equals sign\r\n[broken\r\n  \r\n;K=comment\r\nK=ok\r\n");
    EXPECT_EQ(Read("S", "K"), "ok");
    EXPECT_EQ(Read("S", "no equals sign"), std::nullopt);
    EXPECT_EQ(Read("", "K"), std::nullopt);
}

TEST_F(IniFileTest, NamesFoldOnlyAsciiLetters) {
    Put("[Sekce\xC3\x89]\r\nkl\xC3\xAD\xC4\x8D=1\r\nMixedCase=2\r\n");
    EXPECT_EQ(Read("SEKCE\xC3\x89", "kl\xC3\xAD\xC4\x8D"), "1");
    EXPECT_EQ(Read("sekce\xC3\x89", "MIXEDCASE"), "2");
    EXPECT_EQ(Read("SEKCE\xC3\xA9", "MIXEDCASE"), std::nullopt);  // é is not É
}

TEST_F(IniFileTest, LfOnlyFilesAndByteOrderMarkAreRead) {
    Put("\xEF\xBB\xBF[GENERAL]\nSOURCE=/lf only\n\n[FILTERS]\nBYSIZE=7\n");
    EXPECT_EQ(Read("GENERAL", "SOURCE"), "/lf only");
    EXPECT_EQ(Read("FILTERS", "BYSIZE"), "7");
    ASSERT_TRUE(Write("GENERAL", "SUBFOLDERS", "TRUE"));
    EXPECT_EQ(Content(),
              "\xEF\xBB\xBF[GENERAL]\nSOURCE=/lf only\nSUBFOLDERS=TRUE\r\n\n[FILTERS]\nBYSIZE=7\n");
}

TEST_F(IniFileTest, NonUtf8BytesPassThroughUntouched) {
    const std::string latin1 = "/home/u/\xE9t\xE9\xFF\x80";
    Put("[GENERAL]\r\nSOURCE=" + latin1 + "\r\n\xFE\xFE junk\r\n");
    EXPECT_EQ(Read("GENERAL", "SOURCE"), latin1);
    ASSERT_TRUE(Write("GENERAL", "DESTINATION", latin1 + "\xC3"));
    EXPECT_EQ(Content(), "[GENERAL]\r\nSOURCE=" + latin1 + "\r\nDESTINATION=" + latin1 +
                             "\xC3\r\n\xFE\xFE junk\r\n");
    EXPECT_EQ(Read("GENERAL", "DESTINATION"), latin1 + "\xC3");
}

TEST_F(IniFileTest, MissingFileAndDirectoryReadAsMissingAndAreNeverCreated) {
    EXPECT_FALSE(IniFile::Open(path_).has_value());
    EXPECT_FALSE(WriteIniValue("S", "K", "V", path_));
    EXPECT_FALSE(fs::exists(path_));
    EXPECT_EQ(ReadIniValue("S", "K", path_), "PARROR: L1: language error");

    fs::create_directory(path_);
    EXPECT_FALSE(IniFile::Open(path_).has_value());
    EXPECT_EQ(ReadIniValue("S", "K", path_), "PARROR: L1: language error");
    EXPECT_FALSE(WriteIniValue("S", "K", "V", path_));
    EXPECT_TRUE(fs::is_directory(path_));
    EXPECT_EQ(EntriesInFolder(), 1);
}

TEST_F(IniFileTest, ValueWithLineBreakIsRefusedAndChangesNothing) {
    const std::string original = "[GENERAL]\r\nSOURCE=/a\r\n";
    Put(original);
    EXPECT_FALSE(Write("GENERAL", "SOURCE", "/b\r\n[EVIL]\r\nX=1"));
    EXPECT_FALSE(Write("GENERAL", "SOURCE", "/b\nX=1"));
    EXPECT_FALSE(Write("GENERAL", "SOURCE", "/b\r"));
    EXPECT_FALSE(Write("GEN\nERAL", "SOURCE", "/b"));
    EXPECT_FALSE(Write("GENERAL", "A=B", "/b"));
    EXPECT_EQ(Content(), original);
}

TEST_F(IniFileTest, WriteFailsWhenTheFileWasReplacedByAFolder) {
    Put("[S]\r\nK=1\r\n");
    std::optional<IniFile> file = IniFile::Open(path_);
    ASSERT_TRUE(file.has_value());
    fs::remove(path_);
    EXPECT_FALSE(file->Write("S", "K", "2"));
    EXPECT_FALSE(fs::exists(path_));
    fs::create_directory(path_);
    EXPECT_FALSE(file->Write("S", "K", "2"));
    EXPECT_TRUE(fs::is_directory(path_));
    EXPECT_EQ(EntriesInFolder(), 1);  // no temporary file left behind
}

TEST_F(IniFileTest, WriteKeepsPermissionsAndLeavesNoTemporaryFile) {
    Put("[S]\r\nK=1\r\n");
    fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(Write("S", "K", "2"));
    EXPECT_EQ(fs::status(path_).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(EntriesInFolder(), 1);
    EXPECT_EQ(Content(), "[S]\r\nK=2\r\n");
}

TEST_F(IniFileTest, WriteThroughSymbolicLinkUpdatesTheTarget) {
    const std::string target = (folder_ / "real.ini").string();
    WriteBytes(target, "[S]\r\nK=1\r\n");
    fs::create_symlink(target, path_);
    ASSERT_TRUE(Write("S", "K", "2"));
    EXPECT_TRUE(fs::is_symlink(path_));
    EXPECT_EQ(ReadBytes(target), "[S]\r\nK=2\r\n");
}

TEST_F(IniFileTest, WriteOnReadOnlyMountIsRefused) {
    const fs::path mounted = folder_ / "ro";
    fs::create_directory(mounted);
    const std::string path = (mounted / "Settings.ini").string();
    WriteBytes(path, "[S]\r\nK=1\r\n");
    if (::mount(mounted.c_str(), mounted.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        GTEST_SKIP() << "bind mounts are not permitted here";
    }
    if (::mount(nullptr, mounted.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) !=
        0) {
        ::umount(mounted.c_str());
        GTEST_SKIP() << "read-only remount is not permitted here";
    }
    const bool written = WriteIniValue("S", "K", "2", path);
    const std::string after = ReadBytes(path);
    ::umount(mounted.c_str());
    EXPECT_FALSE(written);
    EXPECT_EQ(after, "[S]\r\nK=1\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(mounted), {}), 1);
}

TEST_F(IniFileTest, CrLfAndCrLfAloneAllEndLinesAndAWriteNeverGluesOntoTheLastLine) {
    // A last line ended by a lone CR: the new key goes on a line of its own.
    Put("[DATES]\r\n1=a\r\n2=b\r");
    ASSERT_TRUE(Write("DATES", "3", "c"));
    EXPECT_EQ(Content(), "[DATES]\r\n1=a\r\n2=b\r3=c\r\n");
    EXPECT_EQ(Read("DATES", "2"), "b");
    EXPECT_EQ(Read("DATES", "3"), "c");

    // An index with CR alone between its lines is read whole and extended in place, not
    // given a second NO and DATES.
    Put("[GENERAL]\rNO=2\r \r[DATES]\r1=x\r2=y\r");
    EXPECT_EQ(Read("GENERAL", "NO"), "2");
    EXPECT_EQ(Read("DATES", "2"), "y");
    ASSERT_TRUE(Write("GENERAL", "NO", "3"));
    ASSERT_TRUE(Write("DATES", "3", "z"));
    EXPECT_EQ(Content(), "[GENERAL]\rNO=3\r\n \r[DATES]\r1=x\r2=y\r3=z\r\n");

    // LF CR is two line ends with an empty line between; a new section after a last line
    // without any line end starts on a line of its own, after a lone CR it needs none.
    Put("[S]\n\rK=1");
    EXPECT_EQ(Read("S", "K"), "1");
    ASSERT_TRUE(Write("T", "A", "2"));
    EXPECT_EQ(Content(), "[S]\n\rK=1\r\n[T]\r\nA=2\r\n");
    Put("[S]\rK=1\r");
    ASSERT_TRUE(Write("T", "A", "2"));
    EXPECT_EQ(Content(), "[S]\rK=1\r[T]\r\nA=2\r\n");
}

TEST_F(IniFileTest, NulEndsNamesAndValuesSectionsRunToTheLastBracketAndCtrlZIsATrailingBlank) {
    const char content[] =
        "[S]\r\nk=a\0b\r\nk2\0x=v\r\n[A]B] \r\nK=2\r\n[C\0D]\r\nK=3\r\n"
        "Z=v \x1A\x1A\r\nQ=\"q\"\x1A\r\nM=a\x1A"
        "b\r\n\x1AL=lead\r\n";
    Put(std::string(content, sizeof content - 1));
    EXPECT_EQ(Read("S", "k"), "a");
    EXPECT_EQ(Read("S", "k2"), "v");
    EXPECT_EQ(Read("A]B", "K"), "2");
    EXPECT_EQ(Read("A", "K"), std::nullopt);
    EXPECT_EQ(Read("C", "K"), "3");
    EXPECT_EQ(Read("C", "Z"), "v");
    EXPECT_EQ(Read("C", "Q"), "q") << "Ctrl-Z goes before the quotes are looked at";
    EXPECT_EQ(Read("C", "M"),
              "a\x1A"
              "b")
        << "only at the end of a value";
    EXPECT_EQ(Read("C", "\x1AL"), "lead") << "not a blank in a name";

    // A NUL would not read back, so it is refused like a line break.
    const std::string before = Content();
    EXPECT_FALSE(Write("S", "k", std::string("x\0y", 3)));
    EXPECT_FALSE(Write("S", std::string("k\0", 2), "x"));
    EXPECT_EQ(Content(), before);
}

TEST_F(IniFileTest, SeveralKeysAreWrittenAllInOneReplacementOrNoneAtAll) {
    const std::string original = "[GENERAL]\r\nSOURCE=/a\r\nSUBFOLDERS=FALSE\r\n";
    Put(original);
    const std::vector<TIniValue> refused = {
        {"SOURCE", "/b"}, {"SUBFOLDERS", "TRUE"}, {"DESTINATION", "/s\r\n[EVIL]"}};
    EXPECT_FALSE(WriteIniValues("GENERAL", refused, path_));
    EXPECT_EQ(Content(), original);

    ASSERT_TRUE(WriteIniValues("GENERAL", {{"SOURCE", "/b"}, {"DESTINATION", "/s"}}, path_));
    EXPECT_EQ(Content(), "[GENERAL]\r\nSOURCE=/b\r\nSUBFOLDERS=FALSE\r\nDESTINATION=/s\r\n");
    EXPECT_EQ(EntriesInFolder(), 1);
}

// A read-only folder (bound read-only onto itself) holding a writable file (a file bound over
// the one in it): no temporary file can be made beside it, so the write goes in place.
TEST_F(IniFileTest, WriteIntoAReadOnlyFoldersWritableFileGoesInPlace) {
    const fs::path shared = folder_ / "shared";
    fs::create_directory(shared);
    const std::string path = (shared / "Settings.ini").string();
    WriteBytes(path, "old");
    const std::string writable = (folder_ / "writable.ini").string();
    WriteBytes(writable, "[GENERAL]\r\nSOURCE=/a long old value\r\n");
    const TReadOnlyFolderWithWritableFile mounted(shared, "Settings.ini", writable);
    if (!mounted.Error().empty()) {
        GTEST_SKIP() << mounted.Error();
    }

    EXPECT_TRUE(WriteIniValues("GENERAL", {{"SOURCE", "/b"}, {"SUBFOLDERS", "TRUE"}}, path));
    EXPECT_EQ(ReadBytes(path), "[GENERAL]\r\nSOURCE=/b\r\nSUBFOLDERS=TRUE\r\n")
        << "the old, longer content is cut off";
    EXPECT_EQ(std::distance(fs::directory_iterator(shared), {}), 1);
}

}  // namespace
