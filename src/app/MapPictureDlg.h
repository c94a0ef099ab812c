#pragma once

#include "MainFormLinks.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QRadioButton;
class QSpinBox;

// The options of a full-map picture: the cell size (the part size, the map view's, or any
// from 1), the PNG compression level and tiles. Shows the picture's size as they change.
class TMapPictureDlg : public QDialog
{
    Q_OBJECT

public:
    explicit TMapPictureDlg(const TMapPictureRequest& request, QWidget* parent = nullptr);

    TMapPictureChoice Choice() const;

    QRadioButton* Radio_PartSize;
    QRadioButton* Radio_ViewSize;
    QRadioButton* Radio_CustomSize;
    QSpinBox* Spin_CellSize;
    QSpinBox* Spin_PngLevel;
    QCheckBox* Check_Split;
    QSpinBox* Spin_TileWidth;
    QSpinBox* Spin_TileHeight;
    QLabel* Label_PictureSize;

private:
    void updateControls();

    TMapPictureRequest FRequest;
};
