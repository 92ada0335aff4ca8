#include "selection/settings_file.h"

#include "app/app_state.h"
#include "history/entry_keys.h"
#include "platform/profile.h"

using entrykeys::kMemo;
using entrykeys::kStreamId;
using entrykeys::kStringBuffer;
using entrykeys::kSystem;

namespace {

const QString kPlayer = QStringLiteral("PLAYER");
const QString kLocation = QStringLiteral("LOCATION");
const QString kLeft = QStringLiteral("POS_LEFT");
const QString kTop = QStringLiteral("POS_TOP");
const QString kRight = QStringLiteral("POS_RIGHT");
const QString kBottom = QStringLiteral("POS_BOTTOM");

} // namespace

QString SettingsFilePath() {
    return PathInExeDir(QStringLiteral("Vistrel.ini"));
}

void LoadSettings(ControlPanelValues& values) {
    const QString path = SettingsFilePath();
    values.m_strInput = profile::GetPrivateProfileString(
        kSystem, kStreamId, values.m_current.streamId, kStringBuffer, path);
    values.m_current.streamId = values.m_strInput;
    values.m_current.memo = profile::GetPrivateProfileString(kSystem, kMemo, values.m_current.memo,
                                                             kStringBuffer, path);
    values.m_strLocation = profile::GetPrivateProfileString(
        kSystem, kLocation, values.m_strLocation, kStringBuffer, path);
    CRect& rect = values.m_rcPlayer;
    rect.left = profile::GetPrivateProfileInt(kPlayer, kLeft, rect.left, path);
    rect.top = profile::GetPrivateProfileInt(kPlayer, kTop, rect.top, path);
    rect.right = profile::GetPrivateProfileInt(kPlayer, kRight, rect.right, path);
    rect.bottom = profile::GetPrivateProfileInt(kPlayer, kBottom, rect.bottom, path);
}

void SaveSettings(const ControlPanelValues& values) {
    const QString path = SettingsFilePath();
    profile::ScopedBatch batch(path);
    profile::WritePrivateProfileString(kSystem, kStreamId, values.m_current.streamId, path);
    profile::WritePrivateProfileString(kSystem, kMemo, values.m_current.memo, path);
    const CRect& rect = values.m_rcPlayer;
    profile::WritePrivateProfileString(kPlayer, kLeft, QString::number(rect.left), path);
    profile::WritePrivateProfileString(kPlayer, kTop, QString::number(rect.top), path);
    profile::WritePrivateProfileString(kPlayer, kRight, QString::number(rect.right), path);
    profile::WritePrivateProfileString(kPlayer, kBottom, QString::number(rect.bottom), path);
}
