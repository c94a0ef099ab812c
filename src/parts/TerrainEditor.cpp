#include "TerrainEditor.h"

#include "Dialogs.h"
#include "DrawGrid.h"
#include "TerrainStore.h"

#include <QAction>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

using namespace TerrainEdit;

namespace {

const QString NoneText = QStringLiteral("なし");

QIcon swatch(const QColor& color)
{
    QPixmap pixmap(14, 14);
    pixmap.fill(color);
    return QIcon(pixmap);
}

QPushButton* button(QWidget* parent, const QString& caption, const QString& tip = {})
{
    auto* b = new QPushButton(caption, parent);
    b->setToolTip(tip);
    return b;
}

} // namespace

TTerrainEditor::TTerrainEditor(TDrawGrid& grid, TTerrainStore& store, QMainWindow* window)
    : QDockWidget(QStringLiteral("地形の編集"), window), FGrid(grid), FStore(store), FWindow(window)
{
    setObjectName(QStringLiteral("TerrainEditor"));
    toggleViewAction()->setText(QStringLiteral("地形の編集(&T)"));
    build();
    window->addDockWidget(Qt::RightDockWidgetArea, this);
    hide();
    // Shown from the menu, the window widens by what the grid lost to the editor, up to the
    // width that shows the whole sheet.
    connect(toggleViewAction(), &QAction::triggered, this, [this](bool shown) {
        const int line = FGrid.GridLineWidth();
        const int whole =
            FGrid.ColCount() * (FGrid.DefaultColWidth() + line) + line + 2 * FGrid.frameWidth();
        if (shown && whole > FGrid.width())
            FWindow->resize(FWindow->width() + whole - FGrid.width(), FWindow->height());
    });
    connect(&FStore, &TTerrainStore::writeFailed, this, [this](const QString& error) {
        say(QStringLiteral("地形ファイルを保存できません: %1").arg(error));
    });
    // The terrain chosen to paint with (in the tool box, or the last run's) is the one edited.
    connect(&FStore, &TTerrainStore::choiceChanged, this, &TTerrainEditor::followChoice);
    connect(&FStore, &TTerrainStore::setsChanged, this, [this] {
        if (FEditing)
            return;
        FDrag.reset(); // marks made on sets that are gone
        showSheet();
        FGrid.InvalidateGrid();
    });

    takeOverGrid();
    showSheet();
}

