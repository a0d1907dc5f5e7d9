// Which names are transient, and which record sequences of one batch are one save.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <ostream>

#include "watch/SaveMerging.h"
#include "watch/TransientNames.h"

// Found by argument lookup, so beside ChangeRecord.
static bool operator==(const ChangeRecord& a, const ChangeRecord& b) {
    return a.Action == b.Action && a.Name == b.Name;
}
static void PrintTo(const ChangeRecord& record, std::ostream* out) {
    *out << "{" << record.Action << ", " << record.Name << "}";
}

namespace {

using Records = std::vector<ChangeRecord>;

Records Merged(const Records& batch, const std::vector<std::string>& folders = {}) {
    const TSaveMergeRules rules{IsTransientName,
                                [&](const std::string& name) {
                                    return std::find(folders.begin(), folders.end(), name) !=
                                           folders.end();
                                },
                                [](const std::string& name) { return name.rfind(".own", 0) == 0; }};
    return MergeSavesThroughSecondFiles(batch, rules);
}

TEST(TransientNames, LockSwapProbeBackupAndPartialFilesAndVersionControlFolders) {
    for (const char* name :
         {".~lock.report.odt#", "sub/.~lock.a b.xlsx#", "~$report.docx", ".doc.txt.swp",
          ".doc.txt.swx", "notes.kate-swp", ".#doc.txt", "4913", "sub/4913", "doc.txt~",
          "film.mkv.part", "setup.exe.crdownload", ".git", ".git/index", "src/.git/objects/ab/cd",
          ".hg/store/data", "work/.svn/wc.db"}) {
        EXPECT_TRUE(IsTransientName(name)) << name;
    }
    for (const char* name :
         {"doc.txt", "report.odt", ".goutputstream-ABC123", "sedXyZ123", ".doc.txt.Ab12Cd",
          "lu1234.tmp", "49134", "4913/doc.txt", "my.git", ".gitignore", "a.git/x", "~lock", "part",
          "doc.swp.txt", ".lock.doc#", "git/x"}) {
        EXPECT_FALSE(IsTransientName(name)) << name;
    }
}

TEST(TransientNames, HelpPageOnExceptionsShowsEveryNameOfTheTable) {
    std::ifstream in(std::string(OSTREVAN_SOURCE_DIR) + "/install/Language/HELP/general.htm");
    const std::string page{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(page.empty());
    for (const TTransientPattern& pattern : TransientPatterns()) {
        EXPECT_NE(page.find("<code>" + pattern.Mask + "</code>"), std::string::npos)
            << pattern.Mask;
    }
    EXPECT_NE(page.find("SKIPTRANSIENT=FALSE"), std::string::npos);
}

TEST(SaveMerging, TemporaryFileRenamedOverTheDocumentIsOneModification) {
    // As sed -i and rsync save: create, write, close, rename.
    EXPECT_EQ(Merged({{1, "sedAb12"}, {3, "sedAb12"}, {4, "sedAb12"}, {5, "doc.txt"}}),
              Records({{3, "doc.txt"}}));
    // As gio saves: the document opened for writing meanwhile, the temporary file closed only
    // after the rename (so under the document's name).
    EXPECT_EQ(Merged({{1, ".goutputstream-X1"},
                      {3, "doc.txt"},
                      {4, ".goutputstream-X1"},
                      {5, "doc.txt"},
                      {3, "doc.txt"}}),
              Records({{3, "doc.txt"}, {3, "doc.txt"}}));
    // Other files' records keep their places.
    EXPECT_EQ(Merged({{3, "a"}, {1, "t"}, {3, "b"}, {4, "t"}, {5, "d"}, {2, "c"}}),
              Records({{3, "a"}, {3, "b"}, {3, "d"}, {2, "c"}}));
    // A transient temporary file merges too.
    EXPECT_EQ(Merged({{1, "d.part"}, {4, "d.part"}, {5, "d"}}), Records({{3, "d"}}));
}

TEST(SaveMerging, PreviousVersionRenamedToABackupAndWrittenAnewIsOneModification) {
    // As vim saves (its swap and probe files stay for the handling to leave out).
    const Records vim = {{1, "4913"},     {3, "4913"},    {2, "4913"},    {4, "doc.txt"},
                         {5, "doc.txt~"}, {1, "doc.txt"}, {3, "doc.txt"}, {2, "doc.txt~"}};
    EXPECT_EQ(Merged(vim), Records({{1, "4913"},
                                    {3, "4913"},
                                    {2, "4913"},
                                    {3, "doc.txt"},
                                    {3, "doc.txt"},
                                    {2, "doc.txt~"}}));
    // A rename to a name that is not a backup is a real rename.
    const Records renamed = {{4, "doc.txt"}, {5, "old.txt"}, {1, "doc.txt"}};
    EXPECT_EQ(Merged(renamed), renamed);
}

TEST(SaveMerging, RenamesThatAreNotSavesStayAsTheyAre) {
    const std::vector<Records> untouched = {
        // the temporary file was not made in this batch
        {{3, "t"}, {4, "t"}, {5, "d"}},
        // it was renamed in, not added
        {{4, "x"}, {5, "t"}, {4, "t"}, {5, "d"}},
        // it was removed and made again: not the simple sequence of one save
        {{1, "t"}, {2, "t"}, {4, "t"}, {5, "d"}},
        // a folder made and renamed, with a file inside it
        {{1, "t"}, {1, "t/f"}, {4, "t"}, {5, "d"}},
        // the backup rename without the document being made again
        {{4, "d"}, {5, "d~"}, {3, "e"}},
        // the document renamed in again instead of written anew
        {{4, "d"}, {5, "d~"}, {4, "x"}, {5, "d"}},
        // the program's own file
        {{1, ".own1"}, {4, ".own1"}, {5, "d"}},
    };
    for (const Records& batch : untouched) {
        EXPECT_EQ(Merged(batch), batch) << batch.size();
    }
    EXPECT_EQ(Merged({{1, "t"}, {4, "t"}, {5, "d"}}, {"d"}),
              Records({{1, "t"}, {4, "t"}, {5, "d"}}))
        << "a rename onto a folder";
    EXPECT_EQ(Merged({}), Records());
}

}  // namespace
