#include "SPIs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QtGlobal>
#include <algorithm>
#include <array>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

TSPIs* activeSPIs = nullptr;

// A plug-in claiming more file types than this is broken (or answers every number).
constexpr int MaxFileTypes = 1024;

void* openLibrary(const QString& fileName)
{
#ifdef Q_OS_WIN
    return LoadLibraryW(reinterpret_cast<LPCWSTR>(fileName.utf16()));
#else
    return dlopen(QFile::encodeName(fileName).constData(), RTLD_NOW | RTLD_LOCAL);
#endif
}

void closeLibrary(void* module)
{
#ifdef Q_OS_WIN
    FreeLibrary(static_cast<HMODULE>(module));
#else
    dlclose(module);
#endif
}

void* librarySymbol(void* module, const char* name)
{
#ifdef Q_OS_WIN
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
#else
    return dlsym(module, name);
#endif
}

template <class F> F symbolAs(void* module, const char* name)
{
    return reinterpret_cast<F>(librarySymbol(module, name));
}

// The extension of a file name with its period: the text from the last "." of the name
// part, or empty.
QString extensionOf(const QString& fileName)
{
    const qsizetype slash = fileName.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot > slash ? fileName.mid(dot) : QString();
}

// A folder as the file system names it (links resolved), or empty when it is no folder.
QString canonicalFolder(const QString& folder)
{
    if (folder.isEmpty())
        return {};
    const QFileInfo info(folder);
    return info.isDir() ? info.canonicalFilePath() : QString();
}

// The Susie viewer's plug-in folder setting as it stands, or empty when there is none.
QString susieSetting()
{
    const QSettings susie(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Sorapiko"),
                          QStringLiteral("Susie"));
    const QVariant path = susie.value(QStringLiteral("Plug-in/Path"));
    // A value of another kind (a list, a number) is no folder.
    if (path.typeId() != QMetaType::QString)
        return {};
    return path.toString();
}

// Why code in a folder or file may not be run: anyone but its owner and root could have
// put it there, as ssh and sudo judge their files. Empty when it is safe, or when it
// cannot be looked at (the load then fails by itself).
QString unsafeReason(const QString& path, bool folder)
{
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    Q_UNUSED(folder);
    return {};
#else
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    const QString what = folder ? QStringLiteral("プラグインフォルダ %1").arg(path)
                                : QStringLiteral("プラグイン %1").arg(path);
    if (st.st_uid != 0 && st.st_uid != ::geteuid())
        return QStringLiteral("%1 はほかのユーザー (UID %2) のものなので、読み込みません")
            .arg(what)
            .arg(st.st_uid);
    if (st.st_mode & (S_IWGRP | S_IWOTH))
        return QStringLiteral("%1 は所有者とroot以外のユーザーも書き込めるので、読み込みません")
            .arg(what);
    return {};
#endif
}

} // namespace

ESPIFOpenErrorSPI::ESPIFOpenErrorSPI(const QString& fileName)
    : std::runtime_error(
          QStringLiteral("%1:Susie Pluginがロードできませんでした").arg(fileName).toStdString())
{
}

ESPIInvalidAPI::ESPIInvalidAPI(const QString& api, const QString& fileName)
    : std::runtime_error(QStringLiteral("%1は[%2]では使えないSusie Plugin APIです")
                             .arg(api, fileName)
                             .toStdString())
{
}

ESPIDupCreateSPIs::ESPIDupCreateSPIs()
    : std::runtime_error(QStringLiteral("TSPIs は複数生成できません").toStdString())
{
}

TSPIGraphicClass& SPIGraphicClass()
{
    static TSPIGraphicClass graphicClass;
    return graphicClass;
}

// ---- TSPI ----------------------------------------------------------------------------