void TTerrainEditor::build()
{
    auto* body = new QWidget(this);
    auto* column = new QVBoxLayout(body);
    Problem = new QLabel(body);
    Problem->setObjectName(QStringLiteral("TerrainProblem"));
    Problem->setWordWrap(true);
    column->addWidget(Problem);

    auto* sets = new QHBoxLayout;
    SetCombo = new QComboBox(body);
    SetCombo->setObjectName(QStringLiteral("TerrainSetList"));
    QPushButton* addSet = button(body, QStringLiteral("追加"), QStringLiteral("地形セットを追加"));
    QPushButton* deleteSet =
        button(body, QStringLiteral("削除"), QStringLiteral("地形セットを削除"));
    sets->addWidget(SetCombo, 1);
    sets->addWidget(addSet);
    sets->addWidget(deleteSet);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("地形セット:"), sets);
    SetName = new QLineEdit(body);
    form->addRow(QStringLiteral("名前:"), SetName);
    SetType = new QComboBox(body);
    SetType->addItems(
        {QStringLiteral("コーナー"), QStringLiteral("エッジ"), QStringLiteral("混合")});
    form->addRow(QStringLiteral("種類:"), SetType);
    column->addLayout(form);

    ColorList = new QListWidget(body);
    ColorList->setObjectName(QStringLiteral("TerrainColorList"));
    ColorList->setMinimumHeight(60);
    column->addWidget(ColorList, 1);
    auto* colorButtons = new QHBoxLayout;
    QPushButton* addColor = button(body, QStringLiteral("色を追加"));
    QPushButton* deleteColor = button(body, QStringLiteral("色を削除"));
    colorButtons->addWidget(addColor);
    colorButtons->addWidget(deleteColor);
    column->addLayout(colorButtons);
    auto* colorForm = new QFormLayout;
    auto* nameRow = new QHBoxLayout;
    ColorName = new QLineEdit(body);
    ColorSwatch = new QToolButton(body);
    ColorSwatch->setToolTip(QStringLiteral("地形の色を選ぶ"));
    nameRow->addWidget(ColorName, 1);
    nameRow->addWidget(ColorSwatch);
    colorForm->addRow(QStringLiteral("地形:"), nameRow);
    auto* tileRow = new QHBoxLayout;
    Representative = new QLabel(body);
    QPushButton* setTile = button(body, QStringLiteral("選択中のパーツ"),
                                  QStringLiteral("パーツ一覧で選んでいるパーツを代表にする"));
    tileRow->addWidget(Representative, 1);
    tileRow->addWidget(setTile);
    colorForm->addRow(QStringLiteral("代表パーツ:"), tileRow);
    column->addLayout(colorForm);

    Marking = new QCheckBox(QStringLiteral("クリックで印を付ける"), body);
    Marking->setToolTip(QStringLiteral("パーツの角や辺をクリックして地形の印を付ける。右クリック"
                                       "（Ctrl+クリック）で消す"));
    Marking->setChecked(true);
    column->addWidget(Marking);
    auto* layoutForm = new QFormLayout;
    OtherColor = new QComboBox(body);
    layoutForm->addRow(QStringLiteral("相手の地形:"), OtherColor);
    auto* stamps = new QHBoxLayout;
    QPushButton* stamp16 =
        button(body, QStringLiteral("16 パーツ配置"),
               QStringLiteral("選択中のパーツから 4 x 4 にコーナー（エッジ）の組み合わせを付ける"));
    QPushButton* stamp47 =
        button(body, QStringLiteral("47 パーツ配置"),
               QStringLiteral("選択中のパーツから 8 x 6 に 47 パーツのブロブを付ける"));
    stamps->addWidget(stamp16);
    stamps->addWidget(stamp47);
    layoutForm->addRow(QStringLiteral("一括:"), stamps);
    column->addLayout(layoutForm);
    setWidget(body);

    connect(SetCombo, &QComboBox::activated, this, &TTerrainEditor::SelectSet);
    connect(addSet, &QPushButton::clicked, this, &TTerrainEditor::AddSet);
    connect(deleteSet, &QPushButton::clicked, this, [this] {
        if (!currentSet())
            return;
        const QString name = currentSet()->Name;
        // The sets may have been read again while the question was open.
        if (AskConfirm(this, QStringLiteral("地形セット「%1」を削除しますか？").arg(name),
                       TConfirmButtons::YesNo) == TAnswer::Yes &&
            currentSet() && currentSet()->Name == name)
            DeleteSet();
    });
    connect(SetName, &QLineEdit::editingFinished, this, [this] {
        const QString name = SetName->text().trimmed();
        if (!currentSet() || name.isEmpty() || name == currentSet()->Name)
            return;
        edit([&](TTerrainSheet& sheet, TWangSet* set) {
            set->Name = UniqueSetName(sheet, name);
            return true;
        });
    });
    connect(SetType, &QComboBox::activated, this, [this](int type) {
        if (currentSet() && TWangType(type) != currentSet()->Type)
            edit([type](TTerrainSheet&, TWangSet* set) {
                TerrainEdit::SetType(*set, TWangType(type));
                return true;
            });
    });
    connect(ColorList, &QListWidget::currentRowChanged, this,
            [this](int row) { SelectColor(row + 1); });
    connect(addColor, &QPushButton::clicked, this, &TTerrainEditor::AddColor);
    connect(deleteColor, &QPushButton::clicked, this, &TTerrainEditor::DeleteColor);
    connect(ColorName, &QLineEdit::editingFinished, this, [this] {
        const QString name = ColorName->text().trimmed();
        if (FColor < 1 || !currentSet() || name.isEmpty() ||
            name == currentSet()->Colors[FColor - 1].Name)
            return;
        edit([&](TTerrainSheet&, TWangSet* set) {
            set->Colors[size_t(FColor - 1)].Name = name;
            return true;
        });
    });
    connect(ColorSwatch, &QToolButton::clicked, this, [this] {
        if (FColor < 1 || !currentSet())
            return;
        const QColor color = QColorDialog::getColor(currentSet()->Colors[FColor - 1].Color, this,
                                                    QStringLiteral("地形の色"));
        // The sets may have been read again while the dialog was open.
        if (color.isValid())
            edit([&](TTerrainSheet&, TWangSet* set) {
                if (!set || FColor < 1 || FColor > int(set->Colors.size()))
                    return false;
                set->Colors[size_t(FColor - 1)].Color = color;
                return true;
            });
    });
    connect(setTile, &QPushButton::clicked, this, &TTerrainEditor::SetRepresentativePart);
    connect(stamp16, &QPushButton::clicked, this, [this] { StampLayout(TLayout::Corner16); });
    connect(stamp47, &QPushButton::clicked, this, [this] { StampLayout(TLayout::Blob47); });
}

