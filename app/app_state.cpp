#include "app/app_state.h"

#include <memory>

namespace {

std::unique_ptr<CAppState>& Instance() {
    static std::unique_ptr<CAppState> instance;
    return instance;
}

} // namespace

CAppState& GetAppState() {
    auto& instance = Instance();
    if (!instance) {
        instance = std::make_unique<CAppState>();
    }
    return *instance;
}

QString GetExeDir() {
    return GetAppState().m_strExeDir;
}

void ReleaseAppState() {
    Instance().reset();
}

QString PathInExeDir(const QString& fileName) {
    QString dir = GetExeDir();
    if (dir.isEmpty()) {
        return QString(); // no folder known: the file is neither read nor written
    }
    if (dir.endsWith(u'/')) {
        dir.chop(1);
    }
    return dir + u'/' + fileName;
}
