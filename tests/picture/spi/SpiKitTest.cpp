// The plug-in kit: the local-memory blocks, the record layout, and a C plug-in built with
// the kit handing the host blocks it frees.
#define QM_SPI_HOST
#include <QByteArray>
#include <QLibrary>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <quiltmapper/spi.h>
#include <string>

namespace {

struct BlockCase
{
    size_t Bytes;
    uint32_t Flags;
};

class LocalBlocks : public ::testing::TestWithParam<BlockCase>
{
};

TEST_P(LocalBlocks, KeepSizeContentAndLockCount)
{
    const BlockCase c = GetParam();
    HLOCAL h = LocalAlloc(c.Flags, c.Bytes);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(LocalSize(h), c.Bytes);

    auto* p = static_cast<unsigned char*>(LocalLock(h));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % alignof(std::max_align_t), 0u);
    if (c.Flags & LMEM_ZEROINIT) {
        for (size_t i = 0; i < c.Bytes; ++i)
            ASSERT_EQ(p[i], 0) << "byte " << i;
    }
    for (size_t i = 0; i < c.Bytes; ++i)
        p[i] = static_cast<unsigned char>(i * 7 + 1);
    // A second lock nests: the block is locked until both are undone.
    EXPECT_EQ(LocalLock(h), p);
    EXPECT_NE(LocalUnlock(h), 0);
    EXPECT_EQ(LocalUnlock(h), 0);
    EXPECT_EQ(LocalUnlock(h), 0) << "unlocking an unlocked block";

    HLOCAL g = LocalReAlloc(h, c.Bytes + 100, c.Flags);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(LocalSize(g), c.Bytes + 100);
    auto* q = static_cast<unsigned char*>(LocalLock(g));
    for (size_t i = 0; i < c.Bytes; ++i)
        ASSERT_EQ(q[i], static_cast<unsigned char>(i * 7 + 1)) << "byte " << i;
    if (c.Flags & LMEM_ZEROINIT) {
        for (size_t i = c.Bytes; i < c.Bytes + 100; ++i)
            ASSERT_EQ(q[i], 0) << "grown byte " << i;
    }
    LocalUnlock(g);
    EXPECT_EQ(LocalFree(g), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Kit, LocalBlocks,
                         ::testing::Values(BlockCase{0, LMEM_FIXED}, BlockCase{1, LPTR},
                                           BlockCase{40, LHND}, BlockCase{4097, LMEM_MOVEABLE},
                                           BlockCase{1 << 20, LHND}),
                         [](const ::testing::TestParamInfo<BlockCase>& info) {
                             return "Bytes" + std::to_string(info.param.Bytes) + "Flags" +
                                    std::to_string(info.param.Flags);
                         });

TEST(LocalBlocksKit, NullAndForeignHandlesAreRefused)
{
    EXPECT_EQ(LocalSize(nullptr), 0u);
    EXPECT_EQ(LocalLock(nullptr), nullptr);
    EXPECT_EQ(LocalUnlock(nullptr), 0);
    EXPECT_EQ(LocalFree(nullptr), nullptr);
    EXPECT_EQ(LocalReAlloc(nullptr, 10, 0), nullptr);
    EXPECT_EQ(LocalAlloc(0, static_cast<size_t>(-1)), nullptr);

    // Something that is not a block: as large as a header, without its mark.
    void* foreign = std::calloc(1, sizeof(QmLocalBlock));
    auto h = static_cast<HLOCAL>(foreign);
    EXPECT_EQ(LocalSize(h), 0u);
    EXPECT_EQ(LocalLock(h), nullptr);
    EXPECT_EQ(LocalFree(h), h) << "a foreign handle is given back, not freed";
    std::free(foreign);
}

TEST(PictureInfoKit, PackedLittleEndianLayout)
{
    struct Field
    {
        const char* Name;
        size_t Offset, Expected;
    };
    const Field fields[] = {
        {"left", offsetof(PictureInfo, left), 0},
        {"top", offsetof(PictureInfo, top), 4},
        {"width", offsetof(PictureInfo, width), 8},
        {"height", offsetof(PictureInfo, height), 12},
        {"x_density", offsetof(PictureInfo, x_density), 16},
        {"y_density", offsetof(PictureInfo, y_density), 18},
        {"colorDepth", offsetof(PictureInfo, colorDepth), 20},
        {"hInfo", offsetof(PictureInfo, hInfo), 22},
    };
    for (const Field& f : fields)
        EXPECT_EQ(f.Offset, f.Expected) << f.Name;
    EXPECT_EQ(sizeof(PictureInfo), sizeof(void*) == 8 ? 30u : 26u);
}

// Appends little-endian values to a script for the test plug-in.
struct Script
{
    QByteArray Bytes = QByteArrayLiteral("TPIC");
    Script& u32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            Bytes.append(char((v >> (8 * i)) & 0xff));
        return *this;
    }
    Script& u16(uint16_t v)
    {
        Bytes.append(char(v & 0xff)).append(char(v >> 8));
        return *this;
    }
    Script& raw(const QByteArray& b)
    {
        Bytes.append(b);
        return *this;
    }
};

