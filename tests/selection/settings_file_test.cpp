#include "app/app_state.h"
#include "selection/settings_file.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        GetAppState().m_strExeDir = dir.path();
    }
    void TearDown() override { ReleaseAppState(); }

    QByteArray FileBytes() const {
        QFile file(dir.filePath("Vistrel.ini"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
    }
    void WriteFile(const QByteArray& bytes) const {
        QFile file(dir.filePath("Vistrel.ini"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

    QTemporaryDir dir;
};

TEST_F(SettingsFileTest, PathIsBuiltFromProgramDirectoryEachTime) {
    EXPECT_EQ(SettingsFilePath(), dir.path() + "/Vistrel.ini");
    GetAppState().m_strExeDir = "/elsewhere";
    EXPECT_EQ(SettingsFilePath(), "/elsewhere/Vistrel.ini");
}

TEST_F(SettingsFileTest, WithoutFileTheValuesStayAndAFirstSaveWritesThemAll) {
    ControlPanelValues values;
    LoadSettings(values);
    EXPECT_EQ(values.input, QString());
    EXPECT_EQ(values.current, StreamEntry());
    EXPECT_EQ(values.location, QString());
    EXPECT_EQ(values.playerRect, CRect());

    SaveSettings(values);
    EXPECT_EQ(FileBytes(), "[SYSTEM]\nSTREAMID=\nMEMO=\n\n[PLAYER]\n"
                           "POS_LEFT=0\nPOS_TOP=0\nPOS_RIGHT=0\nPOS_BOTTOM=0\n");
}

TEST_F(SettingsFileTest, MissingKeysDefaultToTheCurrentValues) {
    WriteFile("[SYSTEM]\nMEMO=from file\n[PLAYER]\nPOS_TOP=abc\nPOS_RIGHT=\n");
    ControlPanelValues values;
    values.input = "typed"; // not a default: the input takes the stream id
    values.current = {"cur1234", "current memo"};
    values.location = "http://here/";
    values.playerRect = {1, 2, 3, 4};
    LoadSettings(values);
    EXPECT_EQ(values.input, "cur1234");
    EXPECT_EQ(values.current, (StreamEntry{"cur1234", "from file"}));
    EXPECT_EQ(values.location, "http://here/");
    // A value that is no number reads as 0; an empty one keeps the default.
    EXPECT_EQ(values.playerRect, (CRect{1, 0, 3, 4}));
}

TEST_F(SettingsFileTest, SavedValuesReadBack) {
    ControlPanelValues saved;
    saved.current = {"Ab3dE9z", "日本語のメモ ; with \"quotes\" inside"};
    saved.playerRect = {-1920, -40, -1200, 500};
    SaveSettings(saved);
    ControlPanelValues loaded;
    LoadSettings(loaded);
    EXPECT_EQ(loaded.input, "Ab3dE9z");
    EXPECT_EQ(loaded.current, saved.current);
    EXPECT_EQ(loaded.playerRect, saved.playerRect);
    EXPECT_TRUE(FileBytes().contains("POS_LEFT=-1920\n"));
}

TEST_F(SettingsFileTest, HandWrittenLocationSurvivesEverySave) {
    WriteFile("; my settings\r\n[System]\r\nLocation = \"http://www.example.com/page\" \r\n"
              "StreamId=old\r\n");
    ControlPanelValues values;
    LoadSettings(values);
    EXPECT_EQ(values.location, "http://www.example.com/page");
    EXPECT_EQ(values.input, "old");
    values.current = {"new1234", "m"};
    values.location = "changed in memory";
    SaveSettings(values);
    SaveSettings(values);
    EXPECT_EQ(FileBytes(), "; my settings\r\n[System]\r\n"
                           "Location = \"http://www.example.com/page\" \r\n"
                           "StreamId=new1234\r\nMEMO=m\r\n\r\n[PLAYER]\r\n"
                           "POS_LEFT=0\r\nPOS_TOP=0\r\nPOS_RIGHT=0\r\nPOS_BOTTOM=0\r\n");
}

// Files as other editors and the platform's own functions leave them: lone CR line ends, values
// in single quotes, a big number, ^Z at the end. Every key is seen, and a save replaces the keys
// where they stand.
TEST_F(SettingsFileTest, HandWrittenFileReadAndReplacedInPlace) {
    WriteFile("[SYSTEM]\rSTREAMID='abc1234'\rMEMO=\x0Bmemo\x0C\r[PLAYER]\rPOS_LEFT=4294967306\r"
              "POS_TOP\rPOS_RIGHT=300\rPOS_BOTTOM=200\r\x1A");
    ControlPanelValues values;
    LoadSettings(values);
    EXPECT_EQ(values.current, (StreamEntry{"abc1234", "memo"}));
    EXPECT_EQ(values.playerRect, (CRect{10, 0, 300, 200}));
    values.playerRect.top = 20;
    SaveSettings(values);
    // Values that read the same keep their lines as they were.
    EXPECT_EQ(FileBytes(), "[SYSTEM]\rSTREAMID='abc1234'\rMEMO=\x0Bmemo\x0C\r[PLAYER]\r"
                           "POS_LEFT=10\rPOS_TOP=20\rPOS_RIGHT=300\rPOS_BOTTOM=200\r\x1A");
}

TEST_F(SettingsFileTest, LongValuesAreCutTo260Characters) {
    WriteFile("[SYSTEM]\nSTREAMID=" + QByteArray(300, 's') + "\nMEMO=" +
              QString(300, QChar(0x3042)).toUtf8() + "\nLOCATION=" + QByteArray(261, 'l') + "\n");
    ControlPanelValues values;
    LoadSettings(values);
    EXPECT_EQ(values.input, QString(260, u's'));
    EXPECT_EQ(values.current.streamId, QString(260, u's'));
    EXPECT_EQ(values.current.memo, QString(260, QChar(0x3042)));
    EXPECT_EQ(values.location, QString(260, u'l'));
}

} // namespace
