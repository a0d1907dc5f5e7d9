// The store panel on a real store: its figures against the test's own count, the rules saved
// into Settings.ini and applied, the clean-up and what it freed, the recovery panel listing what
// is left under the original numbers, and the time to measure a store of 100,000 snapshots.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "core/StoreWarning.h"
#include "store/KeepingRules.h"
#include "store/SnapshotIndex.h"
#include "tests/DiskTestSupport.h"
#include "tests/ui/UiFixture.h"
#include "ui/RecoveryPanel.h"
#include "ui/SideBar.h"
#include "ui/SpinEdit.h"
#include "ui/StorePanel.h"

namespace {

namespace fs = std::filesystem;
using namespace disk_test;

void WriteBytes(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

class StorePanel : public UiFixture {
  protected:
    fs::path Watched;
    fs::path Store;
    fs::path SettingsFile;
    Panel7* Panel = nullptr;
    std::vector<QString> Notices;

    void SetUp() override {
        UiFixture::SetUp();
        Watched = Root / "watched";
        Store = Root / "store";
        fs::create_directories(Watched);
        fs::create_directories(Store);
        SettingsFile = Program / "Settings/Settings.ini";
        InstallLanguageFile();
        PublishKeepingRules({}, {});
    }
    void TearDown() override {
        PublishKeepingRules({}, {});
        SetStoreShortOfSpace(false);
        UiFixture::TearDown();
    }

    void StartProgram(const std::string& storeSection = "") {
        WriteBytes(SettingsFile,
                   "[GENERAL]\r\nSOURCE=" + Watched.string() +
                       "\r\nSUBFOLDERS=FALSE\r\nDESTINATION=" + Store.string() +
                       "\r\nSKIPLIKETASKS=FALSE\r\n[FILTERS]\r\nBYSIZE=100000\r\nBYEXT=" +
                       "\r\nBYEXTMODE=2\r\n" + storeSection);
        TGUI_Form& form = CreateForm();
        ConnectWindowHooks(form);
        Panel = form.panel7();
        Panel->SetSaveFailureNotice(
            [this](QWidget*, const QString& text) { Notices.push_back(text); });
        ReloadSettings();
    }

    // A file's snapshots made as the store does, each with its own content.
    void MakeSnapshots(const std::string& name, int count, size_t size = 5000) {
        const std::string folder = (Store / name).string();
        for (int n = 0; n < count; ++n) {
            WriteBytes(NewSnapshot(folder, 3), std::string(size, static_cast<char>('a' + n)));
        }
    }

    // Opens the store panel through its side-bar button and waits for its figures.
    void OpenStorePanel() {
        QTest::mouseClick(Form->mxOutlookBar->Header(1), Qt::LeftButton);
        QToolButton* button = Find<QToolButton>("OutButton2_3");
        ASSERT_TRUE(button->isVisible());
        QTest::mouseClick(button, Qt::LeftButton);
        ASSERT_EQ(Form->ShownPanel(), 7);
        ASSERT_TRUE(WaitFor([this] { return !Panel->StoreWorkPending(); }));
    }

    void Type(TSpinEdit* field, const QString& text) {
        field->SetText("");
        field->setFocus();
        QTest::keyClicks(field, text);
    }

    std::vector<int> RecoveryList(const std::string& name) {
        Panel4* recovery = Form->panel4();
        recovery->Edit4_1->setText(QString::fromStdString((Watched / name).string()));
        recovery->ShowSNAPSHOTS(recovery->Edit4_1->text());
        std::vector<int> numbers;
        for (int i = 0; i < recovery->ComboBoxEx4_1->count(); ++i) {
            numbers.push_back(recovery->ComboBoxEx4_1->itemData(i).toInt());
        }
        return numbers;
    }

    // The panel, saved as a picture into the folder OSTREVAN_SCREENS names (when set).
    void SaveScreen(const char* file) {
        const char* folder = std::getenv("OSTREVAN_SCREENS");
        if (folder != nullptr) {
            QApplication::processEvents();
            Form->grab().save(QString::fromLocal8Bit(folder) + "/" + file);
        }
    }
};

TEST_F(StorePanel, FiguresMatchTheTestsOwnCount) {
    MakeSnapshots("a.txt", 3);
    MakeSnapshots("sub/b.txt", 2, 300000);
    fs::create_hard_link(Store / "sub/b.txt/SnapShot.2", Store / "sub/b.txt/SnapShot.3");
    StartProgram();
    OpenStorePanel();
    const TCount count = CountStore(Store);
    EXPECT_EQ(Panel->Edit7_1->text().toStdString(), Store.string());
    EXPECT_EQ(Panel->Edit7_2->text(), ByteText(count.DiskBytes));
    EXPECT_EQ(Panel->Edit7_4->text(), QString::number(count.Files.size()));
    EXPECT_EQ(Panel->Edit7_5->text(), QString::number(count.Snapshots));
    EXPECT_EQ(Panel->Edit7_5->text(), "6");
    EXPECT_FALSE(Panel->Edit7_3->text().isEmpty());
    EXPECT_EQ(Panel->SpinEdit7_1->text(), "0");  // every rule off
    SaveScreen("store-panel.png");

    EXPECT_EQ(ByteText(999), "1 kB");
    EXPECT_EQ(ByteText(1'250'000), "1.3 MB");
    EXPECT_EQ(ByteText(2'500'000'000), "2.5 GB");
}

TEST_F(StorePanel, SavedRulesAreWrittenAppliedAndTheRecoveryPanelListsTheRest) {
    MakeSnapshots("a.txt", 5);
    MakeSnapshots("b.txt", 1);
    StartProgram();
    OpenStorePanel();
    Type(Panel->SpinEdit7_1, "2");
    Type(Panel->SpinEdit7_2, "30");
    Type(Panel->SpinEdit7_3, "");  // empty: off
    QTest::mouseClick(Panel->Button7_2, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([this] { return !Panel->StoreWorkPending(); }));
    const std::string saved = ReadBytes(SettingsFile);
    EXPECT_NE(saved.find("[STORE]\r\nKEEPCOUNT=2\r\nKEEPDAYS=30\r\nKEEPMB=0\r\n"),
              std::string::npos)
        << saved;
    EXPECT_EQ(RunSettings.KEEPCOUNT, 2);
    EXPECT_EQ(RunSettings.KEEPDAYS, 30);
    EXPECT_EQ(RunSettings.KEEPMB, 0);
    EXPECT_EQ(Panel->Edit7_5->text(), "3");
    EXPECT_EQ(RecoveryList("a.txt"), (std::vector<int>{4, 5}));
    EXPECT_EQ(RecoveryList("b.txt"), (std::vector<int>{1}));
    EXPECT_TRUE(Notices.empty());

    // A value that is no whole number from 0 up writes nothing.
    Type(Panel->SpinEdit7_2, "-4");
    QTest::mouseClick(Panel->Button7_2, Qt::LeftButton);
    EXPECT_EQ(ReadBytes(SettingsFile), saved);
    EXPECT_EQ(Panel->Label7_13->toolTip().toStdString(), LanguageText("PANEL7", "INVALID", "GUI"));
}

TEST_F(StorePanel, CleanUpNowSaysWhatItFreed) {
    MakeSnapshots("a.txt", 4, 100000);
    StartProgram();
    OpenStorePanel();
    // A rule comes into force from Settings.ini without a batch running it yet.
    std::ofstream(SettingsFile, std::ios::app) << "[STORE]\r\nKEEPCOUNT=1\r\n";
    ReloadSettings();
    Panel->LoadSettings();  // measuring is no batch: it removes nothing
    ASSERT_TRUE(WaitFor([this] { return !Panel->StoreWorkPending(); }));
    EXPECT_EQ(Panel->Edit7_5->text(), "4");
    EXPECT_EQ(Panel->SpinEdit7_1->text(), "1");
    const std::int64_t before = CountStore(Store).DiskBytes;
    QTest::mouseClick(Panel->Button7_1, Qt::LeftButton);
    EXPECT_FALSE(Panel->Button7_1->isEnabled());
    ASSERT_TRUE(WaitFor([this] { return !Panel->StoreWorkPending(); }));
    EXPECT_TRUE(Panel->Button7_1->isEnabled());
    const std::int64_t freed = before - CountStore(Store).DiskBytes;
    EXPECT_EQ(RecoveryList("a.txt"), (std::vector<int>{4}));
    EXPECT_EQ(Panel->Edit7_5->text(), "1");
    SaveScreen("store-panel-cleaned.png");
    EXPECT_GT(freed, 300000);
    EXPECT_EQ(Panel->Label7_13->toolTip(),
              QString("Freed %1 (3 snapshots removed).").arg(ByteText(freed)));
    const auto records = LogRecords();
    EXPECT_EQ(std::count_if(records.begin(), records.end(),
                            [](const TLogLine& r) { return r.Code == 18; }),
              3);
}

TEST_F(StorePanel, CleanUpWithEveryRuleOffSaysSo) {
    MakeSnapshots("a.txt", 2);
    StartProgram();
    OpenStorePanel();
    QTest::mouseClick(Panel->Button7_1, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([this] { return !Panel->StoreWorkPending(); }));
    EXPECT_EQ(Panel->Label7_13->toolTip().toStdString(), LanguageText("PANEL7", "NORULES", "GUI"));
    EXPECT_EQ(Panel->Edit7_5->text(), "2");
}

TEST_F(StorePanel, AStoreOfAHundredThousandSnapshotsIsMeasuredInUnderTwoSeconds) {
    // 1000 files of 100 snapshots, each file's versions identical and so sharing one copy
    // (links are made far faster than files here; the measuring looks at every name either way).
    for (int file = 0; file < 1000; ++file) {
        const fs::path folder = Store / ("doc" + std::to_string(file) + ".txt");
        fs::create_directories(folder);
        std::ofstream(folder / "SnapShot.1") << file;
        for (int n = 2; n <= 100; ++n) {
            fs::create_hard_link(folder / "SnapShot.1", folder / ("SnapShot." + std::to_string(n)));
        }
    }
    StartProgram();
    const auto start = std::chrono::steady_clock::now();
    OpenStorePanel();
    const auto took = std::chrono::steady_clock::now() - start;
    const double seconds = std::chrono::duration<double>(took).count();
    std::printf("store of 100000 snapshots measured and shown in %.2f s\n", seconds);
    EXPECT_EQ(Panel->Edit7_5->text(), "100000");
    EXPECT_EQ(Panel->Edit7_4->text(), "1000");
    EXPECT_LT(seconds, 2.0);

    // The rules read the same store once per batch: with nothing to remove, as long as a measure.
    const auto rulesStart = std::chrono::steady_clock::now();
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::system_clock::now().time_since_epoch());
    EXPECT_EQ(ApplyKeepingRules(Store.string(), {100, 3650, 100000}, now.count()).Removed, 0);
    const double rulesSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - rulesStart).count();
    std::printf("keeping rules over 100000 snapshots, none removed: %.2f s\n", rulesSeconds);
    EXPECT_LT(rulesSeconds, 2.0);
}

// The store on a small disk: a save larger than its room is refused with its log line and the
// tray's warning, and the program goes on snapshotting smaller files.
TEST_F(StorePanel, ASaveTheStoresDiskHasNoRoomForShowsTheWarningAndTheProgramGoesOn) {
    const TSmallDisk disk(Store, "4m");
    if (!disk.Mounted()) {
        GTEST_SKIP() << "mounting a small tmpfs is not permitted here";
    }
    StartProgram();
    ASSERT_TRUE(WaitFor([this] { return Form->TrayImageIndex() == 0; }));
    WriteBytes(Watched / "big.bin", std::string(5 * 1024 * 1024, 'b'));
    ASSERT_TRUE(WaitFor([this] { return Form->TrayImageIndex() == 4; }));
    WriteBytes(Watched / "small.txt", "still kept");
    ASSERT_TRUE(WaitFor([this] { return fs::exists(Store / "small.txt/SnapShot.1"); }));
    ASSERT_TRUE(WaitForStoreIdle(std::chrono::seconds(10)));
    EXPECT_FALSE(fs::exists(Store / "big.bin/SnapShot.1"));
    const auto records = LogRecords();
    const auto refused = std::find_if(records.begin(), records.end(),
                                      [](const TLogLine& r) { return r.Code == 19; });
    ASSERT_NE(refused, records.end());
    EXPECT_EQ(refused->FileText, (Watched / "big.bin").string());
    EXPECT_TRUE(WaitFor([this] { return Form->TrayImageIndex() == 4; }));  // still short
}
