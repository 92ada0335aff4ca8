#pragma once

// Shared by the panel tests: a temporary program directory, a recording message box, and player
// windows that record the streams they are given instead of starting the web viewer.

#include "app/app_state.h"
#include "platform/message_box.h"
#include "player/player_dlg.h"
#include "selection/control_dlg.h"
#include "tests/support/qt_print.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>

namespace testsupport {

class RecordingMessageBox final : public platform::MessageBoxService {
public:
    void ShowMessage(QWidget* /*parent*/, const QString& text) override { texts << text; }
    QStringList texts;
};

// Player windows without the web viewer: made and sized, and the streams they are given noted.
class RecordingPlayerWindows final : public PlayerWindowService {
public:
    CPlayerDlg* Construct(QString& /*problem*/) override {
        ++made;
        return new CPlayerDlg();
    }
    void CreateWindow(CPlayerDlg& player) override { player.resize(320, 200); }
    void ShowStream(CPlayerDlg& /*player*/, const QString& streamId) override {
        shownStreams << streamId;
    }
    QStringList shownStreams;
    int made = 0;
};

class PanelFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        GetAppState().m_strExeDir = m_dir.path();
    }

    void TearDown() override { ReleaseAppState(); }

    QString PathOf(const QString& name) const { return QDir(m_dir.path()).filePath(name); }

    void WriteFile(const QString& name, const QByteArray& text) const {
        QFile file(PathOf(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    QString ReadFile(const QString& name) const {
        QFile file(PathOf(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // A history file of `count` channels "id0000".."idNNNN" with memos "memo0".."memoN".
    void WriteHistory(int count) const {
        QByteArray text = "[SYSTEM]\r\nCOUNT=" + QByteArray::number(count) + "\r\n";
        for (int i = 0; i < count; ++i) {
            text += "[ITEM" + QByteArray::number(i) + "]\r\nSTREAMID=" + StreamId(i).toUtf8() +
                    "\r\nMEMO=memo" + QByteArray::number(i) + "\r\n";
        }
        WriteFile(QStringLiteral("History.ini"), text);
    }

    static QString StreamId(int i) {
        return QStringLiteral("id%1").arg(i, 5, 10, QLatin1Char('0'));
    }

    RecordingMessageBox messages;
    RecordingPlayerWindows players;
    QStringList& shownStreams = players.shownStreams;
    int& playersMade = players.made;
    // A test that wants the real message box resets this.
    std::optional<platform::ScopedService<platform::MessageBoxService>> m_useMessages{std::in_place,
                                                                                      messages};

private:
    platform::ScopedService<PlayerWindowService> m_usePlayers{players};
    QTemporaryDir m_dir;
};

} // namespace testsupport
