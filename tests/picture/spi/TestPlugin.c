/* A plug-in for the tests, built in several variants from compile definitions:
 *   TP_NAME        its name in the call log (an identifier)
 *   TP_VERSION     API version (information number 0), e.g. 00IN; none: number 0 missing
 *   TP_PATTERNS    which pattern/name table it reports (see kTables)
 *   TP_MAGIC       the 4 bytes its data starts with (default TPIC)
 *   TP_NO_<EXPORT> leaves that export out
 *
 * Its data: the magic, then a script of what to return (little-endian):
 *   u32 GetPictureInfo result, u32 GetPicture result,
 *   i32 left, top, width, height, u16 x density, y density, i16 depth,
 *   u32 n, n pairs of i32 progress calls (numerator, denominator),
 *   u32 text length, the text bytes (put in a block of exactly that size; 0: no text),
 *   u32 info length, u32 bits length, the info block bytes, the bits block bytes.
 * Anything short of that is rejected by GetPicture with SPI_OUT_OF_ORDER.
 *
 * When QM_TP_LOG names a file, every call appends one line to it:
 *   IS <name> [<filename>] <buffer address> <2048 bytes in hex>
 *   INFO <name> <buffer address> <len>
 *   PIC <name> <buffer address> <len> <callback value>
 *   PROG <name> <callback result>
 */
#include <quiltmapper/spi.h>
#include <stdio.h>

#define TP_STR2(x) #x
#define TP_STR(x) TP_STR2(x)

#ifndef TP_NAME
#define TP_NAME tp
#endif
#ifndef TP_MAGIC
#define TP_MAGIC TPIC
#endif
#ifndef TP_PATTERNS
#define TP_PATTERNS 0
#endif

#ifndef TP_NO_GETPLUGININFO
static const char* const kTables[][8] = {
    /* 0 */ {"*.tpic", "Test pictures", 0},
    /* 1 */ {"*.pic", "PIC", "*.mag;*.mki", "MAG", 0},
    /* 2 */ {"*.png", "PNG by plug-in", 0},
    /* 3: number 2 without number 3 */ {"*.pic", 0},
    /* 4 */ {"*.bmp", "BMP by plug-in", 0},
    /* 5: no pattern at all */ {0},
    /* 6: a pattern without a period */ {"README", "Plain name", 0},
};

static void putText(char* buf, int32_t buflen, const char* text, int32_t* written)
{
    size_t n = strlen(text);
    if (buflen <= 0) {
        *written = 0;
        return;
    }
    if ((int32_t)n > buflen - 1)
        n = (size_t)(buflen - 1);
    memcpy(buf, text, n);
    buf[n] = 0;
    *written = (int32_t)n;
}

#endif

static FILE* openLog(void)
{
    const char* path = getenv("QM_TP_LOG");
    return path && *path ? fopen(path, "a") : NULL;
}

#ifndef TP_NO_GETPLUGININFO
QM_SPI_EXPORT int32_t GetPluginInfo(int32_t infono, char* buf, int32_t buflen)
{
    const char* const* table = kTables[TP_PATTERNS];
    int32_t written = 0;
    if (infono < 0)
        return 0;
    if (infono == 0) {
#ifdef TP_VERSION
        putText(buf, buflen, TP_STR(TP_VERSION), &written);
#endif
        return written;
    }
    if (infono == 1) {
        putText(buf, buflen, "Test plug-in " TP_STR(TP_NAME), &written);
        return written;
    }
    for (int32_t i = 0; i <= infono - 2; ++i) {
        if (!table[i])
            return 0;
    }
    putText(buf, buflen, table[infono - 2], &written);
    return written;
}
#endif

static int hasMagic(const void* data)
{
    return memcmp(data, TP_STR(TP_MAGIC), 4) == 0;
}

#ifndef TP_NO_ISSUPPORTED
QM_SPI_EXPORT int32_t IsSupported(const char* filename, const void* data)
{
    FILE* log = openLog();
    if (log) {
        const unsigned char* p = (const unsigned char*)data;
        fprintf(log, "IS %s [%s] %p ", TP_STR(TP_NAME), filename, data);
        for (int i = 0; i < 2048; ++i)
            fprintf(log, "%02x", p[i]);
        fputc('\n', log);
        fclose(log);
    }
    return hasMagic(data);
}
#endif

typedef struct
{
    const unsigned char* p;
    const unsigned char* end;
    int ok;
} Reader;

static uint32_t readU32(Reader* r)
{
    uint32_t v;
    if (r->end - r->p < 4) {
        r->ok = 0;
        return 0;
    }
    v = (uint32_t)r->p[0] | (uint32_t)r->p[1] << 8 | (uint32_t)r->p[2] << 16 |
        (uint32_t)r->p[3] << 24;
    r->p += 4;
    return v;
}

static uint16_t readU16(Reader* r)
{
    uint16_t v;
    if (r->end - r->p < 2) {
        r->ok = 0;
        return 0;
    }
    v = (uint16_t)(r->p[0] | r->p[1] << 8);
    r->p += 2;
    return v;
}

static const unsigned char* readBytes(Reader* r, uint32_t n)
{
    const unsigned char* at = r->p;
    if ((uint32_t)(r->end - r->p) < n) {
        r->ok = 0;
        return NULL;
    }
    r->p += n;
    return at;
}

