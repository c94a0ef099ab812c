#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class TCompressedImage;
class TSettings;

// "環境設定": edits the user's preferences. Its controls show a copy of the settings model,
// taken into the model at once on OK; Cancel leaves the model as it was.
class TEnvDlg : public QDialog
{
    Q_OBJECT

public:
    explicit TEnvDlg(TSettings& settings, QWidget* parent = nullptr);

    // Shows the dialog with the settings' values; OK takes the controls into the settings
    // (true), Cancel changes nothing (false).
    bool Edit();
    // Sets the controls to the values.
    void ShowSettings(const TSettings& settings);
    void SelectFormatRadios(int saveType, int loadType);

    // The map file types chosen (1 or 2), read from the radio buttons.
    int SaveFormat() const;
    int LoadFormat() const;

    QTabWidget* Pages;
    QSpinBox* Spin_WideSize;
    QSpinBox* Spin_NormalSize;
    QSpinBox* Spin_ZoomSize;
    QCheckBox* Check_PartsOnTop;
    QCheckBox* Check_ToolsOnTop;
    QCheckBox* Check_NonDim;
    QLineEdit* Edit_ExtName;
    QRadioButton* Radio_SaveFormat1;
    QRadioButton* Radio_SaveFormat2;
    QRadioButton* Radio_LoadFormat1;
    QRadioButton* Radio_LoadFormat2;
    QCheckBox* Check_ShowTitleWindow;
    TCompressedImage* Image1; // the decorative picture on page "設定2"

private:
    TSettings& FSettings;
};