const TWangSet* TTerrainEditor::currentSet() const
{
    const auto& sets = FStore.Sheet().Sets;
    return FSet >= 0 && FSet < int(sets.size()) ? &sets[size_t(FSet)] : nullptr;
}

int TTerrainEditor::selectedPart() const
{
    return FGrid.Row() * SheetSide + FGrid.Col();
}

void TTerrainEditor::say(const QString& text)
{
    FWindow->statusBar()->showMessage(text, 15000);
}

void TTerrainEditor::showSheet()
{
    const auto& sets = FStore.Sheet().Sets;
    FSet = sets.empty() ? -1 : std::clamp(FSet, 0, int(sets.size()) - 1);
    const QSignalBlocker blockSets(SetCombo);
    SetCombo->clear();
    for (const TWangSet& set : sets)
        SetCombo->addItem(set.Name);
    SetCombo->setCurrentIndex(FSet);
    SetName->setText(currentSet() ? currentSet()->Name : QString());
    SetType->setCurrentIndex(currentSet() ? int(currentSet()->Type) : 0);
    QString problem = FStore.EditProblem();
    if (problem.isEmpty() && FStore.FileName().isEmpty())
        problem = QStringLiteral("パーツ画像を保存すると、地形セットもその横に保存されます");
    Problem->setText(problem);
    Problem->setVisible(!problem.isEmpty());
    showColors();
}

void TTerrainEditor::showColors()
{
    const TWangSet* set = currentSet();
    const int count = set ? int(set->Colors.size()) : 0;
    FColor = count == 0 ? 0 : std::clamp(FColor, 1, count);
    {
        const QSignalBlocker blockList(ColorList);
        ColorList->clear();
        OtherColor->clear();
        OtherColor->addItem(NoneText);
        for (int c = 0; c < count; ++c) {
            const TWangColor& color = set->Colors[size_t(c)];
            ColorList->addItem(new QListWidgetItem(swatch(color.Color), color.Name));
            OtherColor->addItem(swatch(color.Color), color.Name);
        }
        ColorList->setCurrentRow(FColor - 1);
    }
    // The other terrain of a layout: the next colour, or none in a one-colour set.
    OtherColor->setCurrentIndex(count < 2 ? 0 : FColor % count + 1);
    const TWangColor* color = FColor > 0 ? &set->Colors[size_t(FColor - 1)] : nullptr;
    ColorName->setText(color ? color->Name : QString());
    ColorSwatch->setIcon(swatch(color ? color->Color : QColor(Qt::transparent)));
    Representative->setText(!color || color->Tile < 0 ? NoneText : QString::number(color->Tile));
    takeIds();
    enableControls();
}

void TTerrainEditor::enableControls()
{
    const bool editable = FStore.EditProblem().isEmpty();
    const bool set = editable && currentSet();
    const bool color = set && FColor > 0;
    for (QWidget* w : widget()->findChildren<QWidget*>())
        w->setEnabled(editable);
    Problem->setEnabled(true);
    for (QWidget* w : std::initializer_list<QWidget*>{SetName, SetType, ColorList, Marking})
        w->setEnabled(set);
    for (QWidget* w : std::initializer_list<QWidget*>{ColorName, ColorSwatch, OtherColor})
        w->setEnabled(color);
    updateGridOptions();
}

void TTerrainEditor::edit(const std::function<bool(TTerrainSheet&, TWangSet*)>& change,
                          const TCellRect* parts)
{
    if (!FStore.EditProblem().isEmpty())
        return;
    TTerrainSheet sheet = FStore.Sheet();
    TWangSet* set =
        FSet >= 0 && FSet < int(sheet.Sets.size()) ? &sheet.Sets[size_t(FSet)] : nullptr;
    if (!change(sheet, set))
        return;
    // The edited set and colour stay chosen: the store announces one choice, not two.
    if (set)
        FStore.Prefer(set->Name, FColor);
    FEditing = true;
    FStore.Edit(sheet);
    FEditing = false;
    if (parts) {
        takeIds();
        FGrid.InvalidateRect(*parts);
    } else {
        showSheet();
        FGrid.InvalidateGrid();
    }
    chooseInStore();
}

