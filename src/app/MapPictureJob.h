#pragma once

#include <QString>

class QWidget;
class TMainFormLinks;
struct TProgramModels;

// Saves the whole map as a picture, as the file menu does: asks for the file (BMP or PNG)
// and the options, refuses with the reason a picture that cannot be made, starts one of
// billions of pixels only when the user agrees, and writes it on a second thread behind a
// progress window whose Cancel leaves no file. Neither `mapFileName` (the map file in use)
// nor the parts picture in use is ever written over.
void RunMapPictureJob(QWidget* parent, const TProgramModels& models, TMainFormLinks& links,
                      const QString& mapFileName);
