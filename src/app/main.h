#pragma once

#include "CopyMode.h"
#include "DrawGrid.h"
#include "LupeTransform.h"
#include "LupeUnit.h"
#include "MainFormLinks.h"
#include "MapCellPainter.h"
#include "MapDocument.h"
#include "MapFile.h"
#include "MapFileCommands.h"
#include "MapPictureJob.h"
#include "MapSession.h"
#include "MapTools.h"
#include "MapViewController.h"
#include "PartGraphicEditor.h"
#include "ProgramModels.h"
#include "Settings.h"

#include <QAction>
#include <QBrush>
#include <QColor>
#include <QMainWindow>
#include <QPoint>
#include <QString>
#include <array>
#include <memory>
#include <optional>

class QActionGroup;
class QLabel;
class QMenu;

// The main window: the map view with its menus and status bar. Shows the program's map
// document and follows the settings model; what it needs of other windows it asks through
// its links.
class TMainForm : public QMainWindow
{
    Q_OBJECT

public:
    // Reads the placement and "GridLineWidth", shows a new 101 x 101 map.
    TMainForm(const TProgramModels& models, TMainFormLinks& links, QWidget* parent = nullptr);
    // Writes the placement and "GridLineWidth".
    ~TMainForm() override;

    // Creation: untitled 101 x 101 map, the placement and grid lines read, a one-part group
    // part, dropped files taken.
    void FormCreate();
    // Closing: the unsaved map, then the unsaved parts, offered for saving; false keeps the
    // program open.
    bool FormCloseQuery() { return FFileCommands->QueryUnsavedChanges(); }
    // Destruction: the placement and "GridLineWidth" written.
    void FormDestroy();

    TMapDocument& Document() { return FDoc; }
    uint16_t MapWidth() const { return FDoc.MapWidth(); }
    uint16_t MapHeight() const { return FDoc.MapHeight(); }

    // The map document's new map, untitled.
    void NewMap(int width, int height) { FModels.Session.NewMap(width, height); }
    void SetMapCaption(const QString& name)
    {
        setWindowTitle(QStringLiteral("Quiltmapper - [") + name + QStringLiteral("]"));
    }
    QString MapFileName() const { return FModels.Session.MapFileName(); }
    // The file the map was loaded from, saved to or imported from; empty for a new map.
    QString MapSourceName() const { return FModels.Session.MapSourceName(); }

    // Map files. SaveMapOverwrite is false when nothing was saved: the dialog was
    // cancelled or the save failed (which the user has been told about).
    bool SaveMapFile(const QString& fileName) { return FFileCommands->SaveMapFile(fileName); }
    bool SaveMapOverwrite() { return FFileCommands->SaveOverwrite(); }
    bool LoadMapFile(const QString& fileName) { return FFileCommands->LoadMapFile(fileName); }
    // An item of the recent maps: the map is loaded after the questions of closing.
    void OpenRecentMap(const QString& fileName) { FFileCommands->OpenRecentMap(fileName); }
    // The map dialogs' default extension and filter (from the settings).
    void SetMapDialogExtension(const QString& extension);
    QString MapDialogExtension() const { return FMapExtension; }
    QStringList MapDialogFilters() const { return FMapFilters; }

    // The view.
    void ApplyZoom() { FView->ApplyZoom(); }
    // Makes tool the map tool; choosing the current one enters it again.
    void SelectMapTool(TMapTool tool);
    void SetPaintMode() { SelectMapTool(mtPaint); }
    void SetRegionMode() { SelectMapTool(mtRegion); }
    void SetScrollMode() { SelectMapTool(mtScroll); }
    void SetLupeMode() { SelectMapTool(mtLupe); }
    // Steps the zoom level (+1 closer, -1 farther), keeping the cell under anchor (a point
    // of the map grid's viewport) where it is. Ctrl+wheel steps around the pointer,
    // Ctrl+plus and Ctrl+minus around the middle of the view.
    void StepZoom(int step, const QPoint& anchor) { FView->StepZoom(step, anchor); }
    void ZoomIn1Click() { StepZoom(1, MapGrid->viewport()->rect().center()); }
    void ZoomOut1Click() { StepZoom(-1, MapGrid->viewport()->rect().center()); }
    void RedrawMapRect(int left, int top, int right, int bottom)
    {
        FView->RedrawRect(TCellRect{left, top, right, bottom}.NormalizeRect());
    }
    void RepaintMap() { FView->Repaint(); }
    // Redraws the cells on screen that show the part.
    void RedrawPart(int part) { FView->RedrawPart(part); }
    // The other windows closed themselves: their View menu items lose the check mark.
    void PartsWindowClosed() { N12->setChecked(false); }
    void ToolBoxClosed() { N13->setChecked(false); }
    void OverviewClosed() { Overview1->setChecked(false); }
    // The view's scale and place, which the overview follows and moves.
    TMapViewController& View() { return *FView; }

