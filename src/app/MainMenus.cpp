#include "MainMenus.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <map>
#include <memory>
#include <utility>

TMenuEntry TMenuEntry::Item(const QString& menu, const QString& name, const QString& caption,
                            const QList<QKeySequence>& shortcuts, QAction** action,
                            std::function<void()> handler)
{
    TMenuEntry entry;
    entry.Menu = menu;
    entry.Name = name;
    entry.Caption = caption;
    entry.Shortcuts = shortcuts;
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

TMenuEntry TMenuEntry::Key(const QString& name, const QString& caption,
                           const QList<QKeySequence>& shortcuts, QAction** action,
                           std::function<void()> handler)
{
    TMenuEntry entry = Item(QString(), name, caption, shortcuts, action, std::move(handler));
    entry.Kind = KeyKind;
    return entry;
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
