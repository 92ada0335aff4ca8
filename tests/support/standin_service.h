#pragma once

#include <QList>
#include <QProcess>
#include <QString>

namespace testsupport {

// The stand-in of the streaming service, started from its program, with what its banner lists.
class StandInService {
public:
    // A channel, as the banner lists it.
    struct Channel {
        QString streamId;
        QString url;
        QString title;
    };

    StandInService() = default;
    ~StandInService();
    StandInService(const StandInService&) = delete;
    StandInService& operator=(const StandInService&) = delete;

    // Starts the program and reads its banner; false unless it gave a port and some channels.
    bool Start(const QString& executable);
    int Port() const { return m_port; }
    const QList<Channel>& Channels() const { return m_channels; }

private:
    QProcess m_process;
    int m_port = 0;
    QList<Channel> m_channels;
};

} // namespace testsupport
