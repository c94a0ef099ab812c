#pragma once

#include <QObject>
#include <deque>
#include <memory>
#include <vector>

// One change that can be taken back. A step is pushed once its change is made; from then on
// Undo and Redo alternate, Undo first. What a step holds is up to it: the old cells of a
// rectangle, the positions it changed, the old pixels of a part.
class TUndoStep
{
public:
    virtual ~TUndoStep() = default;
    virtual void Undo() = 0;
    virtual void Redo() = 0;
    // The memory the step holds, itself included. It must not change while the step is in a
    // history.
    virtual qint64 Bytes() const = 0;
};

// The steps of the changes made, in the order they were made, up to a memory budget: the
// oldest steps go first when the budget is reached. One step always stays, however large,
// so that the last change can be undone once. Undone steps wait for redo until a new step
// is pushed.
//
// Undo and Redo run the step's own Undo and Redo; a step must not change the history
// from inside them.
class TUndoHistory : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 DefaultBudget = qint64(256) << 20;

    explicit TUndoHistory(QObject* parent = nullptr);
    ~TUndoHistory() override;

    qint64 Budget() const { return FBudget; }
    // Drops the oldest steps, then the furthest redo steps, until the rest fit; the next
    // step to undo stays.
    void SetBudget(qint64 bytes);
    // The bytes all steps in the history hold.
    qint64 Bytes() const { return FBytes; }

    int UndoCount() const { return int(FDone); }
    int RedoCount() const { return int(FSteps.size() - FDone); }
    bool CanUndo() const { return FDone > 0; }
    bool CanRedo() const { return FDone < FSteps.size(); }

    // For a change about to push a step of about `bytes`: drops the redo steps (the change
    // ends them) and then the oldest steps until the new one fits the budget beside the
    // others. The dropped steps are handed back, so that the caller may reuse the memory
    // they hold before they go.
    std::vector<std::unique_ptr<TUndoStep>> MakeRoom(qint64 bytes);
    // Adds the step of a change just made: drops the redo steps, then the oldest steps
    // while the history is over budget. The new step stays.
    void Push(std::unique_ptr<TUndoStep> step);
    // Take back the last change, or make the last undone one again; false when there is
    // none.
    bool Undo();
    bool Redo();
    void Clear();

    // Steps pushed from BeginGroup to EndGroup become one step, undone and redone together
    // (a change of one command that touches the map and the parts). Groups do not nest.
    void BeginGroup();
    void EndGroup();

signals:
    void undoAvailableChanged(bool available);
    void redoAvailableChanged(bool available);

private:
    // Announces what changed in undo and redo availability since it was made.
    class TAvailabilityWatch;
    class TGroupStep;

    std::unique_ptr<TUndoStep> dropOldest();
    std::unique_ptr<TUndoStep> dropNewest();

    // Steps [0, FDone) can be undone, the newest last; steps [FDone, size) can be redone,
    // the next one first.
    std::deque<std::unique_ptr<TUndoStep>> FSteps;
    size_t FDone = 0;
    qint64 FBytes = 0;
    qint64 FBudget = DefaultBudget;
    std::unique_ptr<TGroupStep> FGroup; // the group being gathered, if any
};

// Gathers the steps pushed during its life into one step of the history, also when the
// change ends in an exception.
class TUndoGroup
{
public:
    explicit TUndoGroup(TUndoHistory& history) : FHistory(history) { FHistory.BeginGroup(); }
    ~TUndoGroup() { FHistory.EndGroup(); }
    TUndoGroup(const TUndoGroup&) = delete;
    TUndoGroup& operator=(const TUndoGroup&) = delete;

private:
    TUndoHistory& FHistory;
};
