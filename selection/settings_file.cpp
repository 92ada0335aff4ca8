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
    const profile::ProfileFile file(SettingsFilePath()); // read and parsed once for every key
    values.input = file.GetString(kSystem, kStreamId, values.current.streamId, kStringBuffer);
    values.current.streamId = values.input;
    values.current.memo = file.GetString(kSystem, kMemo, values.current.memo, kStringBuffer);
    values.location = file.GetString(kSystem, kLocation, values.location, kStringBuffer);
    CRect& rect = values.playerRect;
    rect.left = file.GetInt(kPlayer, kLeft, rect.left);
    rect.top = file.GetInt(kPlayer, kTop, rect.top);
    rect.right = file.GetInt(kPlayer, kRight, rect.right);
    rect.bottom = file.GetInt(kPlayer, kBottom, rect.bottom);
}

bool SaveSettings(const ControlPanelValues& values) {
    profile::ProfileFile file(SettingsFilePath());
    file.WriteString(kSystem, kStreamId, values.current.streamId);
    file.WriteString(kSystem, kMemo, values.current.memo);
    const CRect& rect = values.playerRect;
    file.WriteString(kPlayer, kLeft, QString::number(rect.left));
    file.WriteString(kPlayer, kTop, QString::number(rect.top));
    file.WriteString(kPlayer, kRight, QString::number(rect.right));
    file.WriteString(kPlayer, kBottom, QString::number(rect.bottom));
    return file.Save();
}

bool SameSavedValues(const ControlPanelValues& a, const ControlPanelValues& b) {
    return a.current == b.current && a.playerRect == b.playerRect;
}