TSPI::TSPI(const QString& fileName)
{
    // Only a full path: a bare name would let the loader look through its own folders,
    // a relative one the current folder.
    if (fileName.isEmpty() || QDir::isRelativePath(fileName))
        throw ESPIFOpenErrorSPI(fileName);
    FModule = openLibrary(fileName);
    if (!FModule)
        throw ESPIFOpenErrorSPI(fileName);
    const QString canonical = QFileInfo(fileName).canonicalFilePath();
    FFileName = canonical.isEmpty() ? fileName : canonical;
    FGetPluginInfo = symbolAs<SpiGetPluginInfoFn>(FModule, "GetPluginInfo");
    FConfigurationDlg = symbolAs<SpiConfigurationDlgFn>(FModule, "ConfigurationDlg");
    FIsSupported = symbolAs<SpiIsSupportedFn>(FModule, "IsSupported");
    FGetPictureInfo = symbolAs<SpiGetPictureInfoFn>(FModule, "GetPictureInfo");
    FGetPicture = symbolAs<SpiGetPictureFn>(FModule, "GetPicture");
    FGetPreview = symbolAs<SpiGetPreviewFn>(FModule, "GetPreview");
    FGetArchiveInfo = symbolAs<SpiGetArchiveInfoFn>(FModule, "GetArchiveInfo");
    FGetFileInfo = symbolAs<SpiGetFileInfoFn>(FModule, "GetFileInfo");
    FGetFile = symbolAs<SpiGetFileFn>(FModule, "GetFile");
}

TSPI::~TSPI()
{
    if (FModule)
        closeLibrary(FModule);
}

std::unique_ptr<TSPI> TSPI::Create(TSPIKind kind, const QString& fileName)
{
    std::unique_ptr<TSPI> spi;
    switch (kind) {
    case TSPIKind::SPI:
        spi.reset(new TSPI(fileName));
        break;
    case TSPIKind::LoaderSPI:
        spi.reset(new TLoaderSPI(fileName));
        break;
    case TSPIKind::InSPI:
        spi.reset(new TInSPI(fileName));
        break;
    case TSPIKind::AmSPI:
        spi.reset(new TAmSPI(fileName));
        break;
    case TSPIKind::XnSPI:
        spi.reset(new TXnSPI(fileName));
        break;
    }
    // Raising here releases the library with the object.
    spi->ValidateAPI();
    spi->readInformation();
    spi->FLoader = spi->IsLoader();
    return spi;
}

bool TSPI::InheritsFrom(TSPIKind kind) const
{
    switch (kind) {
    case TSPIKind::SPI:
        return true;
    case TSPIKind::LoaderSPI:
        return dynamic_cast<const TLoaderSPI*>(this) != nullptr;
    case TSPIKind::InSPI:
        return dynamic_cast<const TInSPI*>(this) != nullptr;
    case TSPIKind::AmSPI:
        return dynamic_cast<const TAmSPI*>(this) != nullptr;
    case TSPIKind::XnSPI:
        return dynamic_cast<const TXnSPI*>(this) != nullptr;
    }
    return false;
}

void TSPI::require(const void* entry, const char* name) const
{
    if (!entry)
        throw ESPIInvalidAPI(QString::fromLatin1(name), FFileName);
}

void TSPI::ValidateAPI()
{
    require(reinterpret_cast<const void*>(FGetPluginInfo), "GetPluginInfo");
}

void TLoaderSPI::ValidateAPI()
{
    TSPI::ValidateAPI();
    require(reinterpret_cast<const void*>(FIsSupported), "IsSupported");
}

void TInSPI::ValidateAPI()
{
    TLoaderSPI::ValidateAPI();
    require(reinterpret_cast<const void*>(FGetPictureInfo), "GetPictureInfo");
    require(reinterpret_cast<const void*>(FGetPicture), "GetPicture");
}

void TAmSPI::ValidateAPI()
{
    TLoaderSPI::ValidateAPI();
    require(reinterpret_cast<const void*>(FGetArchiveInfo), "GetArchiveInfo");
    require(reinterpret_cast<const void*>(FGetFileInfo), "GetFileInfo");
    require(reinterpret_cast<const void*>(FGetFile), "GetFile");
}

void TSPI::readInformation()
{
    // The plug-in writes at most 255 bytes and a NUL; the buffer ends in a NUL whatever it
    // writes, and a second one guards a plug-in that fills all 256.
    std::array<char, SPI_INFO_BUFFER_SIZE + 1> buf{};
    const auto info = [&](int32_t number, QString& text) {
        buf.fill(0);
        if (GetPluginInfo(number, buf.data(), SPI_INFO_BUFFER_SIZE - 1) <= 0)
            return false;
        buf.back() = 0;
        text = QString::fromLocal8Bit(buf.data());
        return true;
    };
    info(SPI_INFO_API_VERSION, FAPIVersion);
    info(SPI_INFO_DESCRIPTION, FDescription);
    for (int i = 0; i < MaxFileTypes; ++i) {
        QString pattern, name;
        const int32_t number = SPI_INFO_FIRST_PATTERN + 2 * i;
        if (!info(number, pattern) || !info(number + 1, name))
            break;
        FFilePatterns << pattern;
        FFileTypeNames << name;
    }
}

