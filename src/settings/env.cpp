#include "env.h"

#include "CmprsImg.h"
#include "Dialogs.h"
#include "Settings.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

// The built-in pictures live in the windows library, which is static: the resource must be
// named once for the linker to keep it. Outside any namespace, as the macro requires.
static void initBuiltInPictures()
{
    Q_INIT_RESOURCE(pictures);
}

namespace {

const QString Section = QStringLiteral("options");

QSpinBox* sizeSpin(QWidget* parent, int value)
{
    auto* spin = new QSpinBox(parent);
    spin->setRange(TSettings::MinCellSize, TSettings::MaxCellSize);
    spin->setValue(value);
    spin->setMaximumWidth(90);
    return spin;
}

} // namespace

TEnvDlg::TEnvDlg(TSettings& settings, QWidget* parent) : QDialog(parent), FSettings(settings)
{
    initBuiltInPictures();
    setObjectName(QStringLiteral("EnvDlg"));
    setWindowTitle(QStringLiteral("環境設定"));
    setFixedSize(415, 198);

    Pages = new QTabWidget(this);

    // "設定1": the cell sizes and the stay-on-top windows.
    auto* page1 = new QWidget;
    auto* zoomGroup = new QGroupBox(QStringLiteral("表示倍率の設定（１辺のドット数）"), page1);
    Spin_WideSize = sizeSpin(zoomGroup, 8);
    Spin_NormalSize = sizeSpin(zoomGroup, 32);
    Spin_ZoomSize = sizeSpin(zoomGroup, 256);
    auto* zoomLayout = new QGridLayout(zoomGroup);
    // Three rows and the check box below must fit the fixed page height.
    zoomLayout->setContentsMargins(8, 2, 8, 4);
    zoomLayout->setVerticalSpacing(2);
    zoomLayout->addWidget(new QLabel(QStringLiteral("wide"), zoomGroup), 0, 0);
    zoomLayout->addWidget(Spin_WideSize, 0, 1);
    zoomLayout->addWidget(new QLabel(QStringLiteral("normal"), zoomGroup), 1, 0);
    zoomLayout->addWidget(Spin_NormalSize, 1, 1);
    zoomLayout->addWidget(new QLabel(QStringLiteral("zoom"), zoomGroup), 2, 0);
    zoomLayout->addWidget(Spin_ZoomSize, 2, 1);

    auto* topGroup = new QGroupBox(QStringLiteral("常に上に表示する"), page1);
    Check_PartsOnTop = new QCheckBox(QStringLiteral("パーツウィンドウ"), topGroup);
    Check_ToolsOnTop = new QCheckBox(QStringLiteral("ツールボックス"), topGroup);
    Check_ToolsOnTop->setChecked(true);
    auto* topLayout = new QVBoxLayout(topGroup);
    topLayout->addWidget(Check_PartsOnTop);
    topLayout->addWidget(Check_ToolsOnTop);

    // Kept for the settings file only: the zoom level always draws through its own picture.
    Check_NonDim = new QCheckBox(QStringLiteral("zoom時にぼやけないようにする"), page1);
    Check_NonDim->setToolTip(QStringLiteral("一部のグラフィックボードに有効（スピードは落ちる）"));
    Check_NonDim->setChecked(true);
    Check_NonDim->setEnabled(false);

    auto* page1Layout = new QGridLayout(page1);
    page1Layout->setContentsMargins(6, 4, 6, 2);
    page1Layout->setVerticalSpacing(2);
    page1Layout->addWidget(zoomGroup, 0, 0);
    page1Layout->addWidget(topGroup, 0, 1, Qt::AlignTop);
    page1Layout->addWidget(Check_NonDim, 1, 0, 1, 2);
    page1Layout->setRowStretch(2, 1);

    // "設定2": the map files' extension and formats.
    auto* page2 = new QWidget;
    Edit_ExtName = new QLineEdit(QStringLiteral("mpd"), page2);
    Edit_ExtName->setFixedWidth(64);
    auto* extRow = new QHBoxLayout;
    extRow->addWidget(
        new QLabel(QStringLiteral("デフォルトの拡張子　（ピリオドは入れない）"), page2));
    extRow->addWidget(Edit_ExtName);
    extRow->addStretch();

    Image1 = new TCompressedImage(page2);
    Image1->SetTransparent(true);
    Image1->LoadResource(QStringLiteral(":/pictures/settings.cmp"));
    Image1->setFixedSize(89, 89);

    auto* saveGroup = new QGroupBox(QStringLiteral("セーブデータ形式"), page2);
    Radio_SaveFormat1 = new QRadioButton(QStringLiteral("タイプ１(旧形式)"), saveGroup);
    Radio_SaveFormat2 = new QRadioButton(QStringLiteral("タイプ２"), saveGroup);
    Radio_SaveFormat2->setChecked(true);
    auto* saveLayout = new QVBoxLayout(saveGroup);
    saveLayout->addWidget(Radio_SaveFormat1);
    saveLayout->addWidget(Radio_SaveFormat2);

    auto* loadGroup = new QGroupBox(QStringLiteral("ロードデータ形式"), page2);
    Radio_LoadFormat1 = new QRadioButton(QStringLiteral("タイプ１(旧形式)"), loadGroup);
    Radio_LoadFormat2 = new QRadioButton(QStringLiteral("タイプ２"), loadGroup);
    Radio_LoadFormat2->setChecked(true);
    auto* loadLayout = new QVBoxLayout(loadGroup);
    loadLayout->addWidget(Radio_LoadFormat1);
    loadLayout->addWidget(Radio_LoadFormat2);

    auto* formatRow = new QHBoxLayout;
    formatRow->addWidget(Image1, 0, Qt::AlignVCenter);
    formatRow->addWidget(saveGroup);
    formatRow->addWidget(loadGroup);
    auto* page2Layout = new QVBoxLayout(page2);
    page2Layout->addLayout(extRow);
    page2Layout->addLayout(formatRow);

    // "設定3": the title window.
    auto* page3 = new QWidget;
    Check_ShowTitleWindow =
        new QCheckBox(QStringLiteral("起動時にタイトルウィンドウを表示する"), page3);
    Check_ShowTitleWindow->setChecked(true);
    // The program the parts picture is edited in.
    Edit_PartsEditor = new QLineEdit(page3);
    Edit_PartsEditor->setPlaceholderText(QStringLiteral("空欄のときは画像の種類に合うプログラム"));
    auto* page3Layout = new QVBoxLayout(page3);
    page3Layout->addWidget(Check_ShowTitleWindow);
    page3Layout->addSpacing(6);
    page3Layout->addWidget(new QLabel(QStringLiteral("パーツ画像を編集するプログラム"), page3));
    page3Layout->addWidget(Edit_PartsEditor);
    page3Layout->addStretch();

    Pages->addTab(page1, QStringLiteral("設定1"));
    Pages->addTab(page2, QStringLiteral("設定2"));
    Pages->addTab(page3, QStringLiteral("設定3"));
    // The first showing opens on the file settings; later ones where the user left off.
    Pages->setCurrentIndex(1);

    QHBoxLayout* buttonRow = OkCancelRow(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);
    layout->addWidget(Pages);
    layout->addLayout(buttonRow);

    FormCreate();
}

