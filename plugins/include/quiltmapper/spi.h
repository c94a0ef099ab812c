/* Quiltmapper import plug-ins (.spi): the interface between the program and a plug-in.
 *
 * A plug-in is a native shared library named "<name>.spi" that exports the functions below
 * with C linkage and the platform's C calling convention. Usable from C (C11) and C++.
 *
 * Widths: information numbers, lengths, flags, progress values and results are 32-bit
 * integers; pointers and memory handles are native (64-bit on a 64-bit build).
 *
 * Memory: a plug-in returns its results in local-memory blocks (HLOCAL) made with the
 * LocalAlloc below. The program locks them, reads at most LocalSize bytes of each, and frees
 * them with LocalFree. The functions here are static inline on top of malloc/free; since
 * the program and its plug-ins share one C library, the program frees what a plug-in
 * allocated. Never hand the program a block from anything but LocalAlloc/LocalReAlloc.
 */
#ifndef QUILTMAPPER_SPI_H
#define QUILTMAPPER_SPI_H

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Local-memory blocks ---------------------------------------------------------- */

/* A handle is the address of a block header; the data follows it, aligned for any type. */
typedef struct QmLocalBlock* HLOCAL;

#define LMEM_FIXED 0x0000u
#define LMEM_MOVEABLE 0x0002u
#define LMEM_ZEROINIT 0x0040u
#define LHND (LMEM_MOVEABLE | LMEM_ZEROINIT)
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

#define QM_LOCAL_MAGIC 0x514d4c42u /* "QMLB" */

struct QmLocalBlock
{
    union {
        struct
        {
            size_t size;
            uint32_t magic;
            uint32_t locks;
        } h;
        long double align_ld;
        void* align_p;
        long long align_ll;
    } u;
};

static inline void* qmLocalData_(HLOCAL mem)
{
    return (char*)mem + sizeof(struct QmLocalBlock);
}

/* Allocates a block of bytes (zeroed with LMEM_ZEROINIT). NULL when out of memory. */
static inline HLOCAL LocalAlloc(uint32_t flags, size_t bytes)
{
    HLOCAL mem;
    if (bytes > (size_t)-1 - sizeof(struct QmLocalBlock))
        return NULL;
    mem = (HLOCAL)malloc(sizeof(struct QmLocalBlock) + bytes);
    if (!mem)
        return NULL;
    mem->u.h.size = bytes;
    mem->u.h.magic = QM_LOCAL_MAGIC;
    mem->u.h.locks = 0;
    if (flags & LMEM_ZEROINIT)
        memset(qmLocalData_(mem), 0, bytes);
    return mem;
}

/* The size the block was allocated with; 0 for NULL or for something not from LocalAlloc. */
static inline size_t LocalSize(HLOCAL mem)
{
    if (!mem || mem->u.h.magic != QM_LOCAL_MAGIC)
        return 0;
    return mem->u.h.size;
}

/* The block's data; it stays where it is until the block is freed or reallocated. */
static inline void* LocalLock(HLOCAL mem)
{
    if (!mem || mem->u.h.magic != QM_LOCAL_MAGIC)
        return NULL;
    ++mem->u.h.locks;
    return qmLocalData_(mem);
}

/* Nonzero while the block is still locked. */
static inline int LocalUnlock(HLOCAL mem)
{
    if (!mem || mem->u.h.magic != QM_LOCAL_MAGIC || mem->u.h.locks == 0)
        return 0;
    return --mem->u.h.locks != 0;
}

/* Resizes the block, keeping its bytes (new bytes zeroed with LMEM_ZEROINIT). NULL when
 * out of memory; the old block is then unchanged. */
static inline HLOCAL LocalReAlloc(HLOCAL mem, size_t bytes, uint32_t flags)
{
    size_t old;
    HLOCAL grown;
    if (!mem || mem->u.h.magic != QM_LOCAL_MAGIC)
        return NULL;
    if (bytes > (size_t)-1 - sizeof(struct QmLocalBlock))
        return NULL;
    old = mem->u.h.size;
    grown = (HLOCAL)realloc(mem, sizeof(struct QmLocalBlock) + bytes);
    if (!grown)
        return NULL;
    grown->u.h.size = bytes;
    if ((flags & LMEM_ZEROINIT) && bytes > old)
        memset((char*)qmLocalData_(grown) + old, 0, bytes - old);
    return grown;
}

/* Frees the block. NULL on success, the handle itself when it is not a block. */
static inline HLOCAL LocalFree(HLOCAL mem)
{
    if (!mem)
        return NULL;
    if (mem->u.h.magic != QM_LOCAL_MAGIC)
        return mem;
    mem->u.h.magic = 0;
    free(mem);
    return NULL;
}

/* ---- Records ---------------------------------------------------------------------- */

#pragma pack(push, 1)
/* Filled by GetPictureInfo. Packed, little-endian: 26 bytes on a 32-bit build; on a 64-bit
 * build hInfo is pointer-wide and the record is 30 bytes. */
struct PictureInfo
{
    int32_t left, top;     /* where the picture is placed */
    int32_t width, height; /* pixels */
    uint16_t x_density;    /* horizontal pixel density */
    uint16_t y_density;    /* vertical pixel density */
    int16_t colorDepth;    /* bits per pixel */
    HLOCAL hInfo;          /* a text about the picture (LocalAlloc'ed, NUL-ended), or NULL */
};
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(PictureInfo) == 22 + sizeof(HLOCAL), "PictureInfo must be packed");
#else
_Static_assert(sizeof(struct PictureInfo) == 22 + sizeof(HLOCAL), "PictureInfo must be packed");
#endif

