#include "app/app_state.h"
#include "history/history_list.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

StreamEntry Entry(int n) {
    return {QStringLiteral("id%1").arg(n, 5, 10, QLatin1Char('0')),
            QStringLiteral("memo %1").arg(n)};
}

// Entry(0) on top, Entry(count - 1) last. Only a file can hold more than thirty.
HistoryList ListOf(int count) {
    QTemporaryDir dir;
    const QString path = dir.filePath("History.ini");
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("[SYSTEM]\nCOUNT=") + QByteArray::number(count) + "\n");
    for (int i = 0; i < count; ++i) {
        file.write(QStringLiteral("[ITEM%1]\nSTREAMID=%2\nMEMO=%3\n")
                       .arg(i)
                       .arg(Entry(i).streamId, Entry(i).memo)
                       .toUtf8());
    }
    file.close();
    HistoryList list;
    list.LoadHistory(path);
    return list;
}

QStringList Ids(const HistoryList& list) {
    QStringList ids;
    for (const StreamEntry& entry : list.Entries()) {
        ids << entry.streamId;
    }
    return ids;
}

TEST(HistoryRules, AddEntry) {
    HistoryList list;
    EXPECT_TRUE(list.AddEntry({"abc1234", "first"}));
    EXPECT_TRUE(list.AddEntry({"xyz9876", "second"}));
    EXPECT_EQ(Ids(list), QStringList({"xyz9876", "abc1234"}));
    // A listed stream id, at any position and with any memo, changes nothing.
    EXPECT_FALSE(list.AddEntry({"abc1234", "other memo"}));
    EXPECT_FALSE(list.AddEntry({"xyz9876", ""}));
    EXPECT_EQ(list.Entries().back(), (StreamEntry{"abc1234", "first"}));
    EXPECT_EQ(list.Entries().size(), 2);
    // Letter case counts; an empty stream id is an id like any other.
    EXPECT_TRUE(list.AddEntry({"ABC1234", ""}));
    EXPECT_TRUE(list.AddEntry({"", ""}));
    EXPECT_FALSE(list.AddEntry({"", "again"}));
    EXPECT_EQ(Ids(list), QStringList({"", "ABC1234", "xyz9876", "abc1234"}));
}

TEST(HistoryRules, AddEntryKeepsAtMostThirty) {
    const struct {
        int before;
        int after;
    } cases[] = {{0, 1}, {29, 30}, {30, 30}, {31, 31}, {40, 40}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before);
        HistoryList list = ListOf(c.before);
        ASSERT_EQ(list.Entries().size(), c.before);
        EXPECT_TRUE(list.AddEntry({"new", "n"}));
        EXPECT_EQ(list.Entries().size(), c.after);
        EXPECT_EQ(list.Entries().front().streamId, "new");
        if (c.before > 0) {
            EXPECT_EQ(list.Entries().back(),
                      Entry(c.after == c.before ? c.before - 2 : c.before - 1));
        }
    }
}

TEST(HistoryRules, UpdateMemoChangesTheFirstMatchOnly) {
    QTemporaryDir dir;
    const QString path = dir.filePath("History.ini");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[SYSTEM]\nCOUNT=3\n[ITEM0]\nSTREAMID=a\nMEMO=1\n[ITEM1]\nSTREAMID=b\nMEMO=2\n"
               "[ITEM2]\nSTREAMID=a\nMEMO=3\n");
    file.close();
    HistoryList list;
    list.LoadHistory(path);
    EXPECT_TRUE(list.UpdateMemo({"a", "new"}));
    EXPECT_FALSE(list.UpdateMemo({"A", "case differs"}));
    EXPECT_FALSE(list.UpdateMemo({"zzz", "not listed"}));
    EXPECT_EQ(list.Entries(), (QList<StreamEntry>{{"a", "new"}, {"b", "2"}, {"a", "3"}}));
}

