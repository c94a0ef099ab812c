#pragma once

#include <QString>
#include <functional>

class QWidget;
class TPartsStore;

// Hands the parts picture to another program: `editor` with the file as its one argument,
// or, when empty, the desktop's program for the picture's type. Unsaved parts are offered
// to be saved first (`save` saves them, false when the user cancelled its dialog), as on
// closing; parts without a picture of their own are saved first. `picture` gives the
// picture in use after that. Returns the status text to show (empty: nothing to say).
QString EditPartsPictureElsewhere(QWidget* parent, const TPartsStore& parts, const QString& editor,
                                  const std::function<bool()>& save,
                                  const std::function<QString()>& picture);