    // Handlers, public so that tests and the other windows can run them as the user would.
    void MapGridBeginPaint(QPainter& canvas);
    void MapGridDrawCell(QPainter& canvas, int col, int row, const QRect& rect)
    {
        FCellPainter->DrawCell(canvas, col, row, rect);
    }
    void MapGridDrawCells(QPainter& canvas, const TGridRect& cells, const QRect& first, int pitchX,
                          int pitchY)
    {
        FCellPainter->DrawCells(canvas, cells, first, pitchX, pitchY);
    }
    void MapGridMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& pos)
    {
        FTool->Press(button, shift, pos);
    }
    void MapGridMouseMove(Qt::KeyboardModifiers shift, const QPoint& pos)
    {
        FTool->Move(shift, pos);
    }
    void MapGridMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& pos)
    {
        FTool->Release(button, shift, pos);
    }
    void MapGridTopLeftChanged() { FPartEditor->Hide(); }
    void N1Click() { FFileCommands->NewMapClick(); }
    void R1Click() { FFileCommands->OpenClick(); }
    void N2Click() { FFileCommands->SaveOverwrite(); }
    void N3Click() { FFileCommands->SaveAsClick(); }
    void P1Click() { RunMapPictureJob(this, FModels, FLinks, MapFileName()); }
    // TMX interchange: the map and the current parts out, or a TMX map and its tiles in.
    void TmxExport1Click() { FFileCommands->TmxExportClick(); }
    void TmxImport1Click() { FFileCommands->TmxImportClick(); }
    // The magnifier's edits not yet stored are the newest: an undo stores and takes them
    // back (a redo brings them again); a redo stores them, which ends the redo.
    void Cancel1Click();
    void Redo1Click();
    void G2Click();
    void A1Click() { FSettings.SetRandomPlacement(!FSettings.RandomPlacement()); }
    void F1Click();
    void A2Click();
    // Fills the region with the chosen terrain.
    void TerrainFill1Click();
    void Replace1Click();
    void PointMemoryClick(int k); // k = 0..4
    void PointRestoreClick(int k);
    void G1Click();
    void Exit1Click() { close(); }
    void N17Click() { SetPaintMode(); }
    void N18Click() { SetRegionMode(); }
    void N19Click() { SetScrollMode(); }
    void D1Click() { SetLupeMode(); }
    void N12Click();
    void N13Click();
    void Overview1Click();
    // OK applies the settings, and with them the zoom, whatever changed: the view is
    // re-centred, and outside the zoom level the map goes back to scroll mode.
    void N14Click() { FLinks.RunSettingsDialog(); }
    void ShowTitle() { FLinks.ShowAbout(); }
    void DropFiles(const QStringList& fileNames) { FFileCommands->DropFiles(fileNames); }

    // Part-graphic editing in the magnifier, handed to its editor: the pixel tools on its
    // picture, in source pixels; a double click stores the picture.
    void LupeSourceMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& pos)
    {
        FPartEditor->SourceMouseDown(button, shift, pos);
    }
    void LupeSourceMouseMove(Qt::KeyboardModifiers, const QPoint& pos)
    {
        FPartEditor->SourceMouseMove(pos);
    }
    void LupeSourceMouseUp(Qt::MouseButton, Qt::KeyboardModifiers, const QPoint& pos)
    {
        FPartEditor->SourceMouseUp(pos);
    }
    void LupeDblClick() { StoreLupePart(); }
    // Writes the magnifier's picture back into part LupePartNumber, as one undo step; the
    // parts count as modified even when nothing was drawn.
    void StoreLupePart() { FPartEditor->Store(); }
    // The tool box's flips and turns of the magnifier's picture (stored with it later).
    void TransformLupe(TLupeTransform transform) { FPartEditor->Transform(transform); }
    // Whether the magnifier holds edits not yet stored into its part.
    bool LupeEdited() const { return FPartEditor->Edited(); }
    // The part whose copy the magnifier holds.
    int LupePartNumber() const { return FPartEditor->PartNumber(); }

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
    QMenu* RecentMapsMenu; // "最近使ったマップ(&M)"
    QAction* P1;
    QAction* TmxExport1;
    QAction* TmxImport1;
    QAction* Exit1;
    QAction* N17;
    QAction* N18;
    QAction* N19;
    QAction* D1;
    QAction* Terrain1;
    QAction* TerrainFill1;
    QAction* Cancel1;
    QAction* Redo1;
    QAction* Replace1;
    QAction* G2;
    QAction* A1;
    QAction* A2;
    QAction* F1;
    QAction* N12;
    QAction* N13;
    QAction* Overview1; // "全体図(&O)"
    QAction* G1;
    QMenu* PointMemoryMenu;  // "ポイントの記録(&M)"
    QMenu* PointRestoreMenu; // "ポイントへ移動(&R)"
    QAction* N14;
    QAction* Contents1;
    QAction* N7;
    QAction* About1;
    QAction* ZoomIn1;  // Ctrl+plus
    QAction* ZoomOut1; // Ctrl+minus

signals:
    // During a right-button pick in the magnifier, the colour under the pointer.
    void lupeColorShown(const QColor& color);

public:
    // Whether a mouse button drags on the map.
    bool MapDragActive() const { return FTool->Dragging(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createMenus();
    void createTools();
    void connectModels();
    // Puts the view in the state of a map tool: grid options, cursor, menu check marks.
    void enterMapTool(TMapTool tool);

    TProgramModels FModels;
    TMainFormLinks& FLinks;
    TSettings& FSettings;
    TMapDocument& FDoc;
    TPartsStore& FParts;
    std::unique_ptr<TMapCellPainter> FCellPainter;
    std::unique_ptr<TMapToolContext> FToolContext;
    std::array<std::unique_ptr<TMapGridTool>, 5> FTools; // one of each kind, by TMapTool
    TMapGridTool* FTool = nullptr;                       // the settings' map tool
    TPartGraphicEditor* FPartEditor; // the magnifier's part, its edits and their store
    TMapViewController* FView;       // the view's scale and place, and its repaints
    QActionGroup* FToolGroup;
    QString FMapExtension;
    QStringList FMapFilters;
    QStringList FOpenFilters;
    // The map-file commands with their dialogs; the session does the work.
    std::unique_ptr<TMapFileCommands> FFileCommands;
};
