#pragma once

#include "Dialogs.h"
#include "Forms.h"
#include "Program.h"
#include "Settings.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

// Window tests run the real program object on the offscreen platform, with its settings in
// a temporary folder and every message box, file dialog and modal showing answered by
// Script (see Dialogs.h); Script.Log records what was asked, in order.
class ProgramTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Dir.isValid());
        SetDialogScript(&Script);
        StartProgram();
    }

    void TearDown() override
    {
        Program.reset();
        SetDialogScript(nullptr);
    }

    QString IniPath() const { return Dir.filePath(QStringLiteral("Quiltmapper.ini")); }

    void StartProgram()
    {
        Program = std::make_unique<TQuiltmapperProgram>(TProgramOptions{IniPath()});
        Program->ShowWindows();
    }

    // Ends the program (every window writes its settings) and starts it again.
    void RestartProgram()
    {
        Program.reset();
        StartProgram();
    }

    TForms& Forms() { return Program->Forms(); }
    TSettings& Settings() { return Program->Models().Settings; }
    TIniGT& IniGT() { return Program->Models().IniGT; }
    TPartsStore& PartsStore() { return Program->Models().Parts; }

    QTemporaryDir Dir;
    TDialogScript Script;
    std::unique_ptr<TQuiltmapperProgram> Program;
};
