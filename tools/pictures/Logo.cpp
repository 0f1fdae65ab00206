// The logo: a mark (a pulse over three terminals) and the "KV480T-R-2" wordmark.
#include <cmath>

#include "Palette.h"
#include "Pictures.h"

namespace kvpic {

using namespace palette;

Canvas drawLogo() {
    Canvas c(649, 259, kWhite);

    c.fillRoundRect(24, 30, 224, 230, 36, kBrand);
    c.polyline({44,  150, 74,  150, 74,  86, 114, 86,  114, 150,
                154, 150, 154, 86,  194, 86, 194, 150, 204, 150},
               12, kWhite);
    for (double x : {84.0, 124.0, 164.0}) {
        c.disk(x, 192, 12, kWhite);
        c.disk(x, 192, 6, kAccent);
    }

    c.text(250, 50, "KV480T-R-2", 6.4, kBrand, Align::Left, 1.45);
    c.fillRect(250, 134, 633, 140, kAccent);
    c.text(250, 156, "DATA COLLECTOR", 3.4, kGrey);
    c.text(250, 194, "CONFIGURATION TOOL", 2.6, kGrey);
    return c;
}

Canvas drawIcon() {
    return drawIcon(64);
}

Canvas drawIcon(int size) {
    // Drawn on a 64 x 64 grid, scaled to the size asked for. Small sizes sample finer so
    // the letters and the pulse stay smooth.
    const double k = size / 64.0;
    Canvas c(size, size, kBrand, size < 64 ? 8 : 4);
    // Letters start on a whole pixel: at odd widths centring would put every dot across two.
    const double left = std::round(32 * k - Canvas::textWidth("KV", 4 * k) / 2);
    c.text(left, std::round(8 * k), "KV", 4 * k, kWhite);
    c.polyline({6 * k,  54 * k, 18 * k, 54 * k, 18 * k, 44 * k, 30 * k, 44 * k, 30 * k, 54 * k,
                42 * k, 54 * k, 42 * k, 44 * k, 54 * k, 44 * k, 54 * k, 54 * k, 58 * k, 54 * k},
               3.5 * k, kAccent);
    return c;
}

}  // namespace kvpic