TEST(HistoryRules, MoveAndDelete) {
    enum Op { Up, Down, Del };
    const struct {
        Op op;
        int index;
        bool changed;
        QStringList order;
    } cases[] = {
        {Up, 0, false, {"id00000", "id00001", "id00002"}},
        {Up, 1, true, {"id00001", "id00000", "id00002"}},
        {Up, 2, true, {"id00000", "id00002", "id00001"}},
        {Up, 3, false, {"id00000", "id00001", "id00002"}},
        {Up, -1, false, {"id00000", "id00001", "id00002"}},
        {Down, 0, true, {"id00001", "id00000", "id00002"}},
        {Down, 1, true, {"id00000", "id00002", "id00001"}},
        {Down, 2, false, {"id00000", "id00001", "id00002"}},
        {Down, -1, false, {"id00000", "id00001", "id00002"}},
        {Del, 0, true, {"id00001", "id00002"}},
        {Del, 1, true, {"id00000", "id00002"}},
        {Del, 2, true, {"id00000", "id00001"}},
        {Del, 3, false, {"id00000", "id00001", "id00002"}},
        {Del, -1, false, {"id00000", "id00001", "id00002"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "op " << c.op << " index " << c.index);
        HistoryList list = ListOf(3);
        const bool changed = c.op == Up     ? list.MoveUp(c.index)
                             : c.op == Down ? list.MoveDown(c.index)
                                            : list.Delete(c.index);
        EXPECT_EQ(changed, c.changed);
        EXPECT_EQ(Ids(list), c.order);
    }
    HistoryList empty;
    EXPECT_FALSE(empty.MoveDown(0));
    EXPECT_FALSE(empty.Delete(0));
}

class HistoryFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        GetAppState().m_strExeDir = dir.path();
        path = HistoryFilePath();
        ASSERT_EQ(path, dir.path() + "/History.ini");
    }
    void TearDown() override { ReleaseAppState(); }
    void WriteFile(const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    QByteArray FileBytes() const {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
    }
    QTemporaryDir dir;
    QString path;
};

