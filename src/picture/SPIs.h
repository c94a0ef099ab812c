#pragma once

#define QM_SPI_HOST
#include "PictureFormats.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <quiltmapper/spi.h>
#include <set>
#include <stdexcept>
#include <vector>

// The library cannot be loaded (or was not named by an absolute path).
class ESPIFOpenErrorSPI : public std::runtime_error
{
public:
    explicit ESPIFOpenErrorSPI(const QString& fileName);
    QString message() const { return QString::fromUtf8(what()); }
};

// An export the plug-in's kind needs is missing, or a missing export was called.
class ESPIInvalidAPI : public std::runtime_error
{
public:
    ESPIInvalidAPI(const QString& api, const QString& fileName);
    QString message() const { return QString::fromUtf8(what()); }
};

// A second manager while one runs.
class ESPIDupCreateSPIs : public std::runtime_error
{
public:
    ESPIDupCreateSPIs();
    QString message() const { return QString::fromUtf8(what()); }
};

// The kinds of plug-in, chosen by the API version (information number 0).
enum class TSPIKind
{
    SPI,       // any other version
    LoaderSPI, // never chosen itself: the parent of the two loaders
    InSPI,     // "00IN": pictures
    AmSPI,     // "00AM": archives
    XnSPI,     // "00XN"
};

// One loaded plug-in library. Made only through Create (or TSPIs::LoadPlugin), which picks
// the class of the kind; the library is released with the object.
class TSPI
{
public:
    virtual ~TSPI();
    TSPI(const TSPI&) = delete;
    TSPI& operator=(const TSPI&) = delete;

    // Loads the library at the absolute path fileName as a plug-in of that kind. Raises
    // ESPIFOpenErrorSPI when it cannot be loaded, ESPIInvalidAPI when it lacks an export the
    // kind needs.
    static std::unique_ptr<TSPI> Create(TSPIKind kind, const QString& fileName);

    virtual TSPIKind Kind() const { return TSPIKind::SPI; }
    // True when this plug-in's class is `kind` or derives from it.
    bool InheritsFrom(TSPIKind kind) const;
    // Raises ESPIInvalidAPI for the first export of the kind's list that is missing.
    virtual void ValidateAPI();
    virtual bool IsLoader() const { return false; }

    // The library's full path.
    const QString& FileName() const { return FFileName; }
    const QString& APIVersion() const { return FAPIVersion; }
    const QString& Description() const { return FDescription; }
    const QStringList& FilePatterns() const { return FFilePatterns; }
    const QStringList& FileTypeNames() const { return FFileTypeNames; }
    // The IsLoader answer taken when the plug-in was made.
    bool Loader() const { return FLoader; }

    // The exports; each raises ESPIInvalidAPI when the plug-in lacks it.
    int32_t GetPluginInfo(int32_t infoNo, char* buf, int32_t bufLen) const;
    int32_t IsSupported(const char* fileName, const void* data) const;
    int32_t GetPictureInfo(const char* buf, int32_t len, uint32_t flag, PictureInfo* info) const;
    int32_t GetPicture(const char* buf, int32_t len, uint32_t flag, HLOCAL* info, HLOCAL* bits,
                       SpiProgressCallback progress, int32_t data) const;
    // Any export by name, or null.
    void* ProcAddress(const char* name) const;

protected:
    explicit TSPI(const QString& fileName);
    // Raises ESPIInvalidAPI when the export is missing.
    void require(const void* entry, const char* name) const;

    SpiGetPluginInfoFn FGetPluginInfo = nullptr;
    SpiConfigurationDlgFn FConfigurationDlg = nullptr;
    SpiIsSupportedFn FIsSupported = nullptr;
    SpiGetPictureInfoFn FGetPictureInfo = nullptr;
    SpiGetPictureFn FGetPicture = nullptr;
    SpiGetPreviewFn FGetPreview = nullptr;
    SpiGetArchiveInfoFn FGetArchiveInfo = nullptr;
    SpiGetFileInfoFn FGetFileInfo = nullptr;
    SpiGetFileFn FGetFile = nullptr;

private:
    void readInformation();

    void* FModule = nullptr;
    QString FFileName;
    QString FAPIVersion;
    QString FDescription;
    QStringList FFilePatterns;
    QStringList FFileTypeNames;
    bool FLoader = false;
};

class TLoaderSPI : public TSPI
{
public:
    TSPIKind Kind() const override { return TSPIKind::LoaderSPI; }
    void ValidateAPI() override;

protected:
    using TSPI::TSPI;
    friend class TSPI;
};

class TInSPI : public TLoaderSPI
{
public:
    TSPIKind Kind() const override { return TSPIKind::InSPI; }
    void ValidateAPI() override;
    bool IsLoader() const override { return true; }

protected:
    using TLoaderSPI::TLoaderSPI;
    friend class TSPI;
};

