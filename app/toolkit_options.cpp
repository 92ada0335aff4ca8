#include "app/toolkit_options.h"

#include <span>

namespace {

enum class Takes {
    Nothing,       // a switch alone
    Value,         // the next argument, and the switch even where none follows
    FollowedValue, // the next argument; where none follows the switch is left too
    JoinedValue,   // "-name=value" in one argument
};

struct Option {
    const char* name; // with one dash; the toolkit reads "--name" as "-name" too
    Takes takes;
};

// Each part of the toolkit reads the arguments the part before left, in this order: the
// platform's choice and the X11 platform (made first, with the event dispatcher), the core, the
// graphical application, the widgets.
constexpr Option kCore[] = {
    {"-qmljsdebugger", Takes::JoinedValue},
};
constexpr Option kGui[] = {
    {"-plugin", Takes::Value},          {"-reverse", Takes::Nothing},
    {"-session", Takes::FollowedValue}, {"-testability", Takes::Nothing},
    {"-style", Takes::JoinedValue},     {"-style", Takes::FollowedValue},
};
constexpr Option kPlatform[] = {
    {"-platformpluginpath", Takes::Value},
    {"-platform", Takes::Value},
    {"-platformtheme", Takes::Value},
    {"-qwindowgeometry", Takes::Value},
    {"-geometry", Takes::Value},
    {"-qwindowtitle", Takes::Value},
    {"-title", Takes::Value},
    {"-qwindowicon", Takes::Value},
    {"-icon", Takes::Value},
};
constexpr Option kX11[] = {
    {"-display", Takes::FollowedValue}, {"-name", Takes::FollowedValue},
    {"-visual", Takes::FollowedValue},  {"-nograb", Takes::Nothing},
    {"-dograb", Takes::Nothing},
};
constexpr Option kWidgets[] = {
    {"-qdevel", Takes::Nothing},           {"-qdebug", Takes::Nothing},
    {"-widgetcount", Takes::Nothing},      {"-style", Takes::JoinedValue},
    {"-style", Takes::FollowedValue},      {"-stylesheet", Takes::JoinedValue},
    {"-stylesheet", Takes::FollowedValue},
};

// How many arguments from `at` on the option there takes: 0 when it is none of `options`.
qsizetype Taken(std::span<const Option> options, const QStringList& arguments, qsizetype at) {
    QString argument = arguments[at];
    if (!argument.startsWith(u'-')) {
        return 0;
    }
    if (argument.startsWith(QLatin1String("--"))) {
        argument.remove(0, 1);
    }
    const bool followed = at + 1 < arguments.size();
    for (const Option& option : options) {
        const QLatin1String name(option.name);
        switch (option.takes) {
        case Takes::Nothing:
            if (argument == name) {
                return 1;
            }
            break;
        case Takes::Value:
            if (argument == name) {
                return followed ? 2 : 1;
            }
            break;
        case Takes::FollowedValue:
            if (argument == name && followed) {
                return 2;
            }
            break;
        case Takes::JoinedValue:
            if (argument.startsWith(name) && argument.mid(name.size()).startsWith(u'=')) {
                return 1;
            }
            break;
        }
    }
    return 0;
}

QStringList Pass(std::span<const Option> options, const QStringList& arguments) {
    QStringList left;
    for (qsizetype at = 0; at < arguments.size();) {
        const qsizetype taken = at == 0 ? 0 : Taken(options, arguments, at);
        if (taken == 0) {
            left << arguments[at];
            ++at;
        } else {
            at += taken;
        }
    }
    return left;
}

} // namespace

QStringList ArgumentsLeftByToolkit(const QStringList& arguments) {
    QStringList left = arguments;
    for (const std::span<const Option> options :
         {std::span<const Option>(kPlatform), std::span<const Option>(kX11),
          std::span<const Option>(kCore), std::span<const Option>(kGui),
          std::span<const Option>(kWidgets)}) {
        left = Pass(options, left);
    }
    return left;
}
