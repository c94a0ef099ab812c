#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class TCompressedImage;
class TSettings;

// "環境設定": edits the user's preferences. Its controls show the settings model; the zoom
// level's cell size (Spin_ZoomSize) feeds the model while it is edited, so that the cells of
// the zoom view are drawn at it at once; the other values are taken into the model by
// ApplySettings. The snapshot holds the values as they stood after the last confirmation,
// so that Cancel can put them back.
class TEnvDlg : public QDialog
{
    Q_OBJECT

public:
    // Builds the controls, then FormCreate.
    explicit TEnvDlg(TSettings& settings, QWidget* parent = nullptr);

    // The start: shows the settings' values, takes the snapshot and applies them.
    void FormCreate();
    // Shows the dialog modally. OK: TakeSnapshot, ApplySettings (true); Cancel:
    // RestoreSnapshot (false).
    bool Edit();
    // Sets the controls to the values.
    void ShowSettings(const TSettings& settings);
    void SelectFormatRadios(int saveType, int loadType);
    // Copies every control's value into the snapshot fields.
    void TakeSnapshot();
    // Puts the snapshot's values back into the controls.
    void RestoreSnapshot();
    // Takes the controls into the settings model, which the windows follow, and announces
    // settingsApplied (the map view applies its zoom again).
    void ApplySettings();

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
    QLineEdit* Edit_PartsEditor; // page "設定3": the program the parts picture is edited in
    TCompressedImage* Image1; // the decorative picture on page "設定2"

    // The snapshot: the values as they stood after the last confirmation.
    bool SavedShowTitle = true;
    bool SavedPartsOnTop = false;
    bool SavedToolsOnTop = true;
    bool SavedNonDim = true;
    int SavedWideSize = 0;
    int SavedNormalSize = 0;
    int SavedZoomSize = 0;
    QString SavedExtName;
    QString SavedPartsEditor;
    int SaveFormatType = 2;
    int LoadFormatType = 2;

signals:
    void settingsApplied();

private:
    TSettings& FSettings;
};
