#include "UndoHistory.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// A step that writes what is done with it into a log shared by all steps.
class LoggedStep : public TUndoStep
{
public:
    LoggedStep(std::string name, qint64 bytes, std::vector<std::string>& log)
        : FName(std::move(name)), FBytes(bytes), FLog(log)
    {
    }
    void Undo() override { FLog.push_back("undo " + FName); }
    void Redo() override { FLog.push_back("redo " + FName); }
    qint64 Bytes() const override { return FBytes; }

private:
    std::string FName;
    qint64 FBytes;
    std::vector<std::string>& FLog;
};

struct History
{
    TUndoHistory H;
    std::vector<std::string> Log;

    void push(const char* name, qint64 bytes)
    {
        H.Push(std::make_unique<LoggedStep>(name, bytes, Log));
    }
};

TEST(UndoHistory, UndoAndRedoRunTheStepsInOrder)
{
    History h;
    QSignalSpy undo(&h.H, &TUndoHistory::undoAvailableChanged);
    QSignalSpy redo(&h.H, &TUndoHistory::redoAvailableChanged);
    h.push("a", 10);
    h.push("b", 10);
    EXPECT_TRUE(h.H.Undo());
    EXPECT_TRUE(h.H.Undo());
    EXPECT_FALSE(h.H.Undo());
    EXPECT_TRUE(h.H.Redo());
    h.push("c", 10); // drops b, which waited for redo
    EXPECT_FALSE(h.H.Redo());
    EXPECT_TRUE(h.H.Undo());
    EXPECT_TRUE(h.H.Undo());
    EXPECT_EQ(h.Log, (std::vector<std::string>{"undo b", "undo a", "redo a", "undo c", "undo a"}));
    EXPECT_EQ(h.H.Bytes(), 20);
    // Each change of availability once: undo on, off, on, off; redo on, off, on.
    std::vector<bool> u, r;
    for (const auto& args : undo)
        u.push_back(args.at(0).toBool());
    for (const auto& args : redo)
        r.push_back(args.at(0).toBool());
    EXPECT_EQ(u, (std::vector<bool>{true, false, true, false}));
    EXPECT_EQ(r, (std::vector<bool>{true, false, true}));
}

TEST(UndoHistory, AGroupIsOneStep)
{
    History h;
    h.push("a", 1);
    h.H.Undo(); // "a" waits for redo
    h.Log.clear();
    {
        const TUndoGroup group(h.H);
        h.push("b", 10);
        EXPECT_FALSE(h.H.CanRedo()); // a change ends the redo at once
        h.push("c", 20);
        EXPECT_EQ(h.H.UndoCount(), 0);
    }
    EXPECT_EQ(h.H.UndoCount(), 1);
    EXPECT_GE(h.H.Bytes(), 30);
    h.H.Undo();
    h.H.Redo();
    EXPECT_EQ(h.Log, (std::vector<std::string>{"undo c", "undo b", "redo b", "redo c"}));

    // A group that gathered nothing makes no step; one left by an exception still ends.
    {
        const TUndoGroup empty(h.H);
    }
    EXPECT_EQ(h.H.UndoCount(), 1);
    try {
        const TUndoGroup group(h.H);
        h.push("d", 1);
        throw 1;
    } catch (int) {
    }
    EXPECT_EQ(h.H.UndoCount(), 2);
    h.push("e", 1);
    EXPECT_EQ(h.H.UndoCount(), 3);
}

TEST(UndoHistory, TheBudgetBoundsTheBytesHeld)
{
    struct Case
    {
        const char* What;
        qint64 Budget;
        std::vector<qint64> Pushed;
        int Kept;
        qint64 Bytes;
    };
    const std::vector<Case> cases = {
        {"all fit", 100, {30, 30, 40}, 3, 100},
        {"the oldest go", 100, {30, 30, 40, 20}, 3, 90},
        {"one step larger than the budget stays alone", 100, {30, 150}, 1, 150},
        {"and goes with the next step", 100, {150, 10}, 1, 10},
        {"no budget: only the last step", 0, {1, 1, 1}, 1, 1},
    };
    for (const Case& c : cases) {
        History h;
        h.H.SetBudget(c.Budget);
        for (qint64 bytes : c.Pushed)
            h.push("s", bytes);
        EXPECT_EQ(h.H.UndoCount(), c.Kept) << c.What;
        EXPECT_EQ(h.H.Bytes(), c.Bytes) << c.What;
    }
}

TEST(UndoHistory, MakeRoomHandsBackWhatItDrops)
{
    History h;
    h.H.SetBudget(100);
    h.push("a", 40);
    h.push("b", 40);
    h.push("c", 10);
    h.H.Undo(); // c waits for redo
    const auto dropped = h.H.MakeRoom(50);
    // c goes (a new change ends redo), then a for room; b and the new step fit.
    ASSERT_EQ(dropped.size(), 2u);
    EXPECT_EQ(dropped[0]->Bytes(), 10);
    EXPECT_EQ(dropped[1]->Bytes(), 40);
    EXPECT_EQ(h.H.UndoCount(), 1);
    EXPECT_EQ(h.H.RedoCount(), 0);
    EXPECT_EQ(h.H.Bytes(), 40);
}

TEST(UndoHistory, ALowerBudgetDropsTheOldestThenTheFurthestRedoButNotTheNextUndo)
{
    History h;
    for (const char* name : {"a", "b", "c", "d"})
        h.push(name, 10);
    h.H.Undo(); // d can be redone, c is next to undo
    h.H.SetBudget(25);
    EXPECT_EQ(h.H.UndoCount(), 1); // c
    EXPECT_EQ(h.H.RedoCount(), 1); // d
    h.H.SetBudget(5);
    EXPECT_EQ(h.H.UndoCount(), 1);
    EXPECT_EQ(h.H.RedoCount(), 0);
    h.Log.clear();
    h.H.Undo();
    EXPECT_EQ(h.Log, std::vector<std::string>{"undo c"});
    h.H.Clear();
    EXPECT_FALSE(h.H.CanRedo());
    EXPECT_EQ(h.H.Bytes(), 0);
}

} // namespace
