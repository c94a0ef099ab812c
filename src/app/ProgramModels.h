#pragma once

class TIniGT;
class TMapDocument;
class TMapSession;
class TPartsStore;
class TSettings;
class TTerrainStore;

// What the program owns and every window shares. Windows read and change these and follow
// their signals; none reaches another window for them.
struct TProgramModels
{
    TIniGT& IniGT;          // the settings file: each window reads and writes its own keys
    TSettings& Settings;    // the preferences and the tool state
    TMapSession& Session;   // the open map and parts, and the operations on both
    TMapDocument& Document; // the session's
    TPartsStore& Parts;     // the session's
    TTerrainStore& Terrain; // the parts picture's terrain sets and the chosen terrain
};
