// Screen capture with GDI and a small PNG writer (fixed-Huffman deflate that only
// codes runs of equal bytes: screen images are mostly flat areas, and after the
// "Up" row filter an unchanged row is a run of zeros).
#include "guidriver.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace guidriver {
namespace {

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0)
{
    static uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
        ready = true;
    }
    crc = ~crc;
    for (size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

class BitWriter
{
public:
    explicit BitWriter(std::vector<uint8_t>* out) : out_(out) {}
    void Bits(uint32_t value, int count) // least significant bit first
    {
        for (int i = 0; i < count; ++i) {
            acc_ |= ((value >> i) & 1u) << used_;
            if (++used_ == 8)
                Flush8();
        }
    }
    void Code(uint32_t code, int length) // Huffman codes go most significant bit first
    {
        for (int i = length - 1; i >= 0; --i) {
            acc_ |= ((code >> i) & 1u) << used_;
            if (++used_ == 8)
                Flush8();
        }
    }
    void Finish()
    {
        if (used_)
            Flush8();
    }

private:
    void Flush8()
    {
        out_->push_back(static_cast<uint8_t>(acc_));
        acc_ = 0;
        used_ = 0;
    }
    std::vector<uint8_t>* out_;
    uint32_t acc_ = 0;
    int used_ = 0;
};

void Literal(BitWriter& w, uint32_t value)
{
    if (value < 144)
        w.Code(0x30 + value, 8);
    else if (value < 256)
        w.Code(0x190 + value - 144, 9);
    else if (value < 280)
        w.Code(value - 256, 7);
    else
        w.Code(0xC0 + value - 280, 8);
}

void RunOf(BitWriter& w, int length) // length 3..258, distance 1
{
    static const int base[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                               31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const int extra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    int code = 28;
    while (base[code] > length)
        --code;
    Literal(w, 257 + code);
    w.Bits(length - base[code], extra[code]);
    w.Code(0, 5); // distance code 0: distance 1
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> out = {0x78, 0x01};
    BitWriter w(&out);
    w.Bits(1, 1); // final block
    w.Bits(1, 2); // fixed Huffman codes
    size_t i = 0;
    while (i < data.size()) {
        size_t run = 0;
        if (i > 0)
            while (i + run < data.size() && run < 258 && data[i + run] == data[i - 1])
                ++run;
        if (run >= 3) {
            RunOf(w, static_cast<int>(run));
            i += run;
        } else {
            Literal(w, data[i]);
            ++i;
        }
    }
    Literal(w, 256);
    w.Finish();
    uint32_t a = 1, b = 0;
    for (uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    uint32_t adler = (b << 16) | a;
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(adler >> shift));
    return out;
}

void Chunk(std::vector<uint8_t>* file, const char* type, const std::vector<uint8_t>& data)
{
    uint32_t size = static_cast<uint32_t>(data.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        file->push_back(static_cast<uint8_t>(size >> shift));
    size_t start = file->size();
    file->insert(file->end(), type, type + 4);
    file->insert(file->end(), data.begin(), data.end());
    uint32_t crc = Crc32(file->data() + start, file->size() - start);
    for (int shift = 24; shift >= 0; shift -= 8)
        file->push_back(static_cast<uint8_t>(crc >> shift));
}

// rgb: top-down rows of width*3 bytes in R, G, B order.
bool WritePng(const std::wstring& path, int width, int height, const std::vector<uint8_t>& rgb)
{
    std::vector<uint8_t> raw;
    raw.reserve(static_cast<size_t>(height) * (width * 3 + 1));
    size_t stride = static_cast<size_t>(width) * 3;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = &rgb[y * stride];
        if (y == 0) {
            raw.push_back(0); // None
            raw.insert(raw.end(), row, row + stride);
        } else {
            raw.push_back(2); // Up
            const uint8_t* above = row - stride;
            for (size_t x = 0; x < stride; ++x)
                raw.push_back(static_cast<uint8_t>(row[x] - above[x]));
        }
    }
    std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    for (uint32_t v : {static_cast<uint32_t>(width), static_cast<uint32_t>(height)})
        for (int shift = 24; shift >= 0; shift -= 8)
            header.push_back(static_cast<uint8_t>(v >> shift));
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8-bit RGB, no interlace
    Chunk(&file, "IHDR", header);
    Chunk(&file, "IDAT", Deflate(raw));
    Chunk(&file, "IEND", {});
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f)
        return false;
    bool ok = fwrite(file.data(), 1, file.size(), f) == file.size();
    return fclose(f) == 0 && ok;
}

} // namespace

bool SaveScreenshotPng(const std::wstring& path, HWND hwnd)
{
    RECT area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (hwnd && !GetWindowRect(hwnd, &area))
        return false;
    int width = area.right - area.left, height = area.bottom - area.top;
    if (width <= 0 || height <= 0)
        return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bitmap && bits) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top,
                    SRCCOPY | CAPTUREBLT) != FALSE;
        GdiFlush();
        SelectObject(memory, old);
        if (ok) {
            std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
            const uint8_t* bgra = static_cast<const uint8_t*>(bits);
            for (size_t p = 0; p < static_cast<size_t>(width) * height; ++p) {
                rgb[p * 3] = bgra[p * 4 + 2];
                rgb[p * 3 + 1] = bgra[p * 4 + 1];
                rgb[p * 3 + 2] = bgra[p * 4];
            }
            ok = WritePng(path, width, height, rgb);
        }
    }
    if (bitmap)
        DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

} // namespace guidriver
