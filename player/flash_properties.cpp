#include "player/flash_properties.h"

#include "res/viewer_properties.h"

FlashProperties FlashProperties::PlayerDefaults() {
    FlashProperties properties;
    properties.m_items = PlayerViewerProperties();
    return properties;
}

QString FlashProperties::Value(const QString& name) const {
    for (const Item& item : m_items) {
        if (item.first.compare(name, Qt::CaseInsensitive) == 0) {
            return item.second;
        }
    }
    return {};
}

bool FlashProperties::SetValue(const QString& name, const QString& value) {
    for (Item& item : m_items) {
        if (item.first.compare(name, Qt::CaseInsensitive) == 0) {
            item.second = value;
            return true;
        }
    }
    return false;
}

bool FlashProperties::Flag(const QString& name) const {
    const QString value = Value(name).trimmed().toLower();
    return value == QLatin1String("-1") || value == QLatin1String("1") ||
           value == QLatin1String("true");
}

QString FlashProperties::CssObjectFit() const {
    const QString scale = Value(QStringLiteral("Scale")).trimmed().toLower();
    if (scale == QLatin1String("exactfit")) {
        return QStringLiteral("fill");
    }
    if (scale == QLatin1String("noborder")) {
        return QStringLiteral("cover");
    }
    if (scale == QLatin1String("noscale")) {
        return QStringLiteral("none");
    }
    return QStringLiteral("contain");
}

FlashProperties::Networking FlashProperties::NetworkingPolicy() const {
    const QString value = Value(QStringLiteral("AllowNetworking")).trimmed().toLower();
    if (value == QLatin1String("internal")) {
        return Networking::Internal;
    }
    if (value == QLatin1String("none")) {
        return Networking::None;
    }
    return Networking::All;
}

bool FlashProperties::ScriptAccessAllowed() const {
    return Value(QStringLiteral("AllowScriptAccess")).trimmed().toLower() != QLatin1String("never");
}

std::optional<quint32> FlashProperties::BackgroundRgb() const {
    QString value = Value(QStringLiteral("BGColor")).trimmed();
    if (value.startsWith(QLatin1Char('#'))) {
        value.remove(0, 1);
    }
    if (value.size() != 6) {
        return std::nullopt;
    }
    bool ok = false;
    const uint rgb = value.toUInt(&ok, 16);
    if (!ok) {
        return std::nullopt;
    }
    return rgb;
}
