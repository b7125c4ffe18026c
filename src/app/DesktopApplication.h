#pragma once

namespace tessarin {

// Every start that is not an agent command ends up here: the desktop
// application's entry point.
int runDesktopApplication(int argc, char** argv);

}  // namespace tessarin
