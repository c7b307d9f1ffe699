// The application object: sets the process up and runs the main window
// modally for the life of the process.
#pragma once

#include "app/WindowServices.h"

#include <QString>

namespace tolvane {

class CQuenbyApp {
public:
    // `startFile` is chosen as if through Browse, and scanned at once when `scanAtStart`.
    CQuenbyApp(WindowServices services, QString startFile, bool scanAtStart = false);
    // Runs the main window; returns false when it has ended (no message loop follows).
    bool InitInstance();

private:
    WindowServices services_;
    QString startFile_;
    bool scanAtStart_ = false;
};

}  // namespace tolvane