class TAmSPI : public TLoaderSPI
{
public:
    TSPIKind Kind() const override { return TSPIKind::AmSPI; }
    void ValidateAPI() override;
    bool IsLoader() const override { return true; }

protected:
    using TLoaderSPI::TLoaderSPI;
    friend class TSPI;
};

class TXnSPI : public TSPI
{
public:
    TSPIKind Kind() const override { return TSPIKind::XnSPI; }

protected:
    using TSPI::TSPI;
    friend class TSPI;
};

enum TSPISearchOption
{
    spsSusieDir,
    spsAppDir,
    spsCurrentDir,
    spsSystemDir,
    spsWindowsDir,
};
using TSPISearchOptions = std::set<TSPISearchOption>;

// What an import plug-in's extensions are registered with in the picture formats: the
// reader, and the owner name under which the entries can be withdrawn. Empty: none.
struct TSPIGraphicClass
{
    QString Owner;
    TPictureReader Reader;
    explicit operator bool() const { return bool(Reader); }
};

// The class registered for import plug-in extensions; empty until the plug-in bitmap sets it.
TSPIGraphicClass& SPIGraphicClass();

// The plug-in manager: finds and loads the plug-ins, keeps them in load order, and registers
// the extensions of the picture plug-ins in the program's picture formats. One at a time.
class TSPIs
{
public:
    // Raises ESPIDupCreateSPIs while another manager runs.
    explicit TSPIs(TPictureFormats& formats);
    ~TSPIs();
    TSPIs(const TSPIs&) = delete;
    TSPIs& operator=(const TSPIs&) = delete;

    // The running manager, or null.
    static TSPIs* ActiveSPIs();

    int Count() const { return int(FItems.size()); }
    TSPI* Item(int index) const { return FItems.at(size_t(index)).get(); }
    void Add(std::unique_ptr<TSPI> spi) { Insert(Count(), std::move(spi)); }
    // Registers the extensions of a picture plug-in (latest registration wins).
    void Insert(int index, std::unique_ptr<TSPI> spi);
    void Delete(int index);
    void Clear();
    // The first plug-in whose FileName equals fileName ignoring ASCII case, or -1.
    int IndexOf(const QString& fileName) const;

    // Loads the plug-ins matching the mask: in the mask's folder if it names one, else in
    // the folders of SearchOptions in their fixed order. A file already loaded is skipped.
    void Search(const QString& mask = QStringLiteral("*.spi"));
    // What happens after the manager is set up: Search("*.spi") when AutoSearch.
    void Loaded();

    // Appends the plug-ins of the kinds (or derived) to out; those whose patterns claim
    // fileName's extension go to the front instead, so they come first in reverse order.
    void FindSPIs(std::initializer_list<TSPIKind> kinds, std::vector<TSPI*>& out,
                  const QString& fileName) const;

    // A plug-in of the kind its API version names, or null when the file cannot be loaded or
    // lacks an export the kind needs.
    static std::unique_ptr<TSPI> LoadPlugin(const QString& fileName);

    // The folder the Susie viewer's settings name ("Plug-in/Path"), or empty. A relative
    // path names no folder: it would depend on where the program happens to start.
    static QString SusieDir();

    // Why folders and plug-ins were passed over by the last search, one line each:
    // a relative Susie folder, and a folder or plug-in file that users other than its
    // owner and root can change (or that belongs to another user), whose code is not run.
    // Each line also goes to the program's log.
    const QStringList& Refusals() const { return FRefusals; }

    TSPISearchOptions SearchOptions{spsSusieDir, spsAppDir};
    bool AutoSearch = true;
    // The program's folder (spsAppDir), and the installed plug-in folder seen from it; the
    // running program's by default.
    QString AppDir;

    // A candidate file was found; Accept false skips it.
    using TSPISearchingEvent =
        std::function<void(TSPIs* Sender, const QString& FileName, bool& Accept)>;
    // A plug-in was loaded; Accept false discards it.
    using TSPISearchEvent = std::function<void(TSPIs* Sender, TSPI* ASPI, bool& Accept)>;
    // An extension is about to be registered; the handler may change or clear the class.
    using TSPIPictureRegisterEvent =
        std::function<void(TSPIs* Sender, TInSPI* ASPI, const QString& AExtension,
                           const QString& ADescription, TSPIGraphicClass& AGraphicClass)>;

    TSPISearchingEvent OnSearching;
    TSPISearchEvent OnSearch;
    TSPIPictureRegisterEvent OnPictureRegister;

private:
    void searchDirectory(const QString& directory, const QString& pattern);
    void refuse(const QString& line);

    TPictureFormats& FFormats;
    QStringList FRefusals;
    std::vector<std::unique_ptr<TSPI>> FItems;
};
