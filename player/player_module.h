#pragma once

// The face of the player module (libvistrel_player): the player window, the viewer control and
// the web engine's start-up, loaded by the program at the first connection. The module has one
// entry point, which gives its PlayerWindowService. The module uses the program's own code (the
// dialog templates, the bridge's answers, the services) from the program that loads it.

class PlayerWindowService;

namespace playermodule {

// The module's bare name for platform::LoadableModule.
inline constexpr char kName[] = "vistrel_player";
inline constexpr char kEntryPoint[] = "VistrelPlayerWindows";
// Changes whenever PlayerWindowService or CPlayerDlg's virtual operations change.
inline constexpr int kInterfaceVersion = 1;

// The entry point's type: the module's service for this interface version, or nullptr when the
// module was built for another.
using EntryPoint = PlayerWindowService* (*)(int interfaceVersion);

} // namespace playermodule

extern "C" PlayerWindowService* VistrelPlayerWindows(int interfaceVersion);
