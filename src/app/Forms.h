#pragma once

class TMainForm;
class TPartsForm;
class TTitleForm;
class TToolForm;
class TEnvDlg;
class TReplaceDlg;
class TNewCreateDlg;
class TTranslucenPartsDlg;
class TOverviewForm;

// The program's windows, each existing once. The program object fills this in as it creates
// them, in this order, and clears each entry as it destroys them in the reverse order; the
// windows reach one another only through it. An entry is null before its window is created.
struct TForms
{
    TMainForm* MainForm = nullptr;
    TPartsForm* PartsForm = nullptr;
    TTitleForm* TitleForm = nullptr;
    TToolForm* ToolForm = nullptr;
    TOverviewForm* OverviewForm = nullptr;
    TEnvDlg* EnvDlg = nullptr;
    TReplaceDlg* ReplaceDlg = nullptr;
    TNewCreateDlg* NewCreateDlg = nullptr;
    TTranslucenPartsDlg* TranslucenPartsDlg = nullptr;
};
