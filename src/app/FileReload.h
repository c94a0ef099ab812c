#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class QLabel;
class QWidget;
class TDrawGrid;
class TMapSession;
class TSettings;

// Where the reload speaks and what it keeps in place: the windows the questions belong to,
// their status texts, the map grid whose view stays, and whether the magnifier holds part
// edits not yet stored (work not saved, like the parts' own, so asked about).
struct TFileReloadView
{
    QWidget* PartsWindow = nullptr;
    QLabel* PartsStatus = nullptr;
    QWidget* MainWindow = nullptr;
    QLabel* MapStatus = nullptr;
    TDrawGrid* MapGrid = nullptr;
    std::function<bool()> LupeEdited;
};

// Brings other programs' saves of the map file and of the parts picture into the editor,
// as undo steps. Work the user has not saved is not replaced without asking, and is one
// undo away when it is. What happened is said in the status bars: the parts window's for
// the picture, the main window's for the map.
class TFileReload : public QObject
{
    Q_OBJECT

public:
    // Lives as long as the view's windows: made a child of the parts window, which goes
    // before the main window.
    TFileReload(TMapSession& session, TSettings& settings, const TFileReloadView& view);

    static inline const QString PartsReloadedText =
        QStringLiteral("パーツ画像 %1 を読み込み直しました");
    static inline const QString PartsUnreadableText =
        QStringLiteral("パーツ画像 %1 を読み込めません");
    static inline const QString PartsKeptText =
        QStringLiteral("パーツ画像 %1 の変更を読み込みませんでした");
    static inline const QString PartsGoneText = QStringLiteral("パーツ画像 %1 が見つかりません");
    static inline const QString PartsQuestion =
        QStringLiteral("パーツ画像 %1 がほかのプログラムで変更されました。\n"
                       "読み込み直しますか？（いまの編集は「取り消し」で戻せます）");
    static inline const QString MapReloadedText =
        QStringLiteral("マップデータ %1 を読み込み直しました");
    static inline const QString MapUnreadableText =
        QStringLiteral("マップデータ %1 を読み込めません");
    static inline const QString MapOtherPartsText =
        QStringLiteral("マップデータ %1 はパーツのサイズが違うため読み込みません");
    static inline const QString MapKeptText =
        QStringLiteral("マップデータ %1 の変更を読み込みませんでした");
    static inline const QString MapGoneText = QStringLiteral("マップデータ %1 が見つかりません");
    static inline const QString MapQuestion =
        QStringLiteral("マップデータ %1 がほかのプログラムで変更されました。\n"
                       "読み込み直しますか？（いまの編集は「取り消し」で戻せます）");

private:
    void partsChanged(const QString& fileName);
    void mapChanged(const QString& fileName);
    void reloadParts(const QString& name);
    void reloadMap(const QString& name);
    // Asks whether to read the file again over unsaved work. One question at a time: later
    // changes of the same file are answered with it (a reload reads the file as it is
    // then), a change of the other file waits until it is answered.
    bool askReload(QWidget* parent, const QString& question, bool aboutParts);
    // Whether a change must wait: a long operation is reading the map and the parts on a
    // second thread, or a dialog is open (a question is not to come over it). What waits is
    // taken up once nothing stands in the way.
    bool mustWait();
    void takeUpWaiting();

    TMapSession& FSession;
    TSettings& FSettings;
    TFileReloadView FView;
    bool FAsking = false;
    QString FWaitingParts;
    QString FWaitingMap;
    QTimer FRetry;
};
