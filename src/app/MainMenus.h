#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>
#include <functional>
#include <vector>

class QAction;
class QActionGroup;
class QMenu;
class QMenuBar;
class QWidget;

// One entry of a window's menus: an item, a separator, a submenu, or a key with no item.
// Made by the functions below and completed by the setters, a row of a table each:
// TMenuEntry::Item(file, "N2", "上書き保存(&S)", {Qt::CTRL | Qt::Key_S}, &N2, save).
struct TMenuEntry
{
    enum TKind
    {
        ItemKind,
        SeparatorKind,
        SubmenuKind,
        KeyKind, // a shortcut of the window that no menu shows
    };

    // An item of `menu` (by caption; "menu/submenu" inside a submenu; menus come in the
    // order they are first named), kept in *action (when given), running `handler`.
    static TMenuEntry Item(const QString& menu, const QString& name, const QString& caption,
                           const QList<QKeySequence>& shortcuts, QAction** action,
                           std::function<void()> handler = {});
    static TMenuEntry Separator(const QString& menu);
    static TMenuEntry Submenu(const QString& menu, const QString& name, const QString& caption,
                              QMenu** submenu);
    static TMenuEntry Key(const QString& name, const QString& caption,
                          const QList<QKeySequence>& shortcuts, QAction** action,
                          std::function<void()> handler);

    // A checkable item's handler sets its check mark itself: the toggle Qt makes when it is
    // clicked is taken back before the handler runs.
    TMenuEntry& Checks(bool checked, QActionGroup* group = nullptr);
    // When the item can be chosen, read again at each refresh.
    TMenuEntry& EnabledWhen(std::function<bool()> rule);

    TKind Kind = ItemKind;
    QString Menu;
    QString Name; // the object name
    QString Caption;
    QList<QKeySequence> Shortcuts;
    std::function<void()> Handler;
    bool Checkable = false;
    bool Checked = false;
    QActionGroup* Group = nullptr;
    std::function<bool()> Enabled; // none: always
    QAction** Action = nullptr;
    QMenu** SubMenu = nullptr;
};

// Builds the entries, in order, into the bar's menus, the keys onto `window`. Returns the
// refresh of the items' enabled rules, which the caller runs whenever what they read changes.
std::function<void()> BuildMenus(QMenuBar* bar, QWidget* window,
                                 const std::vector<TMenuEntry>& entries);
