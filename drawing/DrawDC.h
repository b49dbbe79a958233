// The drawing library libkrdcagg.so: drawing contexts that render anti-aliased shapes, images and
// text into a shared 32-bit premultiplied pixel buffer and copy it to a target surface when they
// are destroyed, and measure text with the same fonts. The main library owns every context it
// creates and gives it back with KRDC_DestroyDC.
//
// Colours are 32-bit values with red in the lowest byte, then green, blue and alpha. A colour
// whose alpha byte is 0 is drawn with the operation's alpha argument, and an alpha argument of
// 0 means 255, so colours written as names (alpha 0) are opaque. Texts are UTF-8.
#pragma once
#include "drawing/SchemeFont.h"
#include "platform/Surface.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#define KRDC_API __attribute__((visibility("default")))

// One frame of an image as the drawing library reads it: rows top to bottom, 4 bytes a pixel in
// the order blue, green, red, alpha. A frame without alpha has every alpha byte at 255.
struct DrawImageFrame {
    const uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;              // bytes from one row to the next
    bool hasAlpha = false;       // the alpha bytes carry transparency
    bool premultiplied = false;  // colours are already multiplied by alpha
};

// What the drawing library needs of an image; the image library's CImage provides it.
class IDrawableImage {
public:
    virtual plat::Size GetSize() const = 0;
    // False for a frame number out of range.
    virtual bool GetDrawFrame(int frame, DrawImageFrame& out) const = 0;

protected:
    ~IDrawableImage() = default;
};

// A drawing context (with a pixel buffer, created with a target surface) or a measuring context
// (no target, or the printing flag: text measuring and fonts work, drawing shows nothing). The
// virtual operations stand in a fixed order that the main library relies on.
class CDrawDC {
public:
    virtual void FillRect(const plat::Rect& rect, uint32_t colour) = 0;
    virtual void FillRectAlpha(const plat::Rect& rect, uint32_t colour, int alpha) = 0;
    virtual void FillRoundRect(const plat::Rect& rect, uint32_t colour, int radius) = 0;
    virtual void FillRoundRectAlpha(const plat::Rect& rect, uint32_t colour, int radius,
                                    int alpha) = 0;
    // A rectangle with the two corners of one side rounded (radius 5): side 0 top, 1 right,
    // 2 bottom, 3 left; filled, then outlined one pixel wide.
    virtual void DrawTab(const plat::Rect& rect, uint32_t fill, uint32_t outline, int side) = 0;
    virtual void DrawTabAlpha(const plat::Rect& rect, uint32_t fill, uint32_t outline, int side,
                              int alpha) = 0;
    virtual void DrawFocusRect(const plat::Rect& rect) = 0;
    virtual void Polygon(const plat::Point* points, int count, uint32_t fill,
                         uint32_t outline) = 0;
    virtual void Draw3DRect(const plat::Rect& rect, uint32_t topLeft, uint32_t bottomRight) = 0;
    // One-pixel lines through the pixels of the points; like the Windows pen, the last point's
    // pixel is left out.
    virtual void Polyline(const plat::Point* points, int count, uint32_t colour) = 0;
    virtual void PolyPolyline(const plat::Point* points, const int* counts, int lines,
                              uint32_t colour) = 0;
    virtual void FrameRect(const plat::Rect& rect, uint32_t colour) = 0;
    virtual void FrameRoundRect(const plat::Rect& rect, uint32_t colour, int radius) = 0;
    virtual void FrameRoundRectAlpha(const plat::Rect& rect, uint32_t colour, int radius,
                                     int alpha) = 0;
    virtual void GradientFillVertical(const plat::Rect& rect, uint32_t top, uint32_t bottom) = 0;
    virtual void GradientFillHorizontal(const plat::Rect& rect, uint32_t left,
                                        uint32_t right) = 0;
    // Filled with the first colour and outlined with the second.
    virtual void Ellipse(const plat::Rect& rect, uint32_t fill, uint32_t outline) = 0;

