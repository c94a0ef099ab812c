#pragma once

#include "PartsStore.h"
#include "ProgramModels.h"

#include <QMainWindow>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QLabel;
class QMenu;
class TDrawGrid;
class TNkClipDetector;
class TPartsGridDrag;
class TPartsPictureFiles;
class TPictureFormats;
class TSPIs;
class TTerrainEditor;
struct TPartsPictureUse;

// "パーツウィンドウ": the 256 parts as a 16 x 16 grid at their own size. A click or drag
// picks the group part the map is painted with; its menus load and save the parts picture
// and move part graphics through the parts clipboard. Shows the program's parts store and
// follows its changes.
class TPartsForm : public QMainWindow
{
    Q_OBJECT

public:
    // Restores the placement from the settings file, then SetPartsSize(32, 32). With the
    // program's picture formats it makes the plug-in manager, which loads the plug-ins and
    // registers their formats there before any picture is read.
    explicit TPartsForm(const TProgramModels& models, TPictureFormats* formats = nullptr,
                        QWidget* parent = nullptr);
    // Writes the placement.
    ~TPartsForm() override;

    TPartsStore& Store() { return FStore; }

    // Operations the other windows call.
    void SetPartsSize(uint16_t width, uint16_t height); // store, grid cell size, grid (0, 0)
    uint16_t PartWidth() const { return FStore.PartWidth(); }
    uint16_t PartHeight() const { return FStore.PartHeight(); }
    void DrawPart(QPainter& canvas, const QRect& rect, int part) const;
    // At the zoom size of the settings.
    void DrawPartZoomed(QPainter& canvas, const QRect& rect, int part) const;
    void CapturePart(int part, const QImage& source, int x, int y);
    QImage& PartBitmap(int part) { return FStore.PartBitmap(part); }
    void ResetPart(int part) { FStore.ResetPart(part); }
    void SlicePartsPicture(const QImage& picture) { FStore.SlicePartsPicture(picture); }
    void ComposePartsPicture(QImage& picture) const { FStore.ComposePartsPicture(picture); }
    void WritePartsPicture(const QString& fileName) { FStore.WritePartsPicture(fileName); }
    // The parts grid's current cell as row * 16 + column.
    uint8_t SelectedPartNumber() const;
    // Makes part n the parts grid's current cell (column first, then row).
    void SelectPart(int part);
    bool IsPartsModified() const { return FStore.IsPartsModified(); }
    void SetPartsModified() { FStore.SetPartsModified(); }
    void ClearPartsModified() { FStore.ClearPartsModified(); }
    // Writes under the remembered name, or asks for one; false when the dialog was cancelled.
    bool SavePartsPicture();
    // Loads a picture into the parts; false when it could not, which the status bar says.
    bool LoadPartsPicture(const QString& fileName);
    // The picture the parts were last loaded from or saved to; empty after SetPartsSize.
    QString PictureInUse() const;
    // How the picture in use is used now (part size, its own size); empty without one.
    TPartsPictureUse PictureUse() const;
    // Loads the parts picture remembered for the map file, or at start the one last used.
    // A picture that is gone, no longer of its size or made for another part size is
    // skipped with a note in the status bar.
    void LoadPictureForMap(const QString& mapFileName);
    void LoadLastPicture();
    void RedrawPartsGrid();
    // The window's client size that shows all 16 x 16 parts, menu and status bar included.
    QSize WholeSheetSize() const;
    // Slices the picture on the system clipboard into the parts; nothing when it holds none.
    void ImportClipboardPicture();

    // Runs the transparency dialog: part `source` laid over a copy of `target`, or nullopt
    // on Cancel. Given by the program.
    std::function<std::optional<QImage>(int source, const QImage& target)> RunOverlay;
    // The file the map comes from (a map file or an imported one), empty when none, and
    // the map files' extensions: a parts picture without a name of its own is proposed
    // beside the map, and never under a map's name.
    std::function<QString()> MapSourceName;
    std::function<QStringList()> MapExtensions;

    TDrawGrid* PartsGrid;
    QLabel* StatusText; // the status bar's one panel

    QAction* N1; // "パーツ画像の読み込み(&R)..."
    QAction* N2; // "パーツ画像を上書き保存(&S)"
    QAction* N3; // "パーツ画像を名前を付けて保存(&N)..."
    QAction* ExternalEdit1; // "外部プログラムで編集(&X)"
    QAction* Copy1;
    QAction* Paste1;
    QAction* X1;
    QAction* D1;
    QAction* P1;
    QAction* N6;
    QAction* N5; // "クリップボードの監視(&W)", checkable
    QAction* G1; // "グリッドの表示(&G)", checkable

    // The terrain editor beside the grid, shown by its "地形の編集(&T)" in the view menu.
    TTerrainEditor* TerrainEditor;
    QMenu* PartsPopupMenu;
    QAction* C1;
    QAction* P2;
    QAction* X2;
    QAction* D2;
    // Listens for the whole life of the window; N5 decides whether a change is acted on.
    TNkClipDetector* ClipDetector;
    // The program's one plug-in manager; null without picture formats, or when another
    // manager already runs in the process.
    std::unique_ptr<TSPIs> SPIs;
    // The open dialog's filters: every format the picture formats hold now.
    QStringList OpenDialogFilters() const;

    // Handlers, public so that tests and the other windows can run them as the user would.
    void N1Click();
    void N2Click();
    void N3Click();
    // Opens the parts picture in the program of the settings, or the desktop's program for
    // its type, after offering to save unsaved parts; a save there comes back by itself.
    void ExternalEdit1Click();
    void G1Click();
    void Copy1Click();  // also C1
    void Paste1Click(); // also P2
    void X1Click();     // also X2
    void D1Click();     // also D2
    void P1Click();
    void N6Click();
    void N5Click();
    void ClipDetectorClipChange(QObject* sender);
    void PartsGridDrawCell(QPainter& canvas, int col, int row, const QRect& rect);
    void PartsGridMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& pos);
    void PartsGridMouseMove(Qt::KeyboardModifiers shift, const QPoint& pos);
    void PartsGridMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& pos);
    // A file dropped on the window (only the first of several is used).
    void DropFiles(const QStringList& fileNames);
    // Creation (the placement read, 32 x 32 parts), activation (dropped files accepted),
    // closing (only hidden) and destruction (the placement written).
    void FormCreate();
    void FormActivate();
    void FormClose();
    void FormDestroy();

signals:
    // The window was closed (it is only hidden).
    void closed();
    // The parts now come from this picture (loaded or saved), or from none (empty).
    void pictureInUseChanged(const QString& fileName);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createMenus();
    void createGrid();
    void showPartNumberStatus();
    void partsResized();

    TProgramModels FModels;
    TPartsStore& FStore;
    TPictureFormats* FFormats = nullptr;
    std::unique_ptr<TPartsPictureFiles> FPictureFiles;
    std::unique_ptr<TPartsGridDrag> FGridDrag;
    bool FClipWaiting = false; // a clipboard picture waits for a long operation's end
};
