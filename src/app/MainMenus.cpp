#include "MainMenus.h"

#include "main.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <map>
#include <memory>
#include <utility>

TMenuEntry TMenuEntry::Item(const QString& menu, const QString& name, const QString& caption,
                            QAction** action, std::function<void()> handler)
{
    TMenuEntry entry;
    entry.Menu = menu;
    entry.Name = name;
    entry.Caption = caption;
    entry.Action = action;
    entry.Handler = std::move(handler);
    return entry;
}

TMenuEntry TMenuEntry::Separator(const QString& menu)
{
    TMenuEntry entry;
    entry.Kind = SeparatorKind;
    entry.Menu = menu;
    return entry;
}

TMenuEntry TMenuEntry::Submenu(const QString& menu, const QString& name, const QString& caption,
                               QMenu** submenu)
{
    TMenuEntry entry;
    entry.Kind = SubmenuKind;
    entry.Menu = menu;
    entry.Name = name;
    entry.Caption = caption;
    entry.SubMenu = submenu;
    return entry;
}

TMenuEntry TMenuEntry::Key(const QString& name, const QString& caption, QAction** action,
                           std::function<void()> handler)
{
    TMenuEntry entry = Item(QString(), name, caption, action, std::move(handler));
    entry.Kind = KeyKind;
    return entry;
}

TMenuEntry& TMenuEntry::Keys(const QList<QKeySequence>& shortcuts)
{
    Shortcuts = shortcuts;
    return *this;
}

TMenuEntry& TMenuEntry::Checks(bool checked, QActionGroup* group)
{
    Checkable = true;
    Checked = checked;
    Group = group;
    return *this;
}

TMenuEntry& TMenuEntry::EnabledWhen(std::function<bool()> rule)
{
    Enabled = std::move(rule);
    return *this;
}

std::function<void()> BuildMenus(QMenuBar* bar, QWidget* window,
                                 const std::vector<TMenuEntry>& entries)
{
    std::map<QString, QMenu*> menus;
    const auto menuOf = [&](const QString& path) {
        QMenu*& menu = menus[path];
        if (!menu)
            menu = bar->addMenu(path);
        return menu;
    };
    auto rules = std::make_shared<std::vector<std::pair<QAction*, std::function<bool()>>>>();
    for (const TMenuEntry& entry : entries) {
        switch (entry.Kind) {
        case TMenuEntry::SeparatorKind:
            menuOf(entry.Menu)->addSeparator();
            continue;
        case TMenuEntry::SubmenuKind: {
            QMenu* sub = menuOf(entry.Menu)->addMenu(entry.Caption);
            sub->setObjectName(entry.Name);
            menus[entry.Menu + QLatin1Char('/') + entry.Caption] = sub;
            if (entry.SubMenu)
                *entry.SubMenu = sub;
            continue;
        }
        case TMenuEntry::ItemKind:
        case TMenuEntry::KeyKind:
            break;
        }
        QAction* action = nullptr;
        if (entry.Kind == TMenuEntry::KeyKind) {
            action = new QAction(entry.Caption, window);
            window->addAction(action);
        } else {
            action = menuOf(entry.Menu)->addAction(entry.Caption);
        }
        action->setObjectName(entry.Name);
        action->setShortcuts(entry.Shortcuts);
        action->setCheckable(entry.Checkable);
        action->setChecked(entry.Checked);
        if (entry.Group)
            entry.Group->addAction(action);
        if (entry.Action)
            *entry.Action = action;
        if (entry.Enabled) {
            action->setEnabled(entry.Enabled());
            rules->emplace_back(action, entry.Enabled);
        }
        if (!entry.Handler)
            continue;
        QObject::connect(action, &QAction::triggered, window,
                         [action, handler = entry.Handler](bool checked) {
                             if (action->isCheckable())
                                 action->setChecked(!checked);
                             handler();
                         });
    }
    return [rules] {
        for (const auto& [action, enabled] : *rules)
            action->setEnabled(enabled());
    };
}

// ---------------------------------------------------------------------------------------
// The main window's menus

