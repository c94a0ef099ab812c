#include "UndoHistory.h"

#include <utility>

class TUndoHistory::TAvailabilityWatch
{
public:
    explicit TAvailabilityWatch(TUndoHistory& history)
        : FHistory(history), FCouldUndo(history.CanUndo()), FCouldRedo(history.CanRedo())
    {
    }
    ~TAvailabilityWatch()
    {
        if (FHistory.CanUndo() != FCouldUndo)
            emit FHistory.undoAvailableChanged(!FCouldUndo);
        if (FHistory.CanRedo() != FCouldRedo)
            emit FHistory.redoAvailableChanged(!FCouldRedo);
    }

private:
    TUndoHistory& FHistory;
    bool FCouldUndo;
    bool FCouldRedo;
};

TUndoHistory::TUndoHistory(QObject* parent) : QObject(parent) {}

TUndoHistory::~TUndoHistory() = default;

std::unique_ptr<TUndoStep> TUndoHistory::dropOldest()
{
    std::unique_ptr<TUndoStep> step = std::move(FSteps.front());
    FSteps.pop_front();
    if (FDone > 0)
        --FDone;
    FBytes -= step->Bytes();
    return step;
}

std::unique_ptr<TUndoStep> TUndoHistory::dropNewest()
{
    std::unique_ptr<TUndoStep> step = std::move(FSteps.back());
    FSteps.pop_back();
    if (FDone > FSteps.size())
        FDone = FSteps.size();
    FBytes -= step->Bytes();
    return step;
}

void TUndoHistory::SetBudget(qint64 bytes)
{
    TAvailabilityWatch watch(*this);
    FBudget = bytes;
    while (FBytes > FBudget && FDone > 1)
        dropOldest();
    while (FBytes > FBudget && CanRedo())
        dropNewest();
}

std::vector<std::unique_ptr<TUndoStep>> TUndoHistory::MakeRoom(qint64 bytes)
{
    TAvailabilityWatch watch(*this);
    std::vector<std::unique_ptr<TUndoStep>> dropped;
    while (CanRedo())
        dropped.push_back(dropNewest());
    while (!FSteps.empty() && FBytes + bytes > FBudget)
        dropped.push_back(dropOldest());
    return dropped;
}

// Several steps as one: undone newest first, redone oldest first.
class TUndoHistory::TGroupStep : public TUndoStep
{
public:
    void Add(std::unique_ptr<TUndoStep> step)
    {
        FBytes += step->Bytes();
        FSteps.push_back(std::move(step));
    }
    bool Empty() const { return FSteps.empty(); }
    void Undo() override
    {
        for (auto it = FSteps.rbegin(); it != FSteps.rend(); ++it)
            (*it)->Undo();
    }
    void Redo() override
    {
        for (auto& step : FSteps)
            step->Redo();
    }
    qint64 Bytes() const override { return FBytes; }

private:
    std::vector<std::unique_ptr<TUndoStep>> FSteps;
    qint64 FBytes = qint64(sizeof(TGroupStep));
};

void TUndoHistory::BeginGroup()
{
    if (!FGroup)
        FGroup = std::make_unique<TGroupStep>();
}

void TUndoHistory::EndGroup()
{
    std::unique_ptr<TGroupStep> group = std::move(FGroup);
    if (group && !group->Empty())
        Push(std::move(group));
}

void TUndoHistory::Push(std::unique_ptr<TUndoStep> step)
{
    if (FGroup) {
        // The change ends what could be redone, as any change does.
        TAvailabilityWatch watch(*this);
        while (CanRedo())
            dropNewest();
        FGroup->Add(std::move(step));
        return;
    }
    TAvailabilityWatch watch(*this);
    while (CanRedo())
        dropNewest();
    FBytes += step->Bytes();
    FSteps.push_back(std::move(step));
    FDone = FSteps.size();
    while (FBytes > FBudget && FSteps.size() > 1)
        dropOldest();
}

bool TUndoHistory::Undo()
{
    if (!CanUndo())
        return false;
    TAvailabilityWatch watch(*this);
    FSteps[FDone - 1]->Undo();
    --FDone;
    return true;
}

bool TUndoHistory::Redo()
{
    if (!CanRedo())
        return false;
    TAvailabilityWatch watch(*this);
    FSteps[FDone]->Redo();
    ++FDone;
    return true;
}

void TUndoHistory::Clear()
{
    TAvailabilityWatch watch(*this);
    FSteps.clear();
    FDone = 0;
    FBytes = 0;
    if (FGroup)
        FGroup = std::make_unique<TGroupStep>();
}