int32_t TSPI::GetPluginInfo(int32_t infoNo, char* buf, int32_t bufLen) const
{
    require(reinterpret_cast<const void*>(FGetPluginInfo), "GetPluginInfo");
    return FGetPluginInfo(infoNo, buf, bufLen);
}

int32_t TSPI::IsSupported(const char* fileName, const void* data) const
{
    require(reinterpret_cast<const void*>(FIsSupported), "IsSupported");
    return FIsSupported(fileName, data);
}

int32_t TSPI::GetPictureInfo(const char* buf, int32_t len, uint32_t flag, PictureInfo* info) const
{
    require(reinterpret_cast<const void*>(FGetPictureInfo), "GetPictureInfo");
    return FGetPictureInfo(buf, len, flag, info);
}

int32_t TSPI::GetPicture(const char* buf, int32_t len, uint32_t flag, HLOCAL* info, HLOCAL* bits,
                         SpiProgressCallback progress, int32_t data) const
{
    require(reinterpret_cast<const void*>(FGetPicture), "GetPicture");
    return FGetPicture(buf, len, flag, info, bits, progress, data);
}

void* TSPI::ProcAddress(const char* name) const
{
    return librarySymbol(FModule, name);
}

// ---- TSPIs ---------------------------------------------------------------------------

TSPIs::TSPIs(TPictureFormats& formats)
    : AppDir(QCoreApplication::applicationDirPath()), FFormats(formats)
{
    if (activeSPIs)
        throw ESPIDupCreateSPIs();
    activeSPIs = this;
}

TSPIs::~TSPIs()
{
    if (activeSPIs == this)
        activeSPIs = nullptr;
    Clear();
}

TSPIs* TSPIs::ActiveSPIs()
{
    return activeSPIs;
}

void TSPIs::Insert(int index, std::unique_ptr<TSPI> spi)
{
    index = std::clamp(index, 0, Count());
    TSPI* added = spi.get();
    FItems.insert(FItems.begin() + index, std::move(spi));
    auto* in = dynamic_cast<TInSPI*>(added);
    if (!in)
        return;
    const QStringList& patterns = in->FilePatterns();
    const QStringList& names = in->FileTypeNames();
    for (qsizetype i = 0; i < patterns.size() && i < names.size(); ++i) {
        for (const QString& pattern : patterns[i].split(QLatin1Char(';'))) {
            const qsizetype dot = pattern.indexOf(QLatin1Char('.'));
            const QString extension = dot >= 0 ? pattern.mid(dot + 1) : pattern;
            TSPIGraphicClass graphicClass = SPIGraphicClass();
            if (OnPictureRegister)
                OnPictureRegister(this, in, extension, names[i], graphicClass);
            if (graphicClass)
                FFormats.Register(extension, names[i], graphicClass.Reader, graphicClass.Owner);
        }
    }
}

void TSPIs::Delete(int index)
{
    FItems.erase(FItems.begin() + index);
}

void TSPIs::Clear()
{
    while (!FItems.empty())
        Delete(0);
}

