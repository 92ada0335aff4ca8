#pragma once

#include <QString>
#include <QtGlobal>

// What the viewer control does when the engine's renderer of its page ends under it (killed,
// out of memory, crashed), which would otherwise leave a blank player: the first time the
// channel is loaded again by itself; when the reloaded viewer ends as well within
// kRepeatWindowMs of that reload, it stays down and the player says why. A movie the host loads
// starts over. Widget-free and clock-free: the caller gives the time.
class RendererRecovery {
public:
    enum class Step { Reload, GiveUp };
    enum class Ending { Normal, Abnormal, Crashed, Killed };

    // Within this time of a reload a second ending counts as the same trouble.
    static constexpr qint64 kRepeatWindowMs = 60000;

    // The host loaded a movie: the next ending is a first one again.
    void MovieLoaded() { m_reloadedAtMs = -1; }
    // The renderer ended at `nowMs` (a steady clock's milliseconds): what to do.
    Step RendererEnded(qint64 nowMs);

private:
    qint64 m_reloadedAtMs = -1;
};

// The player's message for a viewer that stayed down, Japanese first, then English, with the
// reason (`exitCode` as the engine reported it).
QString RendererEndedMessage(RendererRecovery::Ending ending, int exitCode);
// The same reason in one line for standard error.
QString RendererEndedReason(RendererRecovery::Ending ending, int exitCode);
