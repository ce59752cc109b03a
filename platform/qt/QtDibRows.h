#pragma once
// Rows of packed device-independent bitmaps as 32-bit pixels 0xFFRRGGBB, the
// layout of QImage::Format_RGB32. Every bitmap copy to a window runs through
// them row by row, so the rows the shows draw on every tick (24-bit
// blue-green-red, and 8-bit through a linear grey table) go through SSSE3
// shuffles where the processor has them; plain loops give the same pixels
// everywhere else. Source and destination need no alignment.

#include <QRgb>
#include <cstdint>

// `count` pixels of a 24-bit row, blue, green, red bytes each.
void BgrRowToRgb32(const uint8_t* src, QRgb* dst, int count);

// `count` pixels of an 8-bit row through its 256-entry colour table.
void IndexedRowToRgb32(const uint8_t* src, QRgb* dst, int count, const QRgb* table);

// True when entry i of the table is grey level i: rows through it need no lookup.
bool IsGreyRamp(const QRgb* table);

// `count` pixels of an 8-bit row through the grey ramp.
void GreyRowToRgb32(const uint8_t* src, QRgb* dst, int count);
