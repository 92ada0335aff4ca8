#include "platform/composition.h"

namespace platform {

int IsCompositionEnabled(qint32& flag) {
    return Services<CompositionService>::Get().IsCompositionEnabled(flag);
}

int ExtendFrameIntoClient(QWidget* window, const Margins& margins) {
    return Services<CompositionService>::Get().ExtendFrameIntoClient(window, margins);
}

} // namespace platform
