// The wiring diagram: the collector's terminal strip and what connects to each group of
// terminals (supply, four analogue sensors, a contact and a pulse meter on the digital
// inputs, an RS485 adapter, a pulse receiver).
#include <string_view>
#include <vector>

#include "Palette.h"
#include "Pictures.h"

namespace kvpic {
namespace {

using namespace palette;

struct Terminal {
    std::string_view label;
    Color wire;
};

// Terminals from top to bottom, grouped; a group is followed by a wider gap.
const std::vector<std::vector<Terminal>> kGroups = {
    {{"+24V", kRed}, {"GND", kBlack}},   {{"AD1+", kRed}, {"AD1-", kBlack}},
    {{"AD2+", kRed}, {"AD2-", kBlack}},  {{"AD3+", kRed}, {"AD3-", kBlack}},
    {{"AD4+", kRed}, {"AD4-", kBlack}},  {{"DIN1", kGreen}, {"COM", kBlack}, {"DIN2", kOrange}},
    {{"485A", kBrown}, {"485B", kBlue}}, {{"PO+", kPurple}, {"PO-", kBlack}},
};

// An outside device drawn as a box beside its group's terminals.
struct Device {
    int group;
    std::string_view title, subtitle;
    std::vector<std::string_view> pins;  // one per terminal of the group, may be empty
};

const std::vector<Device> kDevices = {
    {0, "24V DC POWER SUPPLY", "", {"+", "-"}},    {1, "SENSOR 1", "4-20mA / 0-5V", {"+", "-"}},
    {2, "SENSOR 2", "4-20mA / 0-5V", {"+", "-"}},  {3, "SENSOR 3", "4-20mA / 0-5V", {"+", "-"}},
    {4, "SENSOR 4", "4-20mA / 0-5V", {"+", "-"}},  {6, "RS485 ADAPTER", "USB TO PC", {"A", "B"}},
    {7, "PULSE COUNTER", "PLC INPUT", {"+", "-"}},
};

// Left-hand annotations: caption lines over a range of groups.
struct Section {
    int firstGroup, lastGroup;
    std::vector<std::string_view> lines;
};

const std::vector<Section> kSections = {
    {0, 0, {"SUPPLY"}},
    {1, 4, {"ANALOG", "INPUTS", "AD1-AD4"}},
    {5, 5, {"DIGITAL", "INPUTS"}},
    {6, 6, {"RS485"}},
    {7, 7, {"PULSE", "OUTPUT"}},
};

constexpr double kPitch = 15, kGroupGap = 8, kFirstY = 52;
constexpr double kLabelScale = 1.5, kSmallScale = 1.0, kNoteScale = 1.2;
constexpr double kBoxLeft = 12, kBoxRight = 196, kStripLeft = 172;
constexpr double kDeviceLeft = 262, kDeviceRight = 504, kWire = 2.5;

// Centre line of every terminal, group by group.
std::vector<std::vector<double>> terminalRows() {
    std::vector<std::vector<double>> rows;
    double y = kFirstY;
    for (const auto& group : kGroups) {
        rows.emplace_back();
        for (std::size_t i = 0; i < group.size(); ++i, y += kPitch) rows.back().push_back(y);
        y += kGroupGap;
    }
    return rows;
}

void drawTerminal(Canvas& c, double y, const Terminal& t) {
    c.fillRect(kStripLeft, y - kPitch / 2, kBoxRight, y + kPitch / 2, kTerminal);
    c.fillRect(kStripLeft, y + kPitch / 2 - 1, kBoxRight, y + kPitch / 2, kInk);
    c.disk(184, y, 5.2, kScrew);
    c.line(180.5, y + 3.5, 187.5, y - 3.5, 1.4, kInk);
    c.text(kStripLeft - 5, y - Canvas::textHeight(kLabelScale) / 2, t.label, kLabelScale, kInk,
           Align::Right);
}

void drawDevice(Canvas& c, const Device& d, const std::vector<double>& rows) {
    const double top = rows.front() - 9, bottom = rows.back() + 9;
    c.fillRect(kDeviceLeft, top, kDeviceRight, bottom, kBox);
    c.strokeRect(kDeviceLeft, top, kDeviceRight, bottom, 1.5, kInk);
    for (std::size_t i = 0; i < d.pins.size() && i < rows.size(); ++i)
        c.text(kDeviceLeft + 6, rows[i] - Canvas::textHeight(kLabelScale) / 2, d.pins[i],
               kLabelScale, kGrey);
    const double textLeft = kDeviceLeft + 24;
    const double mid = (top + bottom) / 2;
    if (d.subtitle.empty()) {
        c.text(textLeft, mid - Canvas::textHeight(kLabelScale) / 2, d.title, kLabelScale, kInk);
    } else {
        c.text(textLeft, mid - 10, d.title, kLabelScale, kInk);
        c.text(textLeft, mid + 3, d.subtitle, kNoteScale, kGrey);
    }
}

// DIN1 through a dry contact to COM; the water meter's pulse output between COM and DIN2.
void drawDigitalInputs(Canvas& c, const std::vector<double>& rows) {
    const double din1 = rows[0], com = rows[1], din2 = rows[2];
    c.line(kBoxRight, din1, 212, din1, kWire, kGreen);
    c.disk(214, din1, 2.5, kInk);
    c.disk(240, din1, 2.5, kInk);
    c.line(214, din1, 238, din1 - 8, 2, kInk);  // the open contact's lever
    c.polyline({242, din1, 252, din1, 252, com}, kWire, kBlack);
    c.disk(252, com, 3.5, kBlack);
    c.text(262, din1 - Canvas::textHeight(kLabelScale) / 2, "DRY CONTACT", kLabelScale, kInk);

    c.line(kBoxRight, com, 290, com, kWire, kBlack);
    c.line(kBoxRight, din2, 290, din2, kWire, kOrange);
    const double top = com - 9, bottom = din2 + 9;
    c.fillRect(290, top, kDeviceRight, bottom, kBox);
    c.strokeRect(290, top, kDeviceRight, bottom, 1.5, kInk);
    c.text(296, com - Canvas::textHeight(kSmallScale) / 2, "C", kSmallScale, kGrey);
    c.text(296, din2 - Canvas::textHeight(kSmallScale) / 2, "P", kSmallScale, kGrey);
    c.text(310, top + 5, "WATER METER", kLabelScale, kInk);
    c.text(310, top + 18, "PULSE OUTPUT (REED)", kNoteScale, kGrey);
}

void drawSections(Canvas& c, const std::vector<std::vector<double>>& rows) {
    for (const Section& s : kSections) {
        const double top = rows[s.firstGroup].front() - 6, bottom = rows[s.lastGroup].back() + 6;
        c.line(124, top, 124, bottom, 1.2, kGrey);
        c.line(124, top, 128, top, 1.2, kGrey);
        c.line(124, bottom, 128, bottom, 1.2, kGrey);
        const double lineHeight = 10;
        double y = (top + bottom) / 2 - (s.lines.size() * lineHeight - 3) / 2;
        for (std::string_view line : s.lines) {
            c.text(118, y, line, kSmallScale, kGrey, Align::Right);
            y += lineHeight;
        }
    }
}

}  // namespace

Canvas drawWiringDiagram() {
    Canvas c(516, 374, kWhite);
    const auto rows = terminalRows();

    c.text(258, 7, "KV480T-R-2 TERMINAL WIRING", 2, kBrand, Align::Center);
    c.fillRect(kBoxLeft, 30, kBoxRight, rows.back().back() + 18, kPanel);
    c.strokeRect(kBoxLeft, 30, kBoxRight, rows.back().back() + 18, 2, kInk);
    drawSections(c, rows);

    for (std::size_t g = 0; g < kGroups.size(); ++g)
        for (std::size_t i = 0; i < kGroups[g].size(); ++i)
            drawTerminal(c, rows[g][i], kGroups[g][i]);

    for (const Device& d : kDevices) {
        const auto& group = kGroups[d.group];
        for (std::size_t i = 0; i < group.size(); ++i)
            c.line(kBoxRight, rows[d.group][i], kDeviceLeft, rows[d.group][i], kWire,
                   group[i].wire);
        drawDevice(c, d, rows[d.group]);
    }
    drawDigitalInputs(c, rows[5]);
    return c;
}

}  // namespace kvpic