typedef struct
{
    uint32_t infoResult, pictureResult;
    int32_t left, top, width, height;
    uint16_t xd, yd;
    int16_t depth;
    uint32_t progressCount;
    const unsigned char* progress;
    uint32_t textLen;
    const unsigned char* text;
    uint32_t infoLen, bitsLen;
    const unsigned char* info;
    const unsigned char* bits;
} Script;

static int readScript(const char* buf, int32_t len, Script* s)
{
    Reader r;
    if (len < 4 || !hasMagic(buf))
        return 0;
    r.p = (const unsigned char*)buf + 4;
    r.end = (const unsigned char*)buf + len;
    r.ok = 1;
    s->infoResult = readU32(&r);
    s->pictureResult = readU32(&r);
    s->left = (int32_t)readU32(&r);
    s->top = (int32_t)readU32(&r);
    s->width = (int32_t)readU32(&r);
    s->height = (int32_t)readU32(&r);
    s->xd = readU16(&r);
    s->yd = readU16(&r);
    s->depth = (int16_t)readU16(&r);
    s->progressCount = readU32(&r);
    if (s->progressCount > 1000000)
        return 0;
    s->progress = readBytes(&r, s->progressCount * 8);
    s->textLen = readU32(&r);
    s->text = readBytes(&r, s->textLen);
    s->infoLen = readU32(&r);
    s->bitsLen = readU32(&r);
    s->info = readBytes(&r, s->infoLen);
    s->bits = readBytes(&r, s->bitsLen);
    return r.ok;
}

static HLOCAL blockOf(const unsigned char* bytes, uint32_t n)
{
    HLOCAL h = LocalAlloc(LMEM_MOVEABLE, n);
    if (h) {
        void* p = LocalLock(h);
        if (n)
            memcpy(p, bytes, n);
        LocalUnlock(h);
    }
    return h;
}

#ifndef TP_NO_GETPICTUREINFO
QM_SPI_EXPORT int32_t GetPictureInfo(const char* buf, int32_t len, uint32_t flag,
                                     struct PictureInfo* info)
{
    Script s;
    FILE* log = openLog();
    if (log) {
        fprintf(log, "INFO %s %p %ld\n", TP_STR(TP_NAME), (const void*)buf, (long)len);
        fclose(log);
    }
    if ((flag & 7) != SPI_INPUT_MEMORY || !readScript(buf, len, &s))
        return SPI_NOT_SUPPORT;
    if (s.infoResult != SPI_ALL_RIGHT)
        return (int32_t)s.infoResult;
    info->left = s.left;
    info->top = s.top;
    info->width = s.width;
    info->height = s.height;
    info->x_density = s.xd;
    info->y_density = s.yd;
    info->colorDepth = s.depth;
    info->hInfo = s.textLen ? blockOf(s.text, s.textLen) : NULL;
    return SPI_ALL_RIGHT;
}
#endif

#ifndef TP_NO_GETPICTURE
QM_SPI_EXPORT int32_t GetPicture(const char* buf, int32_t len, uint32_t flag, HLOCAL* pHBInfo,
                                 HLOCAL* pHBm, SpiProgressCallback progress, int32_t data)
{
    Script s;
    FILE* log = openLog();
    if (log) {
        fprintf(log, "PIC %s %p %ld %ld\n", TP_STR(TP_NAME), (const void*)buf, (long)len,
                (long)data);
        fclose(log);
    }
    if ((flag & 7) != SPI_INPUT_MEMORY || !readScript(buf, len, &s))
        return SPI_OUT_OF_ORDER;
    for (uint32_t i = 0; i < s.progressCount; ++i) {
        Reader r = {s.progress + 8 * i, s.progress + 8 * i + 8, 1};
        int32_t num = (int32_t)readU32(&r);
        int32_t denom = (int32_t)readU32(&r);
        int32_t answer = progress ? progress(num, denom, data) : 0;
        log = openLog();
        if (log) {
            fprintf(log, "PROG %s %ld\n", TP_STR(TP_NAME), (long)answer);
            fclose(log);
        }
        if (answer)
            return SPI_ABORT;
    }
    if (s.pictureResult != SPI_ALL_RIGHT)
        return (int32_t)s.pictureResult;
    *pHBInfo = blockOf(s.info, s.infoLen);
    *pHBm = blockOf(s.bits, s.bitsLen);
    if (!*pHBInfo || !*pHBm) {
        LocalFree(*pHBInfo);
        LocalFree(*pHBm);
        return SPI_NO_MEMORY;
    }
    return SPI_ALL_RIGHT;
}
#endif

#ifdef TP_ARCHIVE_EXPORTS
QM_SPI_EXPORT int32_t GetArchiveInfo(const char* buf, int32_t len, uint32_t flag, HLOCAL* lphInf)
{
    (void)buf, (void)len, (void)flag, (void)lphInf;
    return SPI_NO_FUNCTION;
}
QM_SPI_EXPORT int32_t GetFileInfo(const char* buf, int32_t len, const char* filename, uint32_t flag,
                                  struct fileInfo* lpInfo)
{
    (void)buf, (void)len, (void)filename, (void)flag, (void)lpInfo;
    return SPI_NO_FUNCTION;
}
#ifndef TP_NO_GETFILE
QM_SPI_EXPORT int32_t GetFile(const char* src, int32_t len, char* dest, uint32_t flag,
                              SpiProgressCallback progress, int32_t data)
{
    (void)src, (void)len, (void)dest, (void)flag, (void)progress, (void)data;
    return SPI_NO_FUNCTION;
}
#endif
#endif
