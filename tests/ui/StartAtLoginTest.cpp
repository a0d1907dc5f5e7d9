// Starting at login: the basic-settings box that adds and removes the autostart entry and shows
// its real state, the window's first appearance when started that way, and the single-instance
// request that brings a running window to the front.
#include <stdlib.h>

#include <QCheckBox>
#include <QPushButton>
#include <QSignalSpy>
#include <optional>

#include "core/Autostart.h"
#include "tests/ui/UiFixture.h"
#include "ui/SettingsPanels.h"
#include "ui/SingleInstance.h"
#include "ui/StartAtLogin.h"

namespace fs = std::filesystem;

class StartAtLogin : public UiFixture {
  protected:
    std::optional<std::string> SavedConfigHome;
    std::vector<QString> Notices;

    void SetUp() override {
        UiFixture::SetUp();
        if (const char* old = getenv("XDG_CONFIG_HOME")) {
            SavedConfigHome = old;
        }
        setenv("XDG_CONFIG_HOME", (Root / "config").c_str(), 1);
        InstallLanguageFile();
        std::ofstream(Program / "Settings/Settings.ini", std::ios::binary)
            << "[GENERAL]\r\nSOURCE=\r\nSUBFOLDERS=FALSE\r\nDESTINATION=\r\nSKIPLIKETASKS="
               "FALSE\r\n";
    }

    void TearDown() override {
        if (SavedConfigHome) {
            setenv("XDG_CONFIG_HOME", SavedConfigHome->c_str(), 1);
        } else {
            unsetenv("XDG_CONFIG_HOME");
        }
        UiFixture::TearDown();
    }

    fs::path Entry() const { return Root / "config/autostart/ostrevan.desktop"; }

    QCheckBox* OpenBasicSettings() {
        Form->UnLoadPanels();
        QTest::mouseClick(Find<QWidget>("OutButton1_1"), Qt::LeftButton);
        return Find<QCheckBox>("CheckBox1_3");
    }

    void Save() { QTest::mouseClick(Find<QPushButton>("Button1_3"), Qt::LeftButton); }
};

TEST_F(StartAtLogin, TheBoxAddsAndRemovesTheEntryAndShowsItsRealStateOnEveryOpening) {
    CreateForm();
    Form->panel1()->SetSaveFailureNotice(
        [this](QWidget*, const QString& text) { Notices.push_back(text); });
    QCheckBox* box = OpenBasicSettings();
    EXPECT_EQ(box->text(), "Start Ostrevan when I log in");
    EXPECT_FALSE(box->isChecked());

    // Ticking alone writes nothing: the save button does, like the panel's other boxes.
    box->click();
    EXPECT_FALSE(fs::exists(Entry()));
    Save();
    ASSERT_TRUE(fs::is_regular_file(Entry()));
    std::ifstream in(Entry());
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find("Exec=" + ExecutablePath() + " --autostart\n"), std::string::npos);
    EXPECT_TRUE(OpenBasicSettings()->isChecked());

    // Changes made outside the program show at the next opening.
    fs::remove(Entry());
    EXPECT_FALSE(OpenBasicSettings()->isChecked());
    std::ofstream(Entry()) << "[Desktop Entry]\nType=Application\nExec=ostrevan\nHidden=true\n";
    box = OpenBasicSettings();
    EXPECT_FALSE(box->isChecked());
    box->click();
    Save();
    EXPECT_TRUE(AutostartEnabled());
    EXPECT_TRUE(OpenBasicSettings()->isChecked());

    box = OpenBasicSettings();
    box->click();
    Save();
    EXPECT_FALSE(fs::exists(Entry()));
    EXPECT_FALSE(OpenBasicSettings()->isChecked());
    EXPECT_TRUE(Notices.empty());

    // An entry that cannot be written (a file where its folder must be) is named in a message.
    fs::remove_all(Root / "config");
    std::ofstream(Root / "config") << "not a folder";
    box = OpenBasicSettings();
    box->click();
    Save();
    ASSERT_EQ(Notices.size(), 1u);
    EXPECT_TRUE(Notices[0].contains(QString::fromStdString(Entry().string())));
}

TEST_F(StartAtLogin, TheBoxFitsBesideTheSaveButtonUnderTheOtherBox) {
    CreateForm();
    QCheckBox* box = OpenBasicSettings();
    const QRect saveButton = Find<QPushButton>("Button1_3")->geometry();
    const QRect otherBox = Find<QCheckBox>("CheckBox1_2")->geometry();
    EXPECT_EQ(box->parentWidget()->objectName(), "Panel1");
    EXPECT_FALSE(box->geometry().intersects(saveButton));
    EXPECT_FALSE(box->geometry().intersects(otherBox));
    EXPECT_LE(box->sizeHint().width(), box->width());
    EXPECT_LE(box->geometry().bottom(), box->parentWidget()->height() - 1);
}

TEST_F(StartAtLogin, AtLoginTheWindowWaitsInTheTrayOrMinimisedWithoutOne) {
    EXPECT_TRUE(StartedAtLogin({"ostrevan", "--autostart"}));
    EXPECT_FALSE(StartedAtLogin({"ostrevan"}));
    EXPECT_FALSE(StartedAtLogin({"--autostart"}));  // the program's own name is no argument

    CreateForm(false);
    ShowWindowAtStart(*Form, true, true);
    QApplication::processEvents();
    EXPECT_FALSE(Form->isVisible());
    BringWindowToFront(*Form);
    EXPECT_TRUE(Form->isVisible());
    EXPECT_FALSE(Form->isMinimized());

    Form.reset();
    CreateForm(false);
    ShowWindowAtStart(*Form, true, false);
    QApplication::processEvents();
    EXPECT_TRUE(Form->isMinimized());
    BringWindowToFront(*Form);
    EXPECT_FALSE(Form->isMinimized());

    Form.reset();
    CreateForm(false);
    ShowWindowAtStart(*Form, false, true);
    EXPECT_TRUE(Form->isVisible());
    EXPECT_FALSE(Form->isMinimized());
}

TEST_F(StartAtLogin, ALaterStartWithTheSameSettingsAsksTheFirstForItsWindow) {
    const std::string settings = (Program / "Settings/Settings.ini").string();
    auto first = std::make_unique<TSingleInstance>(settings);
    EXPECT_TRUE(first->IsFirst());
    QSignalSpy requests(first.get(), &TSingleInstance::ShowRequested);

    TSingleInstance second(settings);
    EXPECT_FALSE(second.IsFirst());
    EXPECT_TRUE(second.AskFirstToShow(1500));
    EXPECT_TRUE(WaitFor([&] { return requests.count() == 1; }, std::chrono::seconds(5)));

    // Another settings file is another program.
    fs::create_directories(Root / "other");
    TSingleInstance other((Root / "other/Settings.ini").string());
    EXPECT_TRUE(other.IsFirst());

    // Once the first ends, the next start is the first again.
    first.reset();
    TSingleInstance next(settings);
    EXPECT_TRUE(next.IsFirst());
}
