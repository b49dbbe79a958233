// The drawing context behind KRDC_CreateDC, rendering with Anti-Grain Geometry, and the
// library's exported functions.
#include "drawing/DrawDC.h"
#include "drawing/DrawLibrary.h"
#include "drawing/Utf8.h"

#include <agg_conv_stroke.h>
#include <agg_ellipse.h>
#include <agg_gamma_functions.h>
#include <agg_image_accessors.h>
#include <agg_path_storage.h>
#include <agg_pixfmt_rgba.h>
#include <agg_rasterizer_scanline_aa.h>
#include <agg_renderer_mclip.h>
#include <agg_renderer_scanline.h>
#include <agg_rounded_rect.h>
#include <agg_scanline_u.h>
#include <agg_span_allocator.h>
#include <agg_span_image_filter_rgba.h>
#include <agg_span_interpolator_linear.h>
#include <agg_trans_affine.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

using PixFmt = agg::pixfmt_bgra32;          // plain colours blended into the premultiplied buffer
using PixFmtPre = agg::pixfmt_bgra32_pre;   // premultiplied colours
using Renderer = agg::renderer_mclip<PixFmt>;
using RendererPre = agg::renderer_mclip<PixFmtPre>;
// Clips in floating point before converting to fixed point, so huge coordinates stay safe.
using Rasterizer = agg::rasterizer_scanline_aa<agg::rasterizer_sl_clip_dbl>;
using Interpolator = agg::span_interpolator_linear<>;

constexpr double kShapeGamma = 1.8;
constexpr int kMaxBufferSide = 16384;
constexpr double kTabRadius = 5;
constexpr int kLineBreakExtra = 3;        // pixels added below a line ended by a line break
constexpr uint32_t kBreakAfter = 0xFF;    // besides the blank, a line may break after this

