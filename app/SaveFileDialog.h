#pragma once

#include <QFileDialog>

namespace voltrex {

// The toolkit's file save dialog, asking before it replaces a file, that also
// refuses a name it cannot honestly save to, while it is still open, so the
// user can correct the name at once: a file in a folder that does not exist
// (which would only fail later), and a read-only file (which the program
// could still replace, because a save writes a new file and renames it over
// the old one, without ever opening the old one for writing). Both are
// refused before the question whether to replace the file.
class SaveFileDialog : public QFileDialog {
    Q_OBJECT

  public:
    SaveFileDialog(QWidget* parent, const QString& caption, const QString& folder,
                   const QString& filter);

  protected:
    void accept() override;
};

}  // namespace voltrex
