#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class TCompressedImage;
struct TForms;

// "環境設定": the user's preferences. Its controls are the live settings: other windows
// read them when they need a value.
class TEnvDlg : public QDialog
{
    Q_OBJECT

public:
    // FormCreate: reads the "options" keys, snapshots and applies them, and makes the title
    // window stay on top.
    explicit TEnvDlg(TForms& forms, QWidget* parent = nullptr);
    // FormDestroy: writes the ten keys.
    ~TEnvDlg() override;

    void TakeSnapshot();
    void RestoreSnapshot();
    void ApplySettings();
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

    // Snapshot of the values after the last confirmation.
    bool SavedShowTitle = true;
    bool SavedPartsOnTop = false;
    bool SavedToolsOnTop = true;
    bool SavedNonDim = true;
    int SavedWideSize = 8;
    int SavedNormalSize = 32;
    int SavedZoomSize = 256;
    QString SavedExtName;
    int SaveFormatType = 2;
    int LoadFormatType = 2;

private:
    void writeSettings();

    TForms& FForms;
};