void TMainForm::createMenus()
{
    menuBar()->setObjectName(QStringLiteral("MainMenu"));
    FToolGroup = new QActionGroup(this);
    const QString file = QStringLiteral("ファイル(&F)");
    const QString tool = QStringLiteral("ツール(&T)");
    const QString edit = QStringLiteral("編集(&E)");
    const QString view = QStringLiteral("表示(&V)");
    const QString jump = QStringLiteral("ジャンプ(&J)");
    const QString options = QStringLiteral("オプション(&O)");
    const QString help = QStringLiteral("ヘルプ(&H)");
    const auto never = [] { return false; };
    using E = TMenuEntry;
    std::vector<TMenuEntry> entries = {
        E::Item(file, "N1", "マップデータの新規作成(&N)...", &N1, [this] { N1Click(); })
            .Keys({Qt::CTRL | Qt::Key_N}),
        E::Item(file, "R1", "マップデータの読みこみ(&L)...", &R1, [this] { R1Click(); })
            .Keys({Qt::CTRL | Qt::Key_O}),
        E::Submenu(file, "RecentMapsMenu", "最近使ったマップ(&M)", &RecentMapsMenu),
        E::Item(file, "N2", "マップデータを上書き保存(&S)", &N2, [this] { N2Click(); })
            .Keys({Qt::CTRL | Qt::Key_S}),
        E::Item(file, "N3", "マップデータを名前を付けて保存(&R)...", &N3, [this] { N3Click(); }),
        E::Separator(file),
        E::Item(file, "P1", "マップ全景を画像ファイルに保存(&P)", &P1, [this] { P1Click(); }),
        E::Item(file, "TmxExport1", "TMX形式で書き出す(&T)...", &TmxExport1,
                [this] { TmxExport1Click(); }),
        E::Item(file, "TmxImport1", "TMX形式を読み込む(&I)...", &TmxImport1,
                [this] { TmxImport1Click(); }),
        E::Separator(file),
        E::Item(file, "Exit1", "終了(&X)", &Exit1, [this] { Exit1Click(); }),

        E::Item(tool, "N17", "パーツ描画(&P)", &N17, [this] { N17Click(); })
            .Keys({Qt::Key_F1})
            .Checks(false, FToolGroup),
        E::Item(tool, "N18", "特殊編集領域指定(&R)", &N18, [this] { N18Click(); })
            .Keys({Qt::Key_F2})
            .Checks(false, FToolGroup),
        E::Item(tool, "N19", "スクロール(&S)", &N19, [this] { N19Click(); })
            .Keys({Qt::Key_F3})
            .Checks(false, FToolGroup),
        // Pixels are edited only at the zoom level.
        E::Item(tool, "D1", "パーツグラフィック編集(&D)", &D1, [this] { D1Click(); })
            .Keys({Qt::Key_F4})
            .Checks(false, FToolGroup)
            .EnabledWhen([this] { return FSettings.ZoomLevel() == zlZoom; }),

        E::Item(edit, "Cancel1", "取り消し(&U)", &Cancel1, [this] { Cancel1Click(); })
            .Keys({Qt::CTRL | Qt::Key_Z})
            .EnabledWhen([this] { return FDoc.UndoAvailable(); }),
        E::Item(edit, "Redo1", "やり直し(&Y)", &Redo1, [this] { Redo1Click(); })
            .Keys({Qt::CTRL | Qt::Key_Y})
            .EnabledWhen([this] { return FDoc.RedoAvailable(); }),
        E::Item(edit, "Replace1", "置換(&R)...", &Replace1, [this] { Replace1Click(); }),
        // The group part is taken from the region selected in region mode.
        E::Item(edit, "G2", "グループパーツとして取得(&G)", &G2, [this] { G2Click(); })
            .Keys({Qt::CTRL | Qt::Key_C})
            .EnabledWhen([this] { return FSettings.MapTool() == mtRegion; }),
        E::Item(edit, "A1", "ランダムに配置(A)", &A1, [this] { A1Click(); })
            .Keys({Qt::CTRL | Qt::Key_R})
            .Checks(FSettings.RandomPlacement()),
        E::Separator(edit),
        E::Item(edit, "A2", "全て選択(&A)", &A2, [this] { A2Click(); })
            .Keys({Qt::CTRL | Qt::Key_A}),
        E::Item(edit, "F1", "グループパーツで全マップを埋める(&F)", &F1, [this] { F1Click(); }),

        // Zoom keys, without menu items of their own: the tool box shows the zoom levels.
        E::Key("ZoomIn1", "拡大", &ZoomIn1, [this] { ZoomIn1Click(); })
            .Keys({Qt::CTRL | Qt::Key_Plus, Qt::CTRL | Qt::Key_Equal,
                   Qt::CTRL | Qt::SHIFT | Qt::Key_Semicolon}),
        E::Key("ZoomOut1", "縮小", &ZoomOut1, [this] { ZoomOut1Click(); })
            .Keys({Qt::CTRL | Qt::Key_Minus}),

        E::Item(view, "N12", "パーツウィンドウ(&P)", &N12, [this] { N12Click(); })
            .Keys({Qt::CTRL | Qt::Key_F1})
            .Checks(true),
        E::Item(view, "N13", "ツールボックス(&T)", &N13, [this] { N13Click(); })
            .Keys({Qt::CTRL | Qt::Key_F2})
            .Checks(true),
        E::Separator(view),
        E::Item(view, "G1", "グリッドの表示(&G)", &G1, [this] { G1Click(); })
            .Keys({Qt::CTRL | Qt::Key_G})
            .Checks(true),

        E::Submenu(jump, QString(), "ポイントの記録(&M)", &PointMemoryMenu),
        E::Submenu(jump, QString(), "ポイントへ移動(&R)", &PointRestoreMenu),
    };
    // The jump points: recorded with Ctrl+Shift+F1..F5, gone to with Shift+F1..F5.
    const char* memoryNames[] = {"N01", "N11", "N21", "N31", "N41"};
    const char* restoreNames[] = {"N02", "N110", "N22", "N32", "N42"};
    const Qt::Key fkeys[] = {Qt::Key_F1, Qt::Key_F2, Qt::Key_F3, Qt::Key_F4, Qt::Key_F5};
    for (int k = 0; k < 5; ++k)
        entries.push_back(E::Item(jump + QStringLiteral("/ポイントの記録(&M)"), memoryNames[k],
                                  QStringLiteral("ポイント &%1").arg(k + 1), nullptr,
                                  [this, k] { PointMemoryClick(k); })
                              .Keys({Qt::CTRL | Qt::SHIFT | fkeys[k]})
                              .Checks(false));
    for (int k = 0; k < 5; ++k)
        entries.push_back(E::Item(jump + QStringLiteral("/ポイントへ移動(&R)"), restoreNames[k],
                                  QStringLiteral("ポイント &%1").arg(k + 1), nullptr,
                                  [this, k] { PointRestoreClick(k); })
                              .Keys({Qt::SHIFT | fkeys[k]})
                              .Checks(false));
    entries.insert(
        entries.end(),
        {
            E::Item(options, "N14", "環境設定(&E)...", &N14, [this] { N14Click(); }),
            // No help is installed.
            E::Item(help, "Contents1", "目次(&C)", &Contents1).EnabledWhen(never),
            E::Item(help, "N7", "キーワード検索(&N)", &N7).EnabledWhen(never),
            E::Separator(help),
            E::Item(help, "About1", "バージョン情報(&A)...", &About1, [this] { ShowTitle(); }),
        });

    const std::function<void()> refresh = BuildMenus(menuBar(), this, entries);
    connect(&FDoc, &TMapDocument::undoAvailableChanged, this, refresh);
    connect(&FDoc, &TMapDocument::redoAvailableChanged, this, refresh);
    connect(&FSettings, &TSettings::mapToolChanged, this, refresh);
    connect(&FSettings, &TSettings::zoomLevelChanged, this, refresh);
}
