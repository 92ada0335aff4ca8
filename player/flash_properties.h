#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <optional>

// The viewer control's initial properties: 24 named texts in the control's own order, as the
// player window's template gives them. Names are matched without regard to letter case, as the
// plug-in did. Interpreting helpers live here so that they can be tested without a web engine.
class FlashProperties {
public:
    using Item = QPair<QString, QString>;

    // The player window's values ("-1" is true).
    static FlashProperties PlayerDefaults();

    const QList<Item>& Items() const { return m_items; }
    // Empty for a name that is not one of the 24.
    QString Value(const QString& name) const;
    // Replaces the value of one of the 24; returns false (and changes nothing) for other names.
    bool SetValue(const QString& name, const QString& value);

    // A flag property: "-1", "1" and "true" (any case, blanks ignored) are true.
    bool Flag(const QString& name) const;

    // "Scale" as a CSS object-fit value: ShowAll (and empty) letterboxes, ExactFit stretches,
    // NoBorder crops, NoScale keeps the movie's own size.
    QString CssObjectFit() const;

    enum class Networking { All, Internal, None };
    // "AllowNetworking": "internal" keeps the viewer on its movie, "none" also keeps its
    // requests on the movie's own origin; anything else is "all".
    Networking NetworkingPolicy() const;

    // "AllowScriptAccess": the viewer may call its host unless the value is "never"; empty is
    // the control's default ("sameDomain"), which for a host that is not a page means allowed.
    bool ScriptAccessAllowed() const;

    // "BGColor" as 0xRRGGBB: "#RRGGBB" or "RRGGBB"; nothing when empty or malformed.
    std::optional<quint32> BackgroundRgb() const;

private:
    QList<Item> m_items;
};