void TEnvDlg::FormCreate()
{
    ShowSettings(FSettings);
    // The zoom size being edited is the one the zoom view draws its cells at; the grid's
    // cell size follows only when the settings are applied.
    connect(Spin_ZoomSize, &QSpinBox::valueChanged, &FSettings, &TSettings::SetZoomSize);
    connect(&FSettings, &TSettings::zoomSizeChanged, Spin_ZoomSize, &QSpinBox::setValue);
    TakeSnapshot();
    ApplySettings();
}

bool TEnvDlg::Edit()
{
    if (RunModal(this) != QDialog::Accepted) {
        RestoreSnapshot();
        return false;
    }
    TakeSnapshot();
    ApplySettings();
    return true;
}

void TEnvDlg::TakeSnapshot()
{
    SavedShowTitle = Check_ShowTitleWindow->isChecked();
    SavedWideSize = Spin_WideSize->value();
    SavedNormalSize = Spin_NormalSize->value();
    SavedZoomSize = Spin_ZoomSize->value();
    SavedPartsOnTop = Check_PartsOnTop->isChecked();
    SavedToolsOnTop = Check_ToolsOnTop->isChecked();
    SavedNonDim = Check_NonDim->isChecked();
    SavedExtName = Edit_ExtName->text();
    SavedPartsEditor = Edit_PartsEditor->text();
    SaveFormatType = SaveFormat();
    LoadFormatType = LoadFormat();
}

