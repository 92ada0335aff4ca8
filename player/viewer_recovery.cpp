#include "player/viewer_recovery.h"

RendererRecovery::Step RendererRecovery::RendererEnded(qint64 nowMs) {
    if (m_reloadedAtMs >= 0 && nowMs - m_reloadedAtMs < kRepeatWindowMs) {
        return Step::GiveUp;
    }
    m_reloadedAtMs = nowMs;
    return Step::Reload;
}

namespace {

struct Reason {
    QString japanese;
    QString english;
};

Reason ReasonFor(RendererRecovery::Ending ending, int exitCode) {
    switch (ending) {
    case RendererRecovery::Ending::Killed:
        return {QStringLiteral("強制終了されました。メモリー不足などが考えられます"),
                QStringLiteral("it was killed, for example for lack of memory")};
    case RendererRecovery::Ending::Crashed:
        return {QStringLiteral("異常終了しました（コード %1）").arg(exitCode),
                QStringLiteral("it crashed (code %1)").arg(exitCode)};
    case RendererRecovery::Ending::Abnormal:
        return {QStringLiteral("エラーで終了しました（コード %1）").arg(exitCode),
                QStringLiteral("it ended with an error (code %1)").arg(exitCode)};
    case RendererRecovery::Ending::Normal:
        break;
    }
    return {QStringLiteral("理由なく終了しました"), QStringLiteral("it ended without a reason")};
}

} // namespace

QString RendererEndedMessage(RendererRecovery::Ending ending, int exitCode) {
    const Reason reason = ReasonFor(ending, exitCode);
    return QStringLiteral("ビューアーが停止しました。%1。\nもう一度接続すると再生を試みます。\n\n"
                          "The viewer stopped: %2.\nConnect the stream again to retry.")
        .arg(reason.japanese, reason.english);
}

QString RendererEndedReason(RendererRecovery::Ending ending, int exitCode) {
    return ReasonFor(ending, exitCode).english;
}
