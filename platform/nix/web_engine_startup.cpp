#include "platform/web_engine_startup.h"

#include "platform/debug_output.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <unistd.h>

namespace platform {
namespace {

QString Environment(const char* lower, const char* upper) {
    QString value = qEnvironmentVariable(lower);
    if (value.isEmpty()) {
        value = qEnvironmentVariable(upper);
    }
    return value.trimmed();
}

} // namespace

void PrepareWebEngine() {
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        OutputDebugStringW(QStringLiteral(
            "vistrel: running as root: the web engine starts without its sandbox\n"));
    }

    QString flags = qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS");
    const QString proxy = Environment("http_proxy", "HTTP_PROXY");
    if (!proxy.isEmpty() && !flags.contains(QLatin1String("--proxy-server")) &&
        !flags.contains(QLatin1String("--no-proxy-server"))) {
        // The engine's network stack does not read the variables itself.
        const QUrl url = QUrl::fromUserInput(proxy);
        if (url.isValid() && !url.host().isEmpty()) {
            flags +=
                QStringLiteral(" --proxy-server=http://%1:%2").arg(url.host()).arg(url.port(80));
            QStringList bypass;
            const QString noProxy = Environment("no_proxy", "NO_PROXY");
            for (const QString& entry : noProxy.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                bypass << entry.trimmed();
            }
            if (!bypass.isEmpty()) {
                flags += QStringLiteral(" --proxy-bypass-list=") + bypass.join(QLatin1Char(';'));
            }
            qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed().toLocal8Bit());
        }
    }

    if (!qEnvironmentVariableIsSet("QT_LOGGING_RULES")) {
        // The engine prints its whole start-up configuration at info level otherwise.
        QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    }
    if (QCoreApplication::instance() == nullptr) {
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    }
}

} // namespace platform