void TEnvDlg::RestoreSnapshot()
{
    Check_ShowTitleWindow->setChecked(SavedShowTitle);
    Spin_WideSize->setValue(SavedWideSize);
    Spin_NormalSize->setValue(SavedNormalSize);
    Spin_ZoomSize->setValue(SavedZoomSize);
    Check_PartsOnTop->setChecked(SavedPartsOnTop);
    Check_ToolsOnTop->setChecked(SavedToolsOnTop);
    Check_NonDim->setChecked(SavedNonDim);
    Edit_ExtName->setText(SavedExtName);
    Edit_PartsEditor->setText(SavedPartsEditor);
    SelectFormatRadios(SaveFormatType, LoadFormatType);
}

void TEnvDlg::ApplySettings()
{
    // All values change together; each window follows the ones it shows.
    TSettings edited(FSettings);
    edited.SetShowTitle(Check_ShowTitleWindow->isChecked());
    edited.SetWideSize(Spin_WideSize->value());
    edited.SetNormalSize(Spin_NormalSize->value());
    edited.SetZoomSize(Spin_ZoomSize->value());
    edited.SetPartsOnTop(Check_PartsOnTop->isChecked());
    edited.SetToolsOnTop(Check_ToolsOnTop->isChecked());
    edited.SetNonDim(Check_NonDim->isChecked());
    edited.SetExtName(Edit_ExtName->text());
    edited.SetSaveFormatType(SaveFormat());
    edited.SetLoadFormatType(LoadFormat());
    edited.SetPartsEditor(Edit_PartsEditor->text().trimmed());
    FSettings.Assign(edited);
    emit settingsApplied();
}

void TEnvDlg::ShowSettings(const TSettings& settings)
{
    Check_ShowTitleWindow->setChecked(settings.ShowTitle());
    Spin_WideSize->setValue(settings.WideSize());
    Spin_NormalSize->setValue(settings.NormalSize());
    Spin_ZoomSize->setValue(settings.ZoomSize());
    Check_PartsOnTop->setChecked(settings.PartsOnTop());
    Check_ToolsOnTop->setChecked(settings.ToolsOnTop());
    Check_NonDim->setChecked(settings.NonDim());
    Edit_ExtName->setText(settings.ExtName());
    Edit_PartsEditor->setText(settings.PartsEditor());
    SelectFormatRadios(settings.SaveFormatType(), settings.LoadFormatType());
}

void TEnvDlg::SelectFormatRadios(int saveType, int loadType)
{
    // Any other number leaves its pair as it is.
    if (saveType == 1)
        Radio_SaveFormat1->setChecked(true);
    else if (saveType == 2)
        Radio_SaveFormat2->setChecked(true);
    if (loadType == 1)
        Radio_LoadFormat1->setChecked(true);
    else if (loadType == 2)
        Radio_LoadFormat2->setChecked(true);
}

int TEnvDlg::SaveFormat() const
{
    return Radio_SaveFormat2->isChecked() ? 2 : 1;
}

int TEnvDlg::LoadFormat() const
{
    return Radio_LoadFormat2->isChecked() ? 2 : 1;
}
