#pragma once

#include "CopyMode.h"
#include "DrawGrid.h"
#include "MapDocument.h"
#include "MapFile.h"

#include <QBrush>
#include <QMainWindow>
#include <QPoint>
#include <QString>
#include <array>
#include <memory>
#include <optional>

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class TIniGT;
class TLupe;
class TMapCellPainter;
class TPartsForm;
struct TForms;

// The main window: the map view with its menus and status bar. Owns the map document and
// the settings store that every window reads and writes its settings through.
class TMainForm : public QMainWindow
{
    Q_OBJECT

public:
    // FormCreate. An empty iniFileName means the program's own INI file beside it.
    TMainForm(TForms& forms, const QString& iniFileName = QString(), QWidget* parent = nullptr);
    // FormDestroy: writes the placement and "GridLineWidth".
    ~TMainForm() override;

    TIniGT& IniGT() { return *FIniGT; }
    TMapDocument& Document() { return FDoc; }
    uint16_t MapWidth() const { return FDoc.MapWidth(); }
    uint16_t MapHeight() const { return FDoc.MapHeight(); }
    void ExchangePartsInRect(const TCellRect& rect, uint8_t partA, uint8_t partB);

    // The map document's new map, plus the grid, the file name and the caption.
    void NewMap(int width, int height);
    // The same with the new map's stores already allocated; cannot fail.
    void NewMap(TMapDocument::TMapStores&& stores);
    void SetMapCaption(const QString& name);
    QString MapFileName() const { return FMapFileName; }

    // Map files. SaveMapOverwrite is false when nothing was saved: the dialog was
    // cancelled or the save failed (which the user has been told about).
    bool SaveMapFile(const QString& fileName);
    bool SaveMapOverwrite();
    bool LoadMapFile(const QString& fileName);
    // The map dialogs' default extension and filter (from the settings).
    void SetMapDialogExtension(const QString& extension);
    QString MapDialogExtension() const { return FMapExtension; }
    QStringList MapDialogFilters() const { return FMapFilters; }

    // The view.
    void ApplyZoom();
    void SetPaintMode();
    void SetRegionMode();
    void SetScrollMode();
    void SetLupeMode();
    void RedrawMapRect(int left, int top, int right, int bottom);
    void RepaintMap();
    // The other windows closed themselves: their View menu items lose the check mark.
    void PartsWindowClosed();
    void ToolBoxClosed();

    // Handlers, public so that tests and the other windows can run them as the user would.
    void MapGridBeginPaint(QPainter& canvas);
    void MapGridDrawCell(QPainter& canvas, int col, int row, const QRect& rect);
    void MapGridDrawCells(QPainter& canvas, const TGridRect& cells, const QRect& first, int pitchX,
                          int pitchY);
    void MapGridMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& pos);
    void MapGridMouseMove(Qt::KeyboardModifiers shift, const QPoint& pos);
    void MapGridMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& pos);
    void MapGridTopLeftChanged();
    void N1Click();
    void R1Click();
    void N2Click();
    void N3Click();
    void P1Click();
    void Cancel1Click();
    void Redo1Click();
    void G2Click();
    void A1Click();
    void F1Click();
    void A2Click();
    void Replace1Click();
    void PointMemoryClick(int k); // k = 0..4
    void PointRestoreClick(int k);
    void G1Click();
    void N12Click();
    void N13Click();
    void N14Click();
    void ShowTitle();
    void DropFiles(const QStringList& fileNames);

    // Controls.
    TDrawGrid* MapGrid;
    TLupe* Lupe; // the magnifier, over the current cell in part-graphic mode
    QLabel* StatusPanel0;
    QLabel* StatusPanel1;

    // Menu items, named as in the menu.
    QAction* N1;
    QAction* R1;
    QAction* N2;
    QAction* N3;
    QAction* P1;
    QAction* Exit1;
    QAction* N17;
    QAction* N18;
    QAction* N19;
    QAction* D1;
    QAction* Cancel1;
    QAction* Redo1;
    QAction* Replace1;
    QAction* G2;
    QAction* A1;
    QAction* A2;
    QAction* F1;
    QAction* N12;
    QAction* N13;
    QAction* G1;
    QMenu* PointMemoryMenu;  // "ポイントの記録(&M)"
    QMenu* PointRestoreMenu; // "ポイントへ移動(&R)"
    QAction* N14;
    QAction* Contents1;
    QAction* N7;
    QAction* About1;

    // The part shown in the magnifier.
    int LupePartNumber = 0;

    // Mouse-drag state of the map.
    bool MapDragActive = false;
    int MapDragButton = 0; // 0 left, 1 right, 2 middle
    int MapDragCol = 0;
    int MapDragRow = 0;

protected:
    void closeEvent(QCloseEvent* event) override; // FormCloseQuery
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createMenus();
    int zoomSize() const;
    std::optional<QString> runMapSaveDialog();
    TMapFileType saveType() const;
    TMapFileType loadType() const;
    bool inPaintMode() const;
    bool inScrollMode() const;
    bool inZoomView() const;
    void setModeUi(QAction* item, int buttonIndex, bool g2Enabled, bool lowerRow);
    bool closeQuery();

    TForms& FForms;
    std::unique_ptr<TIniGT> FIniGT;
    TMapDocument FDoc;
    std::unique_ptr<TMapCellPainter> FCellPainter;
    QActionGroup* FToolGroup;
    QString FMapFileName; // the name the map save dialog holds; empty when untitled
    QString FMapExtension = QStringLiteral("mpd");
    QStringList FMapFilters;
    QStringList FOpenFilters;
    std::array<QPoint, 5> FJumpPoints{}; // the jump points, for the whole run
};