int TSPIs::IndexOf(const QString& fileName) const
{
    for (int i = 0; i < Count(); ++i) {
        if (FItems[size_t(i)]->FileName().compare(fileName, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

std::unique_ptr<TSPI> TSPIs::LoadPlugin(const QString& fileName)
{
    try {
        const std::unique_ptr<TSPI> probe = TSPI::Create(TSPIKind::SPI, fileName);
        TSPIKind kind = TSPIKind::SPI;
        const QString& version = probe->APIVersion();
        if (version == QLatin1String(SPI_API_VERSION_PICTURE))
            kind = TSPIKind::InSPI;
        else if (version == QLatin1String(SPI_API_VERSION_ARCHIVE))
            kind = TSPIKind::AmSPI;
        else if (version == QLatin1String("00XN"))
            kind = TSPIKind::XnSPI;
        // The library is loaded a second time before the probe lets it go.
        return TSPI::Create(kind, fileName);
    } catch (const ESPIFOpenErrorSPI&) {
        return nullptr;
    } catch (const ESPIInvalidAPI&) {
        return nullptr;
    }
}

QString TSPIs::SusieDir()
{
    const QString path = susieSetting();
    return QDir::isRelativePath(path) ? QString() : path;
}

void TSPIs::refuse(const QString& line)
{
    if (FRefusals.contains(line))
        return;
    FRefusals << line;
    qWarning("%s", qUtf8Printable(line));
}

void TSPIs::Loaded()
{
    if (AutoSearch)
        Search(QStringLiteral("*.spi"));
}

void TSPIs::Search(const QString& mask)
{
    FRefusals.clear();
    const qsizetype slash = mask.lastIndexOf(QLatin1Char('/'));
    if (slash >= 0) {
        const QString folder = slash == 0 ? QStringLiteral("/") : mask.left(slash);
        searchDirectory(QDir(folder).absolutePath(), mask.mid(slash + 1));
        return;
    }
    const QString setting = susieSetting();
    if (SearchOptions.count(spsSusieDir) && !setting.isEmpty() && QDir::isRelativePath(setting))
        refuse(QStringLiteral("Susie のプラグインフォルダ \"%1\" は絶対パスでないので、使いません")
                   .arg(setting));
    const QString susie = canonicalFolder(SusieDir());
    const QString app = canonicalFolder(AppDir);
    for (TSPISearchOption option : SearchOptions) {
        switch (option) {
        case spsSusieDir:
            searchDirectory(susie, mask);
            break;
        case spsAppDir:
            searchDirectory(app, mask);
            // The installed program keeps its plug-ins in a library folder of its own.
            if (!app.isEmpty())
                searchDirectory(app + QStringLiteral("/" QM_SPI_DIR_FROM_BIN), mask);
            break;
        case spsCurrentDir: {
            // Starting the program in a folder must not run code found there: the current
            // folder counts only when it is one of the program's own.
            const QString current = canonicalFolder(QDir::currentPath());
            if (!current.isEmpty() && (current == susie || current == app))
                searchDirectory(current, mask);
            break;
        }
        case spsSystemDir:
        case spsWindowsDir:
            // No such folders here.
            break;
        }
    }
}

void TSPIs::searchDirectory(const QString& directory, const QString& pattern)
{
    const QString folder = canonicalFolder(directory);
    if (folder.isEmpty() || pattern.isEmpty())
        return;
    if (const QString reason = unsafeReason(folder, true); !reason.isEmpty()) {
        refuse(reason);
        return;
    }
    const QDir dir(folder);
    QStringList candidates;
    for (const QFileInfo& entry :
         dir.entryInfoList({pattern}, QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString canonical = entry.canonicalFilePath();
        const QString fileName = canonical.isEmpty() ? entry.absoluteFilePath() : canonical;
        if (IndexOf(fileName) == -1 && !candidates.contains(fileName))
            candidates << fileName;
    }
    for (const QString& fileName : candidates) {
        bool accept = true;
        if (OnSearching)
            OnSearching(this, fileName, accept);
        if (!accept)
            continue;
        if (const QString reason = unsafeReason(fileName, false); !reason.isEmpty()) {
            refuse(reason);
            continue;
        }
        std::unique_ptr<TSPI> spi = LoadPlugin(fileName);
        if (!spi)
            continue;
        try {
            accept = true;
            if (OnSearch)
                OnSearch(this, spi.get(), accept);
            if (accept)
                Add(std::move(spi));
        } catch (...) {
            // A plug-in that fails here is left out; the search goes on.
        }
    }
}

void TSPIs::FindSPIs(std::initializer_list<TSPIKind> kinds, std::vector<TSPI*>& out,
                     const QString& fileName) const
{
    const QString extension = extensionOf(fileName);
    for (const auto& spi : FItems) {
        if (std::none_of(kinds.begin(), kinds.end(),
                         [&](TSPIKind kind) { return spi->InheritsFrom(kind); }))
            continue;
        bool claims = false;
        if (!extension.isEmpty()) {
            for (const QString& pattern : spi->FilePatterns()) {
                if (extensionOf(pattern).compare(extension, Qt::CaseInsensitive) == 0) {
                    claims = true;
                    break;
                }
            }
        }
        if (claims)
            out.insert(out.begin(), spi.get());
        else
            out.push_back(spi.get());
    }
}