// The colour's own alpha, or when that is 0 the operation's alpha (0 meaning 255).
agg::rgba8 ToColour(uint32_t colour, int alpha)
{
    unsigned a = colour >> 24;
    if (a == 0)
        a = alpha <= 0 || alpha > 255 ? 255 : static_cast<unsigned>(alpha);
    return agg::rgba8(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF, a);
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

size_t SkipBlanks(std::string_view text, size_t pos)
{
    while (pos < text.size() && IsBlank(text[pos]))
        ++pos;
    return pos;
}

std::string_view TrimRight(std::string_view text)
{
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

struct ClipState {
    bool whole = true;               // no clip: the whole buffer
    std::vector<plat::Rect> rects;
};

class CAggDrawDC final : public CDrawDC {
public:
    CAggDrawDC(const plat::Rect* bounds, plat::Surface* target, bool printing);

    void FillRect(const plat::Rect& rect, uint32_t colour) override
    {
        FillRectAlpha(rect, colour, 255);
    }
    void FillRectAlpha(const plat::Rect& rect, uint32_t colour, int alpha) override;
    void FillRoundRect(const plat::Rect& rect, uint32_t colour, int radius) override
    {
        FillRoundRectAlpha(rect, colour, radius, 255);
    }
    void FillRoundRectAlpha(const plat::Rect& rect, uint32_t colour, int radius,
                            int alpha) override;
    void DrawTab(const plat::Rect& rect, uint32_t fill, uint32_t outline, int side) override
    {
        DrawTabAlpha(rect, fill, outline, side, 255);
    }
    void DrawTabAlpha(const plat::Rect& rect, uint32_t fill, uint32_t outline, int side,
                      int alpha) override;
    void DrawFocusRect(const plat::Rect& rect) override;
    void Polygon(const plat::Point* points, int count, uint32_t fill, uint32_t outline) override;
    void Draw3DRect(const plat::Rect& rect, uint32_t topLeft, uint32_t bottomRight) override;
    void Polyline(const plat::Point* points, int count, uint32_t colour) override;
    void PolyPolyline(const plat::Point* points, const int* counts, int lines,
                      uint32_t colour) override;
    void FrameRect(const plat::Rect& rect, uint32_t colour) override;
    void FrameRoundRect(const plat::Rect& rect, uint32_t colour, int radius) override
    {
        FrameRoundRectAlpha(rect, colour, radius, 255);
    }
    void FrameRoundRectAlpha(const plat::Rect& rect, uint32_t colour, int radius,
                             int alpha) override;
    void GradientFillVertical(const plat::Rect& rect, uint32_t top, uint32_t bottom) override
    {
        Gradient(rect, top, bottom, true);
    }
    void GradientFillHorizontal(const plat::Rect& rect, uint32_t left, uint32_t right) override
    {
        Gradient(rect, left, right, false);
    }
    void Ellipse(const plat::Rect& rect, uint32_t fill, uint32_t outline) override;

    int DrawTextWrapped(int left, int top, std::string_view text, uint32_t colour, int width,
                        int alignment, int maxHeight) override;
    plat::Size MeasureTextWrapped(int width, std::string_view text) override;
    plat::Size MeasureText(std::string_view text) override;
    void DrawText(int left, int top, std::string_view text, uint32_t colour) override;
    void Reserved21() override {}
    void Reserved22() override {}
    bool DrawTextClipped(int left, int top, int right, std::string_view text, uint32_t colour,
                         int* outWidth) override;
    void DrawTextEllipsis(int left, int top, int right, std::string_view text,
                          uint32_t colour) override
    {
        DrawTextEllipsisW(left, top, right, text, colour, nullptr);
    }
    bool DrawTextEllipsisW(int left, int top, int right, std::string_view text, uint32_t colour,
                           int* outWidth) override;
    bool SelectFont(const SchemeFont& font) override;
    bool SelectFontByName(const char* face, int size, bool bold, bool italic,
                          bool underline) override;
    int GetLineHeight() override { return m_font ? m_font->lineHeight : 0; }
    int GetAscent() override { return m_font ? m_font->ascent : 0; }
    int GetTextWidth(std::string_view text) override;
    bool FitText(int width, std::string_view text, size_t& pos, plat::Size& out,
                 bool skipLeading) override;
    plat::Rect GetBounds() override { return m_bounds; }
    void DrawImage(const IDrawableImage* image, int frame, int left, int top) override
    {
        DrawImageStretched(image, frame, left, top, 0, 0);
    }
    void DrawImageStretched(const IDrawableImage* image, int frame, int left, int top, int right,
                            int bottom) override;
    void PushClipRegion(const std::vector<plat::Rect>& region) override;
    void PushClipRect(const plat::Rect& rect) override { PushClipRegion({rect}); }
    void PopClip() override;
    int GetDpiX() override { return m_dpiX; }
    int GetDpiY() override { return m_dpiY; }
    void SetScale(int xNumerator, int xDenominator, int yNumerator, int yDenominator) override
    {
        m_scale[0] = xNumerator;
        m_scale[1] = xDenominator;
        m_scale[2] = yNumerator;
        m_scale[3] = yDenominator;
    }
    int ScaleX(int value) override { return MulDiv(value, m_scale[0], m_scale[1]); }
    int ScaleY(int value) override { return MulDiv(value, m_scale[2], m_scale[3]); }
    void ScaleRect(plat::Rect& rect) override
    {
        rect = {ScaleX(rect.left), ScaleY(rect.top), ScaleX(rect.right), ScaleY(rect.bottom)};
    }
    plat::Size ScaleSize(plat::Size size) override { return {ScaleX(size.cx), ScaleY(size.cy)}; }
    bool IsPrinting() override { return m_printing; }
    void Destroy() override
    {
        Flush();
        delete this;
    }
    plat::Surface* GetHDC() override { return m_target; }
    void Reserved48(intptr_t) override {}
    void BeginDraw() override {}
    void Flush() override;

private:
    void ApplyClip();
    template <class VertexSource>
    void Fill(VertexSource& shape, const agg::rgba8& colour, bool gamma);
    template <class VertexSource>
    void Outline(VertexSource& shape, const agg::rgba8& colour);
    void StrokeOpenPath(const plat::Point* points, int count, const agg::rgba8& colour);
    void Gradient(const plat::Rect& rect, uint32_t from, uint32_t to, bool vertical);

    // Text helpers; the library lock is held and glyphs is the bound font's cache, or none
    // when no font is current (then every width is 0 and nothing is drawn).
    GlyphCache* BindFont();
    double Advance(GlyphCache* glyphs, uint32_t cp);
    double Width(GlyphCache* glyphs, std::string_view text);
    void Render(GlyphCache* glyphs, int left, int top, std::string_view text, uint32_t colour);
    bool Fit(GlyphCache* glyphs, int width, std::string_view text, size_t& pos, plat::Size& out,
             bool skipLeading);
    bool Clipped(GlyphCache* glyphs, int left, int top, int right, std::string_view text,
                 uint32_t colour, int* outWidth);
    bool Ellipsis(GlyphCache* glyphs, int left, int top, int right, std::string_view text,
                  uint32_t colour, int* outWidth);
    int Wrap(GlyphCache* glyphs, int left, int top, std::string_view text, uint32_t colour,
             int width, int alignment, int maxHeight, bool draw, int* widest);

    plat::Surface* m_target = nullptr;
    plat::Rect m_bounds;
    bool m_printing = false;
    int m_dpiX = plat::kScreenDpi;
    int m_dpiY = plat::kScreenDpi;
    int m_scale[4] = {1, 1, 1, 1};
    ClipState m_clip;
    std::vector<ClipState> m_clipStack;
    CFontPtr m_font;

    std::shared_ptr<PixelBuffer> m_buffer;   // none for a measuring context
    int m_width = 0;
    int m_height = 0;
    bool m_canDraw = false;                  // a buffer and something left inside the clip
    agg::rendering_buffer m_rbuf;
    PixFmt m_pixf{m_rbuf};
    PixFmtPre m_pixfPre{m_rbuf};
    Renderer m_ren{m_pixf};
    RendererPre m_renPre{m_pixfPre};
    Rasterizer m_ras;
    agg::scanline_u8 m_sl;
};

CAggDrawDC::CAggDrawDC(const plat::Rect* bounds, plat::Surface* target, bool printing)
    : m_target(target), m_printing(printing)
{
    if (target && target->dpiX > 0 && target->dpiY > 0) {
        m_dpiX = target->dpiX;
        m_dpiY = target->dpiY;
    }
    if (printing && target)
        SetScale(m_dpiX, plat::kScreenDpi, m_dpiY, plat::kScreenDpi);
    if (bounds)
        m_bounds = *bounds;
    if (!target || printing || !target->IsValid())
        return;   // measuring, or a target that cannot be drawn on

    // The buffer covers (0, 0) to the bounds' right and bottom, but never beyond the target,
    // which bounds it however large a rectangle the caller passes.
    if (!bounds)
        m_bounds = {0, 0, target->width, target->height};
    const int width = std::min({m_bounds.right, target->width, kMaxBufferSide});
    const int height = std::min({m_bounds.bottom, target->height, kMaxBufferSide});
    if (width <= 0 || height <= 0)
        return;
    try {
        CDrawLibrary& library = CDrawLibrary::Get();
        std::lock_guard<std::mutex> hold(library.Lock());
        m_buffer = library.AcquireBuffer(static_cast<size_t>(width) * height * 4);
    } catch (const std::bad_alloc&) {
        return;
    }
    m_width = width;
    m_height = height;
    m_rbuf.attach(m_buffer->data(), width, height, width * 4);
    // Only what lies inside the bounds is ever copied out, so only that needs clearing.
    const plat::Rect area = plat::IntersectRect(m_bounds, {0, 0, width, height});
    for (int y = area.top; y < area.bottom; ++y)
        std::memset(m_rbuf.row_ptr(y) + area.left * 4, 0, static_cast<size_t>(area.Width()) * 4);
    ApplyClip();
    BeginDraw();
}

void CAggDrawDC::ApplyClip()
{
    m_canDraw = false;
    if (!m_buffer)
        return;
    const plat::Rect area = plat::IntersectRect(m_bounds, {0, 0, m_width, m_height});
    m_ren.reset_clipping(false);
    m_renPre.reset_clipping(false);
    plat::Rect box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    const std::vector<plat::Rect> whole{area};
    for (const plat::Rect& r : m_clip.whole ? whole : m_clip.rects) {
        const plat::Rect c = plat::IntersectRect(r, area);
        if (c.IsEmpty())
            continue;
        m_ren.add_clip_box(c.left, c.top, c.right - 1, c.bottom - 1);
        m_renPre.add_clip_box(c.left, c.top, c.right - 1, c.bottom - 1);
        box = {std::min(box.left, c.left), std::min(box.top, c.top),
               std::max(box.right, c.right), std::max(box.bottom, c.bottom)};
        m_canDraw = true;
    }
    if (m_canDraw)
        m_ras.clip_box(box.left, box.top, box.right, box.bottom);
}

template <class VertexSource>
void CAggDrawDC::Fill(VertexSource& shape, const agg::rgba8& colour, bool gamma)
{
    m_ras.reset();
    if (gamma)
        m_ras.gamma(agg::gamma_power(kShapeGamma));
    else
        m_ras.gamma(agg::gamma_none());
    m_ras.add_path(shape);
    agg::render_scanlines_aa_solid(m_ras, m_sl, m_ren, colour);
}

template <class VertexSource>
void CAggDrawDC::Outline(VertexSource& shape, const agg::rgba8& colour)
{
    agg::conv_stroke<VertexSource> stroke(shape);
    stroke.width(1.0);
    stroke.line_join(agg::miter_join);
    stroke.line_cap(agg::butt_cap);
    Fill(stroke, colour, true);
}

void CAggDrawDC::FillRectAlpha(const plat::Rect& rect, uint32_t colour, int alpha)
{
    if (!m_canDraw || rect.IsEmpty())
        return;
    m_ren.blend_bar(rect.left, rect.top, rect.right - 1, rect.bottom - 1, ToColour(colour, alpha),
                    agg::cover_full);
}

void CAggDrawDC::FillRoundRectAlpha(const plat::Rect& rect, uint32_t colour, int radius,
                                    int alpha)
{
    if (!m_canDraw || rect.IsEmpty())
        return;
    agg::rounded_rect shape(rect.left, rect.top, rect.right, rect.bottom, std::max(radius, 0));
    shape.normalize_radius();
    Fill(shape, ToColour(colour, alpha), true);
}

void CAggDrawDC::DrawTabAlpha(const plat::Rect& rect, uint32_t fill, uint32_t outline, int side,
                              int alpha)
{
    if (!m_canDraw || rect.IsEmpty())
        return;
    // Corners in the shape's order: top-left, top-right, bottom-right, bottom-left; side 0
    // rounds the top pair, 1 the right, 2 the bottom, 3 the left.
    double r[4] = {0, 0, 0, 0};
    const int first = ((side % 4) + 4) % 4;
    r[first] = r[(first + 1) % 4] = kTabRadius;
    agg::rounded_rect shape(rect.left + 0.5, rect.top + 0.5, rect.right - 0.5, rect.bottom - 0.5,
                            0);
    shape.radius(r[0], r[0], r[1], r[1], r[2], r[2], r[3], r[3]);
    shape.normalize_radius();
    Fill(shape, ToColour(fill, alpha), true);
    Outline(shape, ToColour(outline, alpha));
}

void CAggDrawDC::DrawFocusRect(const plat::Rect& rect)
{
    if (!m_canDraw || rect.IsEmpty())
        return;
    // Walk the frame clockwise from the top-left pixel, alternating the two colours, so the
    // pattern continues around the corners.
    const agg::rgba8 colours[2] = {agg::rgba8(0, 0, 255, 200), agg::rgba8(255, 255, 255, 200)};
    int k = 0;
    const auto dot = [&](int x, int y) { m_ren.blend_pixel(x, y, colours[k++ & 1], agg::cover_full); };
    const int l = rect.left, t = rect.top, r = rect.right - 1, b = rect.bottom - 1;
    for (int x = l; x <= r; ++x)
        dot(x, t);
    for (int y = t + 1; y <= b; ++y)
        dot(r, y);
    if (b > t)
        for (int x = r - 1; x >= l; --x)
            dot(x, b);
    if (r > l)
        for (int y = b - 1; y > t; --y)
            dot(l, y);
}

void CAggDrawDC::Polygon(const plat::Point* points, int count, uint32_t fill, uint32_t outline)
{
    if (!m_canDraw || !points || count <= 0)
        return;
    agg::path_storage path;
    path.move_to(points[0].x + 0.5, points[0].y + 0.5);
    for (int i = 1; i < count; ++i)
        path.line_to(points[i].x + 0.5, points[i].y + 0.5);
    path.close_polygon();
    Fill(path, ToColour(fill, 255), false);
    Outline(path, ToColour(outline, 255));
}

void CAggDrawDC::Draw3DRect(const plat::Rect& rect, uint32_t topLeft, uint32_t bottomRight)
{
    const plat::Point first[3] = {
        {rect.right - 1, rect.top}, {rect.left, rect.top}, {rect.left, rect.bottom}};
    const plat::Point second[3] = {{rect.left, rect.bottom - 1},
                                   {rect.right - 1, rect.bottom - 1},
                                   {rect.right - 1, rect.top}};
    Polyline(first, 3, topLeft);
    Polyline(second, 3, bottomRight);
}

void CAggDrawDC::Polyline(const plat::Point* points, int count, uint32_t colour)
{
    if (m_canDraw && points)
        StrokeOpenPath(points, count, ToColour(colour, 255));
}

void CAggDrawDC::PolyPolyline(const plat::Point* points, const int* counts, int lines,
                              uint32_t colour)
{
    if (!m_canDraw || !points || !counts)
        return;
    for (int i = 0; i < lines; ++i) {
        if (counts[i] < 0)
            return;
        StrokeOpenPath(points, counts[i], ToColour(colour, 255));
        points += counts[i];
    }
}

void CAggDrawDC::StrokeOpenPath(const plat::Point* points, int count, const agg::rgba8& colour)
{
    // Through the pixel centres; like a Windows pen the line stops short of the last point's
    // pixel, so it starts half a pixel before the first centre and ends half a pixel before
    // the last one.
    std::vector<agg::point_d> p;
    for (int i = 0; i < count; ++i) {
        const agg::point_d q(points[i].x + 0.5, points[i].y + 0.5);
        if (p.empty() || p.back().x != q.x || p.back().y != q.y)
            p.push_back(q);
    }
    if (p.size() < 2)
        return;
    const auto shift = [](agg::point_d& end, const agg::point_d& from, const agg::point_d& to) {
        const double dx = to.x - from.x, dy = to.y - from.y, len = std::sqrt(dx * dx + dy * dy);
        end.x -= 0.5 * dx / len;
        end.y -= 0.5 * dy / len;
    };
    shift(p.front(), p[0], p[1]);
    shift(p.back(), p[p.size() - 2], p.back());
    agg::path_storage path;
    path.move_to(p[0].x, p[0].y);
    for (size_t i = 1; i < p.size(); ++i)
        path.line_to(p[i].x, p[i].y);
    Outline(path, colour);
}

void CAggDrawDC::FrameRect(const plat::Rect& rect, uint32_t colour)
{
    if (!m_canDraw || rect.IsEmpty())
        return;
    const agg::rgba8 c = ToColour(colour, 255);
    const int l = rect.left, t = rect.top, r = rect.right - 1, b = rect.bottom - 1;
    m_ren.blend_hline(l, t, r, c, agg::cover_full);
    if (b > t)
        m_ren.blend_hline(l, b, r, c, agg::cover_full);
    if (b - t > 1) {
        // Bars, not AGG's vertical lines: those apply a translucent colour's alpha twice.
        m_ren.blend_bar(l, t + 1, l, b - 1, c, agg::cover_full);
        if (r > l)
            m_ren.blend_bar(r, t + 1, r, b - 1, c, agg::cover_full);
    }
}

void CAggDrawDC::FrameRoundRectAlpha(const plat::Rect& rect, uint32_t colour, int radius,
                                     int alpha)
{
    if (!m_canDraw || rect.IsEmpty())
        return;
    agg::rounded_rect shape(rect.left + 0.5, rect.top + 0.5, rect.right - 0.5, rect.bottom - 0.5,
                            std::max(radius, 0));
    shape.normalize_radius();
    Outline(shape, ToColour(colour, alpha));
}

void CAggDrawDC::Gradient(const plat::Rect& rect, uint32_t from, uint32_t to, bool vertical)
{
    if (!m_canDraw || rect.IsEmpty())
        return;
    const agg::rgba8 a = ToColour(from, 255), b = ToColour(to, 255);
    // In 64 bits: the rectangle may reach far beyond the buffer.
    const int64_t start = vertical ? rect.top : rect.left, end = vertical ? rect.bottom : rect.right;
    const int64_t steps = end - start;
    // Only the rows or columns inside the buffer need a colour.
    const int64_t first = std::max<int64_t>(0, -start);
    const int64_t last = std::min<int64_t>(steps, (vertical ? m_height : m_width) - start);
    for (int64_t i = first; i < last; ++i) {
        const double f = steps > 1 ? static_cast<double>(i) / (steps - 1) : 0.0;
        const auto mix = [f](int x, int y) { return static_cast<agg::int8u>(std::lround(x + (y - x) * f)); };
        const agg::rgba8 c(mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b), mix(a.a, b.a));
        if (vertical)
            m_ren.blend_hline(rect.left, static_cast<int>(start + i), rect.right - 1, c, agg::cover_full);
        else
            m_ren.blend_bar(static_cast<int>(start + i), rect.top, static_cast<int>(start + i),
                            rect.bottom - 1, c, agg::cover_full);
    }
}

void CAggDrawDC::Ellipse(const plat::Rect& rect, uint32_t fill, uint32_t outline)
{
    if (!m_canDraw || rect.IsEmpty())
        return;
    const double cx = (static_cast<double>(rect.left) + rect.right) / 2.0;
    const double cy = (static_cast<double>(rect.top) + rect.bottom) / 2.0;
    const double rx = (static_cast<double>(rect.right) - rect.left) / 2.0;
    const double ry = (static_cast<double>(rect.bottom) - rect.top) / 2.0;
    agg::ellipse inside(cx, cy, rx, ry);
    Fill(inside, ToColour(fill, 255), true);
    agg::ellipse edge(cx, cy, std::max(rx - 0.5, 0.0), std::max(ry - 0.5, 0.0));
    Outline(edge, ToColour(outline, 255));
}

void CAggDrawDC::DrawImageStretched(const IDrawableImage* image, int frame, int left, int top,
                                    int right, int bottom)
{
    if (!m_canDraw || !image)
        return;
    DrawImageFrame f;
    if (!image->GetDrawFrame(frame, f) || !f.pixels || f.width <= 0 || f.height <= 0 ||
        f.stride < f.width * 4)
        return;
    const plat::Size size = image->GetSize();
    if (right == 0)
        right = left + size.cx;
    if (bottom == 0)
        bottom = top + size.cy;
    if (right <= left || bottom <= top)
        return;

    const double width = static_cast<double>(right) - left, height = static_cast<double>(bottom) - top;
    agg::trans_affine mtx = agg::trans_affine_scaling(width / f.width, height / f.height);
    mtx *= agg::trans_affine_translation(left, top);
    mtx.invert();   // the span generator maps target pixels back into the frame
    Interpolator interpolator(mtx);
    agg::span_allocator<agg::rgba8> spans;
    agg::path_storage area;
    area.move_to(left, top);
    area.line_to(right, top);
    area.line_to(right, bottom);
    area.line_to(left, bottom);
    area.close_polygon();
    m_ras.reset();
    m_ras.gamma(agg::gamma_none());
    m_ras.add_path(area);

    if (width == f.width && height == f.height) {
        // At its own size every pixel maps onto one frame pixel.
        agg::rendering_buffer source(const_cast<uint8_t*>(f.pixels), f.width, f.height, f.stride);
        PixFmt sourceFormat(source);
        agg::image_accessor_clone<PixFmt> pixels(sourceFormat);
        agg::span_image_filter_rgba_nn<decltype(pixels), Interpolator> filter(pixels, interpolator);
        if (f.premultiplied)
            agg::render_scanlines_aa(m_ras, m_sl, m_renPre, spans, filter);
        else
            agg::render_scanlines_aa(m_ras, m_sl, m_ren, spans, filter);
        return;
    }
    // Scaled: interpolate premultiplied colours, so that transparent pixels do not bleed their
    // colour into the edges.
    std::vector<uint8_t> copy(static_cast<size_t>(f.width) * f.height * 4);
    for (int y = 0; y < f.height; ++y) {
        const uint8_t* s = f.pixels + static_cast<size_t>(y) * f.stride;
        uint8_t* d = copy.data() + static_cast<size_t>(y) * f.width * 4;
        for (int x = 0; x < f.width; ++x, s += 4, d += 4) {
            const unsigned a = f.hasAlpha ? s[3] : 255;
            for (int k = 0; k < 3; ++k)
                d[k] = f.premultiplied || a == 255 ? s[k] : static_cast<uint8_t>((s[k] * a + 127) / 255);
            d[3] = static_cast<uint8_t>(a);
        }
    }
    agg::rendering_buffer source(copy.data(), f.width, f.height, f.width * 4);
    PixFmtPre sourceFormat(source);
    agg::image_accessor_clone<PixFmtPre> pixels(sourceFormat);
    agg::span_image_filter_rgba_bilinear<decltype(pixels), Interpolator> filter(pixels,
                                                                                interpolator);
    agg::render_scanlines_aa(m_ras, m_sl, m_renPre, spans, filter);
}

void CAggDrawDC::PushClipRegion(const std::vector<plat::Rect>& region)
{
    m_clipStack.push_back(std::move(m_clip));
    m_clip = {false, region};
    ApplyClip();
}

void CAggDrawDC::PopClip()
{
    if (m_clipStack.empty())
        return;
    m_clip = std::move(m_clipStack.back());
    m_clipStack.pop_back();
    ApplyClip();
}

void CAggDrawDC::Flush()
{
    if (!m_buffer || !m_target || !m_target->IsValid())
        return;
    const plat::Rect area = plat::IntersectRect(
        plat::IntersectRect(m_bounds, {0, 0, m_width, m_height}),
        {0, 0, m_target->width, m_target->height});
    for (int y = area.top; y < area.bottom; ++y)
        std::memcpy(m_target->Row(y) + area.left * 4, m_rbuf.row_ptr(y) + area.left * 4,
                    static_cast<size_t>(area.Width()) * 4);
}

// ---- text ----

bool CAggDrawDC::SelectFont(const SchemeFont& font)
{
    CDrawLibrary& library = CDrawLibrary::Get();
    std::lock_guard<std::mutex> hold(library.Lock());
    CFontPtr created = library.FindOrCreateFont(font, m_dpiY, m_printing);
    if (!created)
        return false;
    m_font = std::move(created);
    return true;
}

bool CAggDrawDC::SelectFontByName(const char* face, int size, bool bold, bool italic,
                                  bool underline)
{
    SchemeFont font;
    font.SetFaceName(face ? face : "");
    font.nSize = size;
    font.nWeight = bold ? 700 : 400;
    font.bItalic = italic;
    font.bUnderline = underline;
    return SelectFont(font);
}

GlyphCache* CAggDrawDC::BindFont()
{
    return m_font ? CDrawLibrary::Get().Bind(*m_font) : nullptr;
}

double CAggDrawDC::Advance(GlyphCache* glyphs, uint32_t cp)
{
    if (!glyphs || cp < 0x20)
        return 0;   // control characters take no room
    const agg::glyph_cache* glyph = glyphs->glyph(cp);
    return glyph ? glyph->advance_x : 0;
}

double CAggDrawDC::Width(GlyphCache* glyphs, std::string_view text)
{
    double width = 0;
    for (size_t i = 0; i < text.size();)
        width += Advance(glyphs, DecodeUtf8(text, i));
    return width;
}

void CAggDrawDC::Render(GlyphCache* glyphs, int left, int top, std::string_view text,
                        uint32_t colour)
{
    if (!m_canDraw || !glyphs || text.empty())
        return;
    const agg::rgba8 c = ToColour(colour, 255);
    agg::renderer_scanline_aa_solid<Renderer> smooth(m_ren);
    agg::renderer_scanline_bin_solid<Renderer> crisp(m_ren);
    smooth.color(c);
    crisp.color(c);
    const int baseline = top + m_font->ascent;
    double x = left, y = baseline;
    glyphs->reset_last_glyph();
    for (size_t i = 0; i < text.size();) {
        const uint32_t cp = DecodeUtf8(text, i);
        if (cp < 0x20)
            continue;
        const agg::glyph_cache* glyph = glyphs->glyph(cp);
        if (!glyph)
            continue;
        glyphs->add_kerning(&x, &y);
        glyphs->init_embedded_adaptors(glyph, x, y);
        if (glyph->data_type == agg::glyph_data_gray8)
            agg::render_scanlines(glyphs->gray8_adaptor(), glyphs->gray8_scanline(), smooth);
        else if (glyph->data_type == agg::glyph_data_mono)
            agg::render_scanlines(glyphs->mono_adaptor(), glyphs->mono_scanline(), crisp);
        x += glyph->advance_x;
        y += glyph->advance_y;
    }
    if (m_font->record.bUnderline) {
        const int lineTop = baseline + m_font->metrics.underlinePosition;
        m_ren.blend_bar(left, lineTop, static_cast<int>(std::lround(x)) - 1,
                        lineTop + m_font->metrics.underlineThickness - 1, c, agg::cover_full);
    }
}

bool CAggDrawDC::Fit(GlyphCache* glyphs, int width, std::string_view text, size_t& pos,
                     plat::Size& out, bool skipLeading)
{
    size_t i = std::min(pos, text.size());
    double taken = 0;
    if (skipLeading)   // an empty line takes its first word whatever its width
        while (i < text.size() && !IsBlank(text[i]))
            taken += Advance(glyphs, DecodeUtf8(text, i));
    size_t breakAt = std::string_view::npos;
    double breakWidth = 0;
    bool reachedEnd = false;
    for (;;) {
        if (i >= text.size() || IsLineEnd(text[i])) {
            reachedEnd = true;
            break;
        }
        size_t next = i;
        const uint32_t cp = DecodeUtf8(text, next);
        const double advance = Advance(glyphs, cp);
        if (std::lround(taken + advance) > width)
            break;
        taken += advance;
        i = next;
        if (cp == ' ' || cp == kBreakAfter) {
            breakAt = i;
            breakWidth = taken;
        }
    }
    if (!reachedEnd && breakAt != std::string_view::npos) {
        i = breakAt;
        taken = breakWidth;
    }
    pos = i;
    out = {static_cast<int>(std::lround(taken)), GetLineHeight()};
    return reachedEnd;
}

bool CAggDrawDC::Clipped(GlyphCache* glyphs, int left, int top, int right, std::string_view text,
                         uint32_t colour, int* outWidth)
{
    double taken = 0;
    size_t i = 0;
    while (i < text.size()) {
        size_t next = i;
        const double advance = Advance(glyphs, DecodeUtf8(text, next));
        if (std::lround(taken + advance) > int64_t{right} - left)
            break;
        taken += advance;
        i = next;
    }
    Render(glyphs, left, top, text.substr(0, i), colour);
    if (outWidth)
        *outWidth = static_cast<int>(std::lround(taken));
    return i < text.size();
}

bool CAggDrawDC::Ellipsis(GlyphCache* glyphs, int left, int top, int right, std::string_view text,
                          uint32_t colour, int* outWidth)
{
    if (outWidth)
        *outWidth = 0;
    if (text.empty())
        return false;
    const int width = static_cast<int>(std::lround(Width(glyphs, text)));
    if (width <= int64_t{right} - left) {
        Render(glyphs, left, top, text, colour);
        if (outWidth)
            *outWidth = width;
        return true;
    }
    const std::string& ellipsis = CDrawLibrary::Get().m_ellipsis;
    const int ellipsisWidth = static_cast<int>(std::lround(Width(glyphs, ellipsis)));
    if (int64_t{right} - ellipsisWidth <= left)
        return false;
    int clippedWidth = 0;
    Clipped(glyphs, left, top, right - ellipsisWidth, text, colour, &clippedWidth);
    Render(glyphs, left + clippedWidth, top, ellipsis, colour);
    if (outWidth)
        *outWidth = clippedWidth + ellipsisWidth;
    return true;
}

int CAggDrawDC::Wrap(GlyphCache* glyphs, int left, int top, std::string_view text,
                     uint32_t colour, int width, int alignment, int maxHeight, bool draw,
                     int* widest)
{
    const int lineHeight = GetLineHeight();
    int y = top;
    size_t pos = SkipBlanks(text, 0);
    while (pos < text.size()) {
        const size_t start = pos;
        plat::Size fitted;
        const bool restFits = Fit(glyphs, width, text, pos, fitted, false);
        if (!restFits) {
            if (pos == start)
                DecodeUtf8(text, pos);   // not one character fits: place one all the same
            if (maxHeight >= 0 && int64_t{top} + maxHeight < int64_t{y} + 2 * lineHeight) {
                // The next line would not fit: end this one with the ellipsis.
                int used = 0;
                Ellipsis(glyphs, left, y, left + width, text.substr(start), colour, &used);
                *widest = std::max(*widest, used);
                y += lineHeight;
                break;
            }
        }
        const std::string_view line = TrimRight(text.substr(start, pos - start));
        const int lineWidth = static_cast<int>(std::lround(Width(glyphs, line)));
        *widest = std::max(*widest, lineWidth);
        if (draw) {
            const int64_t room = int64_t{width} - lineWidth;
            const int64_t x = alignment == 1 ? left + room / 2 : alignment == 2 ? left + room : left;
            Render(glyphs, static_cast<int>(std::clamp<int64_t>(x, INT32_MIN, INT32_MAX)), y, line,
                   colour);
        }
        y += lineHeight;
        if (pos < text.size() && IsLineEnd(text[pos]))
            y += kLineBreakExtra;
        pos = SkipBlanks(text, pos);
    }
    return y - top;
}

int CAggDrawDC::DrawTextWrapped(int left, int top, std::string_view text, uint32_t colour,
                                int width, int alignment, int maxHeight)
{
    std::lock_guard<std::mutex> hold(CDrawLibrary::Get().Lock());
    int widest = 0;
    return Wrap(BindFont(), left, top, text, colour, width, alignment, maxHeight, true, &widest);
}

plat::Size CAggDrawDC::MeasureTextWrapped(int width, std::string_view text)
{
    std::lock_guard<std::mutex> hold(CDrawLibrary::Get().Lock());
    int widest = 0;
    const int height = Wrap(BindFont(), 0, 0, text, 0, width, 0, -1, false, &widest);
    return {widest, height};
}

plat::Size CAggDrawDC::MeasureText(std::string_view text)
{
    return {GetTextWidth(text), GetLineHeight()};
}

int CAggDrawDC::GetTextWidth(std::string_view text)
{
    std::lock_guard<std::mutex> hold(CDrawLibrary::Get().Lock());
    return static_cast<int>(std::lround(Width(BindFont(), text)));
}

void CAggDrawDC::DrawText(int left, int top, std::string_view text, uint32_t colour)
{
    std::lock_guard<std::mutex> hold(CDrawLibrary::Get().Lock());
    Render(BindFont(), left, top, text, colour);
}

bool CAggDrawDC::DrawTextClipped(int left, int top, int right, std::string_view text,
                                 uint32_t colour, int* outWidth)
{
    std::lock_guard<std::mutex> hold(CDrawLibrary::Get().Lock());
    return Clipped(BindFont(), left, top, right, text, colour, outWidth);
}

bool CAggDrawDC::DrawTextEllipsisW(int left, int top, int right, std::string_view text,
                                   uint32_t colour, int* outWidth)
{
    std::lock_guard<std::mutex> hold(CDrawLibrary::Get().Lock());
    return Ellipsis(BindFont(), left, top, right, text, colour, outWidth);
}

bool CAggDrawDC::FitText(int width, std::string_view text, size_t& pos, plat::Size& out,
                         bool skipLeading)
{
    std::lock_guard<std::mutex> hold(CDrawLibrary::Get().Lock());
    return Fit(BindFont(), width, text, pos, out, skipLeading);
}

}  // namespace

extern "C" {

intptr_t KRDC_Startup(const char* ellipsis, intptr_t reserved, uintptr_t window)
{
    CDrawLibrary& library = CDrawLibrary::Get();
    std::lock_guard<std::mutex> hold(library.Lock());
    library.m_ellipsis = ellipsis ? ellipsis : "";
    library.m_reserved = reserved;
    library.m_window = window;
    return reserved;
}

void KRDC_Shutdown()
{
    CDrawLibrary& library = CDrawLibrary::Get();
    std::lock_guard<std::mutex> hold(library.Lock());
    library.Shutdown();
}

int KRDC_SetFontAddition(int points)
{
    CDrawLibrary& library = CDrawLibrary::Get();
    std::lock_guard<std::mutex> hold(library.Lock());
    library.SetFontAddition(points);
    return points;
}

void KRDC_EnableAlphaDrawing() {}

CDrawDC* KRDC_CreateDC(const plat::Rect* bounds, plat::Surface* target, bool printing)
{
    return new (std::nothrow) CAggDrawDC(bounds, target, printing);
}

void KRDC_DestroyDC(CDrawDC* dc)
{
    if (dc)
        dc->Destroy();
}

}  // extern "C"
