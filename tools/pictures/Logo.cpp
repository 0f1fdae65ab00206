// The logo: a mark (a pulse over three terminals) and the "KV480T-R-2" wordmark.
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
    Canvas c(64, 64, kBrand);
    c.text(32, 8, "KV", 4, kWhite, Align::Center);
    c.polyline({6, 54, 18, 54, 18, 44, 30, 44, 30, 54, 42, 54, 42, 44, 54, 44, 54, 54, 58, 54}, 3.5,
               kAccent);
    return c;
}

}  // namespace kvpic
