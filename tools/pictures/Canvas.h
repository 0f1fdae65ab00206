// A tiny anti-aliased raster for the picture generator. Coordinates are in output pixels
// (fractions allowed); the canvas draws at a higher resolution and averages it down, so
// edges come out smooth. Shapes are filled where a sample's centre lies inside them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace kvpic {

struct Color {
    std::uint8_t r = 0, g = 0, b = 0;
};

enum class Align { Left, Center, Right };

class Canvas {
public:
    Canvas(int width, int height, Color background, int oversample = 4);

    int width() const { return width_; }
    int height() const { return height_; }

    void fillRect(double x0, double y0, double x1, double y1, Color c);
    void fillRoundRect(double x0, double y0, double x1, double y1, double radius, Color c);
    // Outline drawn inside the rectangle's edge.
    void strokeRect(double x0, double y0, double x1, double y1, double lineWidth, Color c);
    void line(double x0, double y0, double x1, double y1, double lineWidth, Color c);
    // A path of straight segments through the given points (x, y, x, y, ...).
    void polyline(std::initializer_list<double> xy, double lineWidth, Color c);
    void disk(double cx, double cy, double radius, Color c);
    void ring(double cx, double cy, double radius, double lineWidth, Color c);

    // Text in the built-in 5 x 7 font; one font dot is `scale` output pixels. (x, y) is the
    // top of the text and, by `align`, its left edge, centre or right edge.
    // `stretch` makes the dots that many times taller than wide.
    void text(double x, double y, std::string_view s, double scale, Color c,
              Align align = Align::Left, double stretch = 1.0);
    static double textWidth(std::string_view s, double scale);
    static double textHeight(double scale);

    // The picture averaged down to output pixels: rows top to bottom, R, G, B per pixel.
    std::vector<std::uint8_t> rgb() const;

private:
    template <typename Inside>
    void fill(double x0, double y0, double x1, double y1, Color c, Inside inside);

    int width_, height_, over_;
    std::vector<Color> samples_;
};

}  // namespace kvpic