    // Text broken into lines of at most width pixels (alignment 0 left, 1 centre, 2 right).
    // With a maximum height (else -1), the last line that fits ends in the ellipsis when more
    // text follows. Answers the height used.
    virtual int DrawTextWrapped(int left, int top, std::string_view text, uint32_t colour,
                                int width, int alignment, int maxHeight) = 0;
    // The same line breaking without drawing: (widest line, total height).
    virtual plat::Size MeasureTextWrapped(int width, std::string_view text) = 0;
    // (sum of advance widths, line height) of the current font.
    virtual plat::Size MeasureText(std::string_view text) = 0;
    // One line; its baseline at top + ascent; kerning pairs applied.
    virtual void DrawText(int left, int top, std::string_view text, uint32_t colour) = 0;
    virtual void Reserved21() = 0;   // no effect
    virtual void Reserved22() = 0;   // no effect
    // Draws the leading characters that fit between left and right; outWidth receives their
    // width; true when characters were left over.
    virtual bool DrawTextClipped(int left, int top, int right, std::string_view text,
                                 uint32_t colour, int* outWidth) = 0;
    virtual void DrawTextEllipsis(int left, int top, int right, std::string_view text,
                                  uint32_t colour) = 0;
    // The text, or when it is too wide a prefix followed by the ellipsis text. False for an
    // empty text or when not even the ellipsis fits (then nothing is drawn).
    virtual bool DrawTextEllipsisW(int left, int top, int right, std::string_view text,
                                   uint32_t colour, int* outWidth) = 0;
    // Makes the font current, creating it on first use; false (the current font unchanged)
    // when it cannot be created.
    virtual bool SelectFont(const SchemeFont& font) = 0;
    virtual bool SelectFontByName(const char* face, int size, bool bold, bool italic,
                                  bool underline) = 0;
    virtual int GetLineHeight() = 0;
    virtual int GetAscent() = 0;
    virtual int GetTextWidth(std::string_view text) = 0;
    // How much of text from pos fits into width pixels on one line. Characters are taken while
    // they fit, stopping before a line end ('\r' or '\n'); pos moves to just after the last
    // blank taken, or where taking stopped when there was none, and out receives (width up to
    // pos, line height). True when the end of the text or a line end was reached (pos is then
    // there). With skipLeading the call is for an empty line: the first word is taken even
    // when it is wider than width, so that layout always moves on.
    virtual bool FitText(int width, std::string_view text, size_t& pos, plat::Size& out,
                         bool skipLeading) = 0;
    virtual plat::Rect GetBounds() = 0;
    virtual void DrawImage(const IDrawableImage* image, int frame, int left, int top) = 0;
    // The frame scaled into the rectangle; a right or bottom of 0 takes the image's own width or
    // height. A frame with alpha is blended pixel by pixel.
    virtual void DrawImageStretched(const IDrawableImage* image, int frame, int left, int top,
                                    int right, int bottom) = 0;
    virtual void PushClipRegion(const std::vector<plat::Rect>& region) = 0;
    virtual void PushClipRect(const plat::Rect& rect) = 0;
    virtual void PopClip() = 0;
    virtual int GetDpiX() = 0;
    virtual int GetDpiY() = 0;
    virtual void SetScale(int xNumerator, int xDenominator, int yNumerator,
                          int yDenominator) = 0;
    virtual int ScaleX(int value) = 0;   // value * numerator / denominator, rounded
    virtual int ScaleY(int value) = 0;
    virtual void ScaleRect(plat::Rect& rect) = 0;
    virtual plat::Size ScaleSize(plat::Size size) = 0;
    virtual bool IsPrinting() = 0;
    virtual void Destroy() = 0;               // Flush, then delete
    virtual plat::Surface* GetHDC() = 0;      // the target surface, or none
    virtual void Reserved48(intptr_t) = 0;    // no effect
    virtual ~CDrawDC() = default;
    virtual void BeginDraw() = 0;             // no effect
    // A drawing context copies the part of its buffer inside its bounds to the same place on
    // the target, alpha included; a measuring context does nothing.
    virtual void Flush() = 0;
};

extern "C" {
// Stores the ellipsis text drawn after cut text, a reserved value (answered back) and the
// window whose resolution measuring contexts use (0: the screen).
KRDC_API intptr_t KRDC_Startup(const char* ellipsis, intptr_t reserved, uintptr_t window);
// Frees the fonts, the font engine with its glyph cache and the pixel buffer.
KRDC_API void KRDC_Shutdown();
// Points added to every selected font size (not for printing contexts); drops all cached fonts.
// Answers the addition now in force.
KRDC_API int KRDC_SetFontAddition(int points);
KRDC_API void KRDC_EnableAlphaDrawing();
// A drawing context over target (bounds: the area a paint covers, or none for the whole target),
// or a measuring context when target is none or printing is set. The target must stay valid
// until the context is destroyed. Never fails.
KRDC_API CDrawDC* KRDC_CreateDC(const plat::Rect* bounds, plat::Surface* target, bool printing);
// Flushes and deletes a context; none is ignored.
KRDC_API void KRDC_DestroyDC(CDrawDC* dc);
}