/* Archive entries, for "00AM" plug-ins (the program loads them but never extracts). */
#pragma pack(push, 1)
struct fileInfo
{
    unsigned char method[8];
    uint32_t position;
    uint32_t compsize;
    uint32_t filesize;
    int32_t timestamp;
    char path[200];
    char filename[200];
    uint32_t crc;
};
#pragma pack(pop)

/* ---- Results ---------------------------------------------------------------------- */

#define SPI_NO_FUNCTION (-1)   /* not implemented */
#define SPI_ALL_RIGHT 0        /* success */
#define SPI_ABORT 1            /* the progress callback asked to stop */
#define SPI_NOT_SUPPORT 2      /* unknown format */
#define SPI_OUT_OF_ORDER 3     /* the data is broken */
#define SPI_NO_MEMORY 4        /* a block could not be allocated */
#define SPI_MEMORY_ERROR 5     /* a memory error */
#define SPI_FILE_READ_ERROR 6  /* the file could not be read */
#define SPI_WINDOW_ERROR 7     /* a window could not be opened */
#define SPI_OTHER_ERROR 8      /* internal error */
#define SPI_FILE_WRITE_ERROR 9 /* the file could not be written */
#define SPI_END_OF_FILE 10     /* the data ended early */

/* The flag argument: bits 0-2 give the input kind. The program always passes memory. */
#define SPI_INPUT_FILE 0u
#define SPI_INPUT_MEMORY 1u

/* ---- Information numbers (GetPluginInfo) ------------------------------------------ */

/* 0: the API version, 4 characters: "00IN" pictures, "00AM" archives. Compared exactly.
 * 1: a description (name, version, author).
 * 2 + 2i: the file patterns of type i, "*.ext" or several joined by ';' ("*.jpg;*.jpeg").
 * 3 + 2i: the name of type i ("JPEG pictures").
 * The program asks 2 and 3, 4 and 5, ... and stops at the first pair that is not both
 * there. Return the number of characters written (without the NUL), 0 when the number
 * does not exist. */
#define SPI_INFO_API_VERSION 0
#define SPI_INFO_DESCRIPTION 1
#define SPI_INFO_FIRST_PATTERN 2
#define SPI_API_VERSION_PICTURE "00IN"
#define SPI_API_VERSION_ARCHIVE "00AM"

/* The program passes a 256-byte buffer and buflen 255. */
#define SPI_INFO_BUFFER_SIZE 256

/* ---- Exports ---------------------------------------------------------------------- */

/* The program's progress callback: numerator, denominator, the value given to GetPicture.
 * Returns 0 to go on, nonzero to stop (the plug-in then returns SPI_ABORT). */
typedef int32_t (*SpiProgressCallback)(int32_t num, int32_t denom, int32_t data);

typedef int32_t (*SpiGetPluginInfoFn)(int32_t infono, char* buf, int32_t buflen);
/* data: the first 2048 bytes of the data (zero-padded when shorter). filename may be "". */
typedef int32_t (*SpiIsSupportedFn)(const char* filename, const void* data);
typedef int32_t (*SpiGetPictureInfoFn)(const char* buf, int32_t len, uint32_t flag,
                                       struct PictureInfo* info);
/* *pHBInfo: a BITMAPINFOHEADER (40 bytes, little-endian) and its colour table.
 * *pHBm: the pixel rows in the layout the header gives (rows padded to 4 bytes, bottom-up
 * unless the height is negative), uncompressed. Both from LocalAlloc; the program frees
 * them. Return SPI_ALL_RIGHT only with both set. */
typedef int32_t (*SpiGetPictureFn)(const char* buf, int32_t len, uint32_t flag, HLOCAL* pHBInfo,
                                   HLOCAL* pHBm, SpiProgressCallback progress, int32_t data);
typedef int32_t (*SpiGetPreviewFn)(const char* buf, int32_t len, uint32_t flag, HLOCAL* pHBInfo,
                                   HLOCAL* pHBm, SpiProgressCallback progress, int32_t data);
typedef int32_t (*SpiConfigurationDlgFn)(void* parent, int32_t fnc);
typedef int32_t (*SpiGetArchiveInfoFn)(const char* buf, int32_t len, uint32_t flag, HLOCAL* lphInf);
typedef int32_t (*SpiGetFileInfoFn)(const char* buf, int32_t len, const char* filename,
                                    uint32_t flag, struct fileInfo* lpInfo);
typedef int32_t (*SpiGetFileFn)(const char* src, int32_t len, char* dest, uint32_t flag,
                                SpiProgressCallback progress, int32_t data);

#if defined(_WIN32)
#define QM_SPI_EXPORT __declspec(dllexport)
#else
#define QM_SPI_EXPORT __attribute__((visibility("default")))
#endif

/* The exports a picture plug-in defines. The program itself defines QM_SPI_HOST and looks
 * them up by name. */
#ifndef QM_SPI_HOST
QM_SPI_EXPORT int32_t GetPluginInfo(int32_t infono, char* buf, int32_t buflen);
QM_SPI_EXPORT int32_t IsSupported(const char* filename, const void* data);
QM_SPI_EXPORT int32_t GetPictureInfo(const char* buf, int32_t len, uint32_t flag,
                                     struct PictureInfo* info);
QM_SPI_EXPORT int32_t GetPicture(const char* buf, int32_t len, uint32_t flag, HLOCAL* pHBInfo,
                                 HLOCAL* pHBm, SpiProgressCallback progress, int32_t data);
#endif

#ifdef __cplusplus
}
#endif

#endif /* QUILTMAPPER_SPI_H */