TEST(PluginKit, CPluginBuiltWithTheKitHandsTheHostBlocksItFrees)
{
    QLibrary lib(QStringLiteral(QM_TEST_SPI_DIR "/tp_in.spi"));
    ASSERT_TRUE(lib.load()) << qPrintable(lib.errorString());
    auto info = reinterpret_cast<SpiGetPluginInfoFn>(lib.resolve("GetPluginInfo"));
    auto supported = reinterpret_cast<SpiIsSupportedFn>(lib.resolve("IsSupported"));
    auto picture = reinterpret_cast<SpiGetPictureFn>(lib.resolve("GetPicture"));
    ASSERT_TRUE(info && supported && picture);

    char buf[SPI_INFO_BUFFER_SIZE];
    EXPECT_EQ(info(SPI_INFO_API_VERSION, buf, 255), 4);
    EXPECT_STREQ(buf, SPI_API_VERSION_PICTURE);
    EXPECT_EQ(info(2, buf, 255), 6);
    EXPECT_STREQ(buf, "*.tpic");
    EXPECT_EQ(info(4, buf, 255), 0);
    EXPECT_EQ(info(1, buf, 5), 4) << "a short buffer cuts the text";
    EXPECT_STREQ(buf, "Test");

    const QByteArray header(40, '\x11'), bits(123, '\x22');
    Script s;
    s.u32(0).u32(0).u32(0).u32(0).u32(1).u32(1).u16(0).u16(0).u16(24).u32(0).u32(0);
    s.u32(header.size()).u32(bits.size()).raw(header).raw(bits);
    QByteArray head = s.Bytes;
    head.resize(2048);
    EXPECT_NE(supported("x.tpic", head.constData()), 0);

    HLOCAL hInfo = nullptr, hBits = nullptr;
    ASSERT_EQ(
        picture(s.Bytes.constData(), s.Bytes.size(), SPI_INPUT_MEMORY, &hInfo, &hBits, nullptr, 0),
        SPI_ALL_RIGHT);
    ASSERT_EQ(LocalSize(hInfo), size_t(header.size()));
    ASSERT_EQ(LocalSize(hBits), size_t(bits.size()));
    EXPECT_EQ(std::memcmp(LocalLock(hInfo), header.constData(), header.size()), 0);
    EXPECT_EQ(std::memcmp(LocalLock(hBits), bits.constData(), bits.size()), 0);
    LocalUnlock(hInfo);
    LocalUnlock(hBits);
    EXPECT_EQ(LocalFree(hInfo), nullptr);
    EXPECT_EQ(LocalFree(hBits), nullptr);

    // A cut script is refused without touching the handles.
    hInfo = hBits = nullptr;
    EXPECT_EQ(picture(s.Bytes.constData(), s.Bytes.size() - 1, SPI_INPUT_MEMORY, &hInfo, &hBits,
                      nullptr, 0),
              SPI_OUT_OF_ORDER);
    EXPECT_EQ(hInfo, nullptr);
    EXPECT_EQ(hBits, nullptr);
}

} // namespace
