// Writes the module's SHOWAVI resource: an uncompressed RIFF AVI of 31 frames of
// 145x5 pixels, 16 bits a pixel (RGB 5-5-5), 83,333 microseconds a frame. Each
// frame shows a block sliding along a strip, a "working" animation.
// usage: make_showavi OUTPUT.avi

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kFrames = 31;
constexpr std::uint32_t kWidth = 145;
constexpr std::uint32_t kHeight = 5;
constexpr std::uint32_t kBitsPerPixel = 16;
constexpr std::uint32_t kMicroSecondsPerFrame = 83333;
constexpr std::uint32_t kRowBytes = (kWidth * kBitsPerPixel / 8 + 3) / 4 * 4;
constexpr std::uint32_t kFrameBytes = kRowBytes * kHeight;

class Writer {
public:
    void U16(std::uint32_t v)
    {
        bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
    }
    void U32(std::uint32_t v)
    {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    void FourCC(const char* code)
    {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<std::uint8_t>(code[i]));
        }
    }
    // Starts a chunk; returns where its size goes, patched by End.
    std::size_t Begin(const char* code)
    {
        FourCC(code);
        const std::size_t at = bytes.size();
        U32(0);
        return at;
    }
    std::size_t BeginList(const char* listCode, const char* type)
    {
        const std::size_t at = Begin(listCode);
        FourCC(type);
        return at;
    }
    void End(std::size_t sizeAt)
    {
        const auto size = static_cast<std::uint32_t>(bytes.size() - sizeAt - 4);
        for (int i = 0; i < 4; ++i) {
            bytes[sizeAt + i] = static_cast<std::uint8_t>((size >> (8 * i)) & 0xFF);
        }
        if (bytes.size() % 2 != 0) {
            bytes.push_back(0); // chunks are word aligned
        }
    }

    std::vector<std::uint8_t> bytes;
};

std::uint16_t Rgb555(int r, int g, int b)
{
    return static_cast<std::uint16_t>(((r & 31) << 10) | ((g & 31) << 5) | (b & 31));
}

std::vector<std::uint8_t> Frame(std::uint32_t index)
{
    std::vector<std::uint8_t> pixels(kFrameBytes, 0);
    constexpr std::uint32_t kBlock = 25;
    const std::uint32_t start = index * (kWidth - kBlock) / (kFrames - 1);
    for (std::uint32_t y = 0; y < kHeight; ++y) {
        for (std::uint32_t x = 0; x < kWidth; ++x) {
            const bool lit = x >= start && x < start + kBlock;
            const std::uint16_t colour = lit ? Rgb555(0, 12, 28) : Rgb555(28, 28, 28);
            const std::size_t at = y * kRowBytes + x * 2;
            pixels[at] = static_cast<std::uint8_t>(colour & 0xFF);
            pixels[at + 1] = static_cast<std::uint8_t>(colour >> 8);
        }
    }
    return pixels;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_showavi OUTPUT.avi\n");
        return 2;
    }
    Writer w;
    const std::size_t riff = w.BeginList("RIFF", "AVI ");

    const std::size_t hdrl = w.BeginList("LIST", "hdrl");
    const std::size_t avih = w.Begin("avih");
    w.U32(kMicroSecondsPerFrame);
    w.U32(kFrameBytes * 1000000ULL / kMicroSecondsPerFrame); // max bytes a second
    w.U32(0);                                                // padding granularity
    w.U32(0x10);                                             // AVIF_HASINDEX
    w.U32(kFrames);
    w.U32(0); // initial frames
    w.U32(1); // streams
    w.U32(kFrameBytes);
    w.U32(kWidth);
    w.U32(kHeight);
    for (int i = 0; i < 4; ++i) {
        w.U32(0);
    }
    w.End(avih);

    const std::size_t strl = w.BeginList("LIST", "strl");
    const std::size_t strh = w.Begin("strh");
    w.FourCC("vids");
    w.FourCC("DIB ");
    w.U32(0);                     // flags
    w.U16(0);                     // priority
    w.U16(0);                     // language
    w.U32(0);                     // initial frames
    w.U32(kMicroSecondsPerFrame); // scale / rate = seconds a frame
    w.U32(1000000);
    w.U32(0); // start
    w.U32(kFrames);
    w.U32(kFrameBytes);
    w.U32(0xFFFFFFFF); // quality: default
    w.U32(0);          // sample size: varies
    w.U16(0);
    w.U16(0);
    w.U16(kWidth);
    w.U16(kHeight);
    w.End(strh);
    const std::size_t strf = w.Begin("strf");
    w.U32(40); // BITMAPINFOHEADER
    w.U32(kWidth);
    w.U32(kHeight);
    w.U16(1);
    w.U16(kBitsPerPixel);
    w.U32(0); // BI_RGB
    w.U32(kFrameBytes);
    w.U32(0);
    w.U32(0);
    w.U32(0);
    w.U32(0);
    w.End(strf);
    w.End(strl);
    w.End(hdrl);

    const std::size_t movi = w.BeginList("LIST", "movi");
    const std::size_t moviData = movi + 4; // offsets in idx1 count from the "movi" code
    std::vector<std::uint32_t> offsets;
    for (std::uint32_t i = 0; i < kFrames; ++i) {
        offsets.push_back(static_cast<std::uint32_t>(w.bytes.size() - moviData));
        const std::size_t frame = w.Begin("00db");
        const std::vector<std::uint8_t> pixels = Frame(i);
        w.bytes.insert(w.bytes.end(), pixels.begin(), pixels.end());
        w.End(frame);
    }
    w.End(movi);

    const std::size_t idx1 = w.Begin("idx1");
    for (const std::uint32_t offset : offsets) {
        w.FourCC("00db");
        w.U32(0x10); // AVIIF_KEYFRAME
        w.U32(offset);
        w.U32(kFrameBytes);
    }
    w.End(idx1);
    w.End(riff);

    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const bool written = std::fwrite(w.bytes.data(), 1, w.bytes.size(), file) == w.bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "make_showavi: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
