#include "tests/support/standin_service.h"

#include <QRegularExpression>

namespace testsupport {

StandInService::~StandInService() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        m_process.waitForFinished(5000);
    }
}

bool StandInService::Start(const QString& executable) {
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.setStandardErrorFile(QProcess::nullDevice());
    m_process.start(executable, {});
    if (!m_process.waitForStarted(10000)) {
        return false;
    }
    // The banner: the port, then one line per channel, then the proxy hint.
    QString banner;
    while (!banner.contains(QStringLiteral("use as proxy")) && m_process.waitForReadyRead(10000)) {
        banner += QString::fromUtf8(m_process.readAll());
    }
    const QStringList lines = banner.split(QLatin1Char('\n'));
    m_port = lines.value(0).toInt();
    static const QRegularExpression channelLine(
        QStringLiteral("^channel (\\S+) (\\S+)  \"(.*)\"$"));
    for (const QString& line : lines) {
        const QRegularExpressionMatch match = channelLine.match(line);
        if (match.hasMatch()) {
            m_channels.append({match.captured(1), match.captured(2), match.captured(3)});
        }
    }
    return m_port > 0 && m_channels.size() >= 3;
}

} // namespace testsupport
