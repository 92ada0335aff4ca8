#include "tests/support/standin_browser_process.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QThread>
#include <vector>
#include <windows.h>

namespace testsupport {
namespace {

HWND AsWindow(platform::WindowHandle window) {
    return reinterpret_cast<HWND>(window);
}

INPUT Key(WORD virtualKey, wchar_t unit, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = unit;
    input.ki.dwFlags = (unit ? KEYEVENTF_UNICODE : 0) | (up ? KEYEVENTF_KEYUP : 0);
    return input;
}

} // namespace

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QThread::msleep(20);
    }
    return true;
}

StandinBrowserProcess::StandinBrowserProcess(const QString& executableName,
                                             const QStringList& arguments) {
    const QString program = m_folder.filePath(executableName);
    if (!QFile::copy(QStringLiteral(STANDIN_BROWSER_EXE), program)) {
        return;
    }
    m_process.start(program, arguments);
    if (!m_process.waitForStarted(30000)) {
        return;
    }
    // "frame=<handle> bar=<handle>" once the window shows.
    QByteArray output;
    const QDeadlineTimer deadline(30000);
    while (!output.contains('\n') && !deadline.hasExpired() &&
           m_process.state() == QProcess::Running) {
        m_process.waitForReadyRead(200);
        output += m_process.readAllStandardOutput();
    }
    const auto match = QRegularExpression(QStringLiteral("frame=(\\d+) bar=(\\d+)"))
                           .match(QString::fromLatin1(output));
    if (match.hasMatch()) {
        m_frame = match.captured(1).toULongLong();
        m_bar = match.captured(2).toULongLong();
    }
}

StandinBrowserProcess::~StandinBrowserProcess() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
}

quint32 StandinBrowserProcess::ProcessId() const {
    return static_cast<quint32>(m_process.processId());
}

bool StandinBrowserProcess::Hang() {
    ::PostMessageW(AsWindow(m_frame), kHangMessage, 0, 0);
    return WaitFor(
        [this] {
            DWORD_PTR result = 0;
            return ::SendMessageTimeoutW(AsWindow(m_frame), WM_NULL, 0, 0, SMTO_BLOCK, 100,
                                         &result) == 0;
        },
        10000);
}

void StandinBrowserProcess::DropBar() {
    ::SendMessageW(AsWindow(m_frame), kDropBarMessage, 0, 0);
}

void StandinBrowserProcess::SetBarText(const QString& text) {
    const std::wstring wide = text.toStdWString();
    ::SendMessageW(AsWindow(m_bar), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

void StandinBrowserProcess::TypeIntoBar(const QString& text) {
    ::SetForegroundWindow(AsWindow(m_frame));
    // Typed text replaces the selection: all of it.
    ::SendMessageW(AsWindow(m_bar), EM_SETSEL, 0, -1);
    std::vector<INPUT> inputs;
    for (const QChar unit : text) {
        inputs.push_back(Key(0, unit.unicode(), false));
        inputs.push_back(Key(0, unit.unicode(), true));
    }
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

} // namespace testsupport