void TTerrainEditor::chooseInStore()
{
    const TWangSet* set = currentSet();
    if (!set)
        return;
    const auto& painting = FStore.Sets();
    for (size_t i = 0; i < painting.size(); ++i) {
        if (painting[i].Name == set->Name) {
            FStore.Choose(int(i), FColor);
            return;
        }
    }
}

void TTerrainEditor::followChoice()
{
    const TWangSet* chosen = FStore.ChosenSet();
    if (FEditing || !chosen)
        return;
    const auto& sets = FStore.Sheet().Sets;
    const auto at = std::find_if(sets.begin(), sets.end(),
                                 [chosen](const TWangSet& s) { return s.Name == chosen->Name; });
    const int set = int(at - sets.begin());
    if (at == sets.end() || (set == FSet && FStore.Color() == FColor))
        return;
    const bool otherSet = set != FSet;
    FSet = set;
    FColor = FStore.Color();
    showSheet();
    if (otherSet)
        FGrid.InvalidateGrid();
}

void TTerrainEditor::SelectSet(int set)
{
    FSet = set;
    FColor = 1;
    showSheet();
    FGrid.InvalidateGrid();
    chooseInStore();
}

void TTerrainEditor::SelectColor(int color)
{
    if (color == FColor || color < 1)
        return;
    FColor = color;
    showColors();
    chooseInStore();
}

void TTerrainEditor::AddSet()
{
    edit([this](TTerrainSheet& sheet, TWangSet*) {
        FSet = TerrainEdit::AddSet(sheet, UniqueSetName(sheet, QStringLiteral("地形セット")),
                                   TWangType::Corner);
        TWangSet& set = sheet.Sets[size_t(FSet)];
        FColor = TerrainEdit::AddColor(set, QStringLiteral("地形 1"), SuggestedColor(set));
        return true;
    });
}

void TTerrainEditor::DeleteSet()
{
    edit([this](TTerrainSheet& sheet, TWangSet* set) {
        if (!set)
            return false;
        TerrainEdit::DeleteSet(sheet, FSet);
        FColor = 1;
        return true;
    });
}

void TTerrainEditor::AddColor()
{
    edit([this](TTerrainSheet&, TWangSet* set) {
        if (!set)
            return false;
        const int added = TerrainEdit::AddColor(
            *set, QStringLiteral("地形 %1").arg(set->Colors.size() + 1), SuggestedColor(*set));
        if (added)
            FColor = added;
        return added > 0;
    });
}

void TTerrainEditor::DeleteColor()
{
    edit([this](TTerrainSheet&, TWangSet* set) {
        if (!set || FColor < 1)
            return false;
        TerrainEdit::DeleteColor(*set, FColor);
        return true;
    });
}

void TTerrainEditor::SetRepresentativePart()
{
    const int part = selectedPart();
    edit([this, part](TTerrainSheet&, TWangSet* set) {
        if (!set || FColor < 1)
            return false;
        set->Colors[size_t(FColor - 1)].Tile = part;
        if (set->Tile < 0)
            set->Tile = part;
        return true;
    });
}

bool TTerrainEditor::StampLayout(TLayout layout)
{
    const TWangSet* current = currentSet();
    if (!current || FColor < 1) {
        say(QStringLiteral("並べる地形セットと色を選んでください"));
        return false;
    }
    const int topLeft = selectedPart();
    const QString problem = LayoutProblem(*current, layout, topLeft);
    if (!problem.isEmpty()) {
        say(problem);
        return false;
    }
    const QSize size = LayoutSize(layout);
    const TCellRect block{topLeft % SheetSide, topLeft / SheetSide,
                          topLeft % SheetSide + size.width() - 1,
                          topLeft / SheetSide + size.height() - 1};
    const auto other = uint8_t(std::max(0, OtherColor->currentIndex()));
    edit(
        [&](TTerrainSheet&, TWangSet* set) {
            return TerrainEdit::StampLayout(*set, layout, topLeft, uint8_t(FColor), other);
        },
        &block);
    return true;
}
