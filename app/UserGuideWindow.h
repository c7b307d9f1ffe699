// Shows the bundled HTML user guide when no help file sits in the start-up
// directory. A plain rich-text viewer: no scripts, nothing from the network.
#pragma once

#include <QDialog>

namespace tolvane {

class UserGuideWindow : public QDialog {
    Q_OBJECT
public:
    UserGuideWindow(const QString& address, QWidget* parent = nullptr);
};

}  // namespace tolvane
