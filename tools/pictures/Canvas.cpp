#include "Canvas.h"

#include <algorithm>
#include <cmath>

#include "Font.h"

namespace kvpic {

Canvas::Canvas(int width, int height, Color background, int oversample)
    : width_(width),
      height_(height),
      over_(oversample),
      samples_(static_cast<std::size_t>(width) * height * oversample * oversample, background) {}

template <typename Inside>
void Canvas::fill(double x0, double y0, double x1, double y1, Color c, Inside inside) {
    const int sw = width_ * over_, sh = height_ * over_;
    // Samples whose centres can lie in [x0, x1) x [y0, y1).
    const int sx0 = std::max(0, static_cast<int>(std::floor(x0 * over_)));
    const int sy0 = std::max(0, static_cast<int>(std::floor(y0 * over_)));
    const int sx1 = std::min(sw, static_cast<int>(std::ceil(x1 * over_)) + 1);
    const int sy1 = std::min(sh, static_cast<int>(std::ceil(y1 * over_)) + 1);
    for (int sy = sy0; sy < sy1; ++sy) {
        const double y = (sy + 0.5) / over_;
        for (int sx = sx0; sx < sx1; ++sx) {
            const double x = (sx + 0.5) / over_;
            if (inside(x, y)) samples_[static_cast<std::size_t>(sy) * sw + sx] = c;
        }
    }
}

void Canvas::fillRect(double x0, double y0, double x1, double y1, Color c) {
    fill(x0, y0, x1, y1, c,
         [&](double x, double y) { return x >= x0 && x < x1 && y >= y0 && y < y1; });
}

void Canvas::fillRoundRect(double x0, double y0, double x1, double y1, double r, Color c) {
    fill(x0, y0, x1, y1, c, [&](double x, double y) {
        if (x < x0 || x >= x1 || y < y0 || y >= y1) return false;
        // Distance from the inner rectangle whose corners are the arcs' centres.
        const double dx = std::max({x0 + r - x, 0.0, x - (x1 - r)});
        const double dy = std::max({y0 + r - y, 0.0, y - (y1 - r)});
        return dx * dx + dy * dy <= r * r;
    });
}

void Canvas::strokeRect(double x0, double y0, double x1, double y1, double w, Color c) {
    fillRect(x0, y0, x1, y0 + w, c);
    fillRect(x0, y1 - w, x1, y1, c);
    fillRect(x0, y0, x0 + w, y1, c);
    fillRect(x1 - w, y0, x1, y1, c);
}

void Canvas::line(double x0, double y0, double x1, double y1, double w, Color c) {
    const double h = w / 2;
    const double dx = x1 - x0, dy = y1 - y0, len = std::hypot(dx, dy);
    fill(std::min(x0, x1) - h, std::min(y0, y1) - h, std::max(x0, x1) + h, std::max(y0, y1) + h, c,
         [&](double x, double y) {
             if (len == 0) return std::abs(x - x0) <= h && std::abs(y - y0) <= h;
             // Square ends: within h of the segment across it and along it.
             const double along = ((x - x0) * dx + (y - y0) * dy) / len;
             const double across = std::abs((x - x0) * dy - (y - y0) * dx) / len;
             return along >= -h && along <= len + h && across <= h;
         });
}

void Canvas::polyline(std::initializer_list<double> xy, double w, Color c) {
    const double* p = xy.begin();
    for (std::size_t i = 0; i + 3 < xy.size(); i += 2)
        line(p[i], p[i + 1], p[i + 2], p[i + 3], w, c);
}

void Canvas::disk(double cx, double cy, double r, Color c) {
    fill(cx - r, cy - r, cx + r, cy + r, c,
         [&](double x, double y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r; });
}

void Canvas::ring(double cx, double cy, double r, double w, Color c) {
    fill(cx - r, cy - r, cx + r, cy + r, c, [&](double x, double y) {
        const double d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
        return d2 <= r * r && d2 >= (r - w) * (r - w);
    });
}

double Canvas::textWidth(std::string_view s, double scale) {
    return s.empty() ? 0 : (static_cast<double>(s.size()) * kGlyphAdvance - 1) * scale;
}

double Canvas::textHeight(double scale) {
    return kGlyphHeight * scale;
}

void Canvas::text(double x, double y, std::string_view s, double scale, Color c, Align align,
                  double stretch) {
    if (align == Align::Center) x -= textWidth(s, scale) / 2;
    if (align == Align::Right) x -= textWidth(s, scale);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const Glyph& g = glyph(s[i]);
        const double gx = x + static_cast<double>(i) * kGlyphAdvance * scale;
        for (int row = 0; row < kGlyphHeight; ++row)
            for (int col = 0; col < kGlyphWidth; ++col)
                if (g[row][col] == '#')
                    fillRect(gx + col * scale, y + row * scale * stretch, gx + (col + 1) * scale,
                             y + (row + 1) * scale * stretch, c);
    }
}

std::vector<std::uint8_t> Canvas::rgb() const {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(width_) * height_ * 3);
    const int sw = width_ * over_, n = over_ * over_;
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) {
            int r = 0, g = 0, b = 0;
            for (int sy = 0; sy < over_; ++sy)
                for (int sx = 0; sx < over_; ++sx) {
                    const Color& s =
                        samples_[static_cast<std::size_t>(y * over_ + sy) * sw + x * over_ + sx];
                    r += s.r, g += s.g, b += s.b;
                }
            std::uint8_t* p = &out[(static_cast<std::size_t>(y) * width_ + x) * 3];
            p[0] = static_cast<std::uint8_t>((r + n / 2) / n);
            p[1] = static_cast<std::uint8_t>((g + n / 2) / n);
            p[2] = static_cast<std::uint8_t>((b + n / 2) / n);
        }
    return out;
}

}  // namespace kvpic