TEST_F(HistoryFileTest, LoadCases) {
    const struct {
        const char* name;
        QByteArray file;
        QList<StreamEntry> expected;
    } cases[] = {
        {"no file", "<none>", {}},
        {"no COUNT", "[ITEM0]\nSTREAMID=a\n", {}},
        {"COUNT not a number", "[SYSTEM]\nCOUNT=many\n[ITEM0]\nSTREAMID=a\n", {}},
        {"COUNT negative", "[SYSTEM]\nCOUNT=-2\n[ITEM0]\nSTREAMID=a\n", {}},
        {"gap gives an empty entry",
         "[SYSTEM]\nCOUNT=3\n[ITEM0]\nSTREAMID=a\nMEMO=x\n[ITEM2]\nSTREAMID=c\n",
         {{"a", "x"}, {}, {"c", ""}}},
        {"sections above COUNT ignored",
         "[SYSTEM]\nCOUNT=1\n[ITEM0]\nSTREAMID=a\n[ITEM1]\nSTREAMID=b\n",
         {{"a", ""}}},
        {"duplicates kept",
         "[SYSTEM]\nCOUNT=2\n[ITEM0]\nSTREAMID=a\n[ITEM1]\nSTREAMID=a\n",
         {{"a", ""}, {"a", ""}}},
        {"values cut to 260",
         "[SYSTEM]\nCOUNT=1\n[ITEM0]\nSTREAMID=" + QByteArray(300, 'i') +
             "\nMEMO=" + QByteArray(300, 'm') + "\n",
         {{QString(260, u'i'), QString(260, u'm')}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(path);
        if (c.file != "<none>") {
            WriteFile(c.file);
        }
        HistoryList list;
        list.LoadHistory(path);
        EXPECT_EQ(list.Entries(), c.expected);
    }
}

TEST_F(HistoryFileTest, FortyEntriesStayFortyThroughAnAddAndASave) {
    const HistoryList forty = ListOf(40);
    forty.SaveHistory(path);
    HistoryList list;
    list.AddEntry({"kept", "loading appends to what is there"});
    list.LoadHistory(path);
    ASSERT_EQ(list.Entries().size(), 41);
    EXPECT_EQ(list.Entries().mid(1), forty.Entries());
    list.Delete(0);
    EXPECT_TRUE(list.AddEntry({"newest", ""}));
    ASSERT_EQ(list.Entries().size(), 40);
    EXPECT_EQ(list.Entries().back(), Entry(38));
    list.SaveHistory(path);
    HistoryList reloaded;
    reloaded.LoadHistory(path);
    EXPECT_EQ(reloaded.Entries(), list.Entries());
}

// A COUNT damaged by hand or by the disk must not hold the start-up for hours or exhaust the
// memory: one load takes at most 1000 entries, and every list up to that loads whole.
TEST_F(HistoryFileTest, HugeCountIsBounded) {
    const struct {
        const char* count;
        qsizetype expected;
    } cases[] = {
        {"999", 999}, {"1000", 1000}, {"1001", 1000}, {"5000", 1000}, {"2147483647", 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        WriteFile(QByteArray("[SYSTEM]\nCOUNT=") + c.count +
                  "\n[ITEM0]\nSTREAMID=top\nMEMO=m\n[ITEM998]\nSTREAMID=low\n");
        HistoryList list;
        list.LoadHistory(path);
        ASSERT_EQ(list.Entries().size(), c.expected);
        EXPECT_EQ(list.Entries().front(), (StreamEntry{"top", "m"}));
        EXPECT_EQ(list.Entries().at(998), (StreamEntry{"low", ""}));
        EXPECT_EQ(list.Entries().at(1), StreamEntry{});
    }
    EXPECT_EQ(FileBytes(), "[SYSTEM]\nCOUNT=2147483647\n[ITEM0]\nSTREAMID=top\nMEMO=m\n"
                           "[ITEM998]\nSTREAMID=low\n"); // loading writes nothing
}

// Beyond the bound a list loads as long as its sections follow one another: a long history kept
// by hand loads whole, a damaged COUNT still stops.
TEST_F(HistoryFileTest, LongListsLoadWhole) {
    const struct {
        int count;
        int sections; // ITEM0 .. ITEM<sections - 1> present
        qsizetype expected;
    } cases[] = {
        {1500, 1500, 1500},
        {10000, 10000, 10000},
        {2000, 1500, 1500},
        {1200, 900, 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        QByteArray bytes = "[SYSTEM]\nCOUNT=" + QByteArray::number(c.count) + "\n";
        for (int i = 0; i < c.sections; ++i) {
            bytes +=
                "[ITEM" + QByteArray::number(i) + "]\nSTREAMID=s" + QByteArray::number(i) + "\n";
        }
        WriteFile(bytes);
        HistoryList list;
        list.LoadHistory(path);
        ASSERT_EQ(list.Entries().size(), c.expected);
        EXPECT_EQ(list.Entries().at(c.sections - 1).streamId,
                  QStringLiteral("s%1").arg(c.sections - 1));
    }
}

// A UTF-8 file that a user or another tool touched: a comment in CP932, a stray Latin-1 byte,
// Japanese memos. Each stray byte affects its own line only, and what the program does not own
// comes back byte for byte after a whole load and save.
TEST_F(HistoryFileTest, StrayBytesStayOnTheirLineThroughLoadAndSave) {
    const QByteArray before = "; \x97\x9A\x97\xF0 (CP932)\r\n"            // "履歴" in CP932
                              "[SYSTEM]\r\nCOUNT=3\r\nEDITOR=caf\xE9\r\n" // Latin-1 é
                              "[ITEM0]\r\nSTREAMID=abc1234\r\n"
                              "MEMO=\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE"
                              "\xE3\x83\xA1\xE3\x83\xA2\r\n" // 日本語のメモ
                              "[ITEM1]\r\nSTREAMID=def5678\r\nMEMO=\x83\x81\x83\x82\r\n" // CP932
                              "[ITEM2]\r\nSTREAMID=ghi9012\r\n"
                              "MEMO=\xE9\x85\x8D\xE4\xBF\xA1\xE4\xB8\xAD\r\n"; // 配信中
    WriteFile(before);
    HistoryList list;
    list.LoadHistory(path);
    EXPECT_EQ(list.Entries(),
              (QList<StreamEntry>{
                  {"abc1234", "日本語のメモ"}, {"def5678", "メモ"}, {"ghi9012", "配信中"}}));
    list.SaveHistory(path);
    EXPECT_EQ(FileBytes(), before) << "an unchanged history changed the file";

    list.UpdateMemo({"ghi9012", "新しいメモ"});
    list.MoveUp(1);
    list.SaveHistory(path);
    EXPECT_EQ(FileBytes(), QByteArray("; \x97\x9A\x97\xF0 (CP932)\r\n"
                                      "[SYSTEM]\r\nCOUNT=3\r\nEDITOR=caf\xE9\r\n"
                                      "[ITEM0]\r\nSTREAMID=def5678\r\nMEMO=") +
                               QStringLiteral("メモ").toUtf8() +
                               "\r\n[ITEM1]\r\nSTREAMID=abc1234\r\nMEMO=" +
                               QStringLiteral("日本語のメモ").toUtf8() +
                               "\r\n[ITEM2]\r\nSTREAMID=ghi9012\r\nMEMO=" +
                               QStringLiteral("新しいメモ").toUtf8() + "\r\n");
    HistoryList reloaded;
    reloaded.LoadHistory(path);
    EXPECT_EQ(reloaded.Entries(), list.Entries());
}

// Written by an editor that ends lines with a lone CR: every key is seen, and a save replaces
// them instead of adding a second copy.
TEST_F(HistoryFileTest, CrOnlyFileIsReadAndReplacedInPlace) {
    WriteFile("[SYSTEM]\rCOUNT=2\r[ITEM0]\rSTREAMID=a\rMEMO=first\r[ITEM1]\rSTREAMID=b\r"
              "MEMO='quoted'\r");
    HistoryList list;
    list.LoadHistory(path);
    ASSERT_EQ(list.Entries(), (QList<StreamEntry>{{"a", "first"}, {"b", "quoted"}}));
    list.Delete(0);
    list.SaveHistory(path);
    EXPECT_EQ(FileBytes(), "[SYSTEM]\rCOUNT=1\r[ITEM0]\rSTREAMID=b\rMEMO=quoted\r[ITEM1]\r"
                           "STREAMID=b\rMEMO='quoted'\r");
}

TEST_F(HistoryFileTest, NoEntriesWritesCountZeroOnly) {
    HistoryList().SaveHistory(path);
    EXPECT_EQ(FileBytes(), "[SYSTEM]\nCOUNT=0\n");
}

TEST_F(HistoryFileTest, ShorterListKeepsOldSectionsAndForeignLines) {
    WriteFile("; my channels\n[SYSTEM]\nCOUNT=0\nOWNER=me\n");
    HistoryList list = ListOf(3);
    list.UpdateMemo({"id00001", "日本語のメモ"});
    list.SaveHistory(path);
    list.Delete(0);
    list.Delete(0);
    list.SaveHistory(path);
    EXPECT_EQ(FileBytes(), "; my channels\n[SYSTEM]\nCOUNT=1\nOWNER=me\n\n"
                           "[ITEM0]\nSTREAMID=id00002\nMEMO=memo 2\n\n"
                           "[ITEM1]\nSTREAMID=id00001\nMEMO=日本語のメモ\n\n"
                           "[ITEM2]\nSTREAMID=id00002\nMEMO=memo 2\n");
    HistoryList reloaded;
    reloaded.LoadHistory(path);
    EXPECT_EQ(reloaded.Entries(), list.Entries());
}

} // namespace
