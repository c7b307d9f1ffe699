// The wait window shown while the scan opens the PST file: a title-less
// pop-up centred on the screen with one line of text. Modeless, no owner.
#pragma once

#include <QDialog>

namespace tolvane {

class LoadIDialog : public QDialog {
    Q_OBJECT
public:
    LoadIDialog();
    // Centres on the screen and shows without taking the focus away.
    void ShowCentred();
};

}  // namespace tolvane
