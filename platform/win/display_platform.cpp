#include "platform/display_platform.h"

namespace platform {

// Windows has one toolkit platform; the toolkit's own choice stands.
QByteArray ChosenDisplayPlatform() {
    return {};
}

} // namespace platform
