#include "app/state_dir.h"

#include "platform/debug_output.h"
#include "platform/user_dirs.h"

QString UserStateDir() {
    const QString configHome = platform::UserConfigHome();
    if (configHome.isEmpty()) {
        return QString();
    }
    return configHome + QStringLiteral("/Vistrel");
}

QString StateDirFor(const QString& programDir, FILE* warnings) {
    if (platform::IsWritableDirectory(programDir) &&
        !platform::IsProgramInstallDirectory(programDir)) {
        return programDir;
    }
    QString userDir = UserStateDir();
    if (!userDir.isEmpty() && platform::MakePrivateDirectories(userDir) &&
        platform::IsWritableDirectory(userDir)) {
        return userDir;
    }
    if (warnings) {
        const auto visible = [](const QString& path) {
            return platform::EscapeControlCharacters(path, platform::LineBreaks::Escape).toUtf8();
        };
        const QByteArray line =
            "Vistrel: neither " + visible(programDir) + " nor " +
            (userDir.isEmpty() ? QByteArray("a configuration folder") : visible(userDir)) +
            " can be written; settings and history will not be kept.\n";
        std::fputs(line.constData(), warnings);
        std::fflush(warnings);
    }
    return programDir;
}
