// Frame reassembly of the simulated collector: frames split anywhere, several in one read,
// noise and broken frames between them.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "sim/FrameAssembler.h"

namespace {

using kvsim::Frame;
using kvsim::FrameAssembler;

Frame ok(std::string s) {
    return Frame{std::move(s), true};
}
Frame broken(std::string s) {
    return Frame{std::move(s), false};
}

// Feeds `input` in pieces cut at `cuts` (sorted positions) and checks the buffer bound.
std::vector<Frame> feedSplit(const std::string& input, const std::vector<std::size_t>& cuts) {
    FrameAssembler assembler;
    std::vector<Frame> frames;
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
        assembler.feed(std::string_view(input).substr(from, cut - from), frames);
        EXPECT_LE(assembler.buffered(), FrameAssembler::kMaxFrame);
        from = cut;
    }
    assembler.feed(std::string_view(input).substr(from), frames);
    EXPECT_LE(assembler.buffered(), FrameAssembler::kMaxFrame);
    return frames;
}

std::vector<std::size_t> randomCuts(std::size_t size, std::mt19937& rng) {
    std::vector<std::size_t> cuts;
    if (size == 0) return cuts;
    std::uniform_int_distribution<std::size_t> pos(0, size);
    const std::size_t count = std::uniform_int_distribution<std::size_t>(0, 8)(rng);
    for (std::size_t i = 0; i < count; ++i) cuts.push_back(pos(rng));
    std::sort(cuts.begin(), cuts.end());
    return cuts;
}

struct FramingCase {
    const char* name;
    std::string input;
    std::vector<Frame> expected;
};

std::vector<FramingCase> framingCases() {
    const std::string longBody(FrameAssembler::kMaxBody, 'A');
    return {
        {"one set frame", "KORVEL#ST:012#", {ok("KORVEL#ST:012#")}},
        {"two queries in one read",
         "PPPPPP#VAR#PPPPPP#STATUS#",
         {ok("PPPPPP#VAR#"), ok("PPPPPP#STATUS#")}},
        {"noise around frames",
         std::string("\x00\xffxyz#KORVEL#RESET#garbage##", 27) + "PPPPPP#CHEACK1#\r\n",
         {ok("KORVEL#RESET#"), ok("PPPPPP#CHEACK1#")}},
        {"half a prefix in the noise", "KORVEKORVEL#MDL:2#", {ok("KORVEL#MDL:2#")}},
        {"one P too many", "PPPPPPP#VAR#", {ok("PPPPPP#VAR#")}},
        {"lower case is noise", "korvel#st:001#pppppp#var#", {}},
        {"frame cut short by the next",
         "KORVEL#AIN1:20,4KORVEL#ST:001#",
         {broken("KORVEL#AIN1:20,4"), ok("KORVEL#ST:001#")}},
        {"prefix right after prefix",
         "KORVEL#KORVEL#RESET#",
         {broken("KORVEL#"), ok("KORVEL#RESET#")}},
        {"longest body", "KORVEL#" + longBody + "#", {ok("KORVEL#" + longBody + "#")}},
        {"body one too long",
         "KORVEL#" + longBody + "AB#PPPPPP#VAR#",
         {broken("KORVEL#" + longBody + "A"), ok("PPPPPP#VAR#")}},
        {"overlong body ending in a prefix",
         "PPPPPP#" + longBody + "xKORVEL#RESET#",
         {broken("PPPPPP#" + longBody + "x"), ok("KORVEL#RESET#")}},
        {"unfinished frame waits", "PPPPPP#VAR#KORVEL#ST:0", {ok("PPPPPP#VAR#")}},
    };
}

class Framing : public testing::TestWithParam<FramingCase> {};

TEST_P(Framing, SameFramesWhereverTheLineSplitsThem) {
    const FramingCase& c = GetParam();
    EXPECT_EQ(feedSplit(c.input, {}), c.expected) << "in one read";

    std::vector<std::size_t> everyByte;
    for (std::size_t i = 1; i < c.input.size(); ++i) everyByte.push_back(i);
    EXPECT_EQ(feedSplit(c.input, everyByte), c.expected) << "byte by byte";

    std::mt19937 rng(20260608);
    for (int round = 0; round < 200; ++round) {
        const auto cuts = randomCuts(c.input.size(), rng);
        ASSERT_EQ(feedSplit(c.input, cuts), c.expected) << "round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Framing, testing::ValuesIn(framingCases()), [](const auto& info) {
    std::string n = info.param.name;
    for (char& ch : n)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return n;
});

TEST(Framing, RandomStreamsOfFramesAndNoise) {
    const std::vector<std::string> pool = {
        "KORVEL#AIN3:-12.5,-40,0.5#", "PPPPPP#CHEACK1#", "KORVEL#RESET#",
        "KORVEL#AR485X:4,2#",         "PPPPPP#STATUS#",  "KORVEL#LPN:00001234#"};
    // Noise that can neither start a prefix nor end a frame.
    const std::string noise = "xyz0123,.:-\r\n\x01\x7f";
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        std::string stream;
        std::vector<Frame> expected;
        const int frames = std::uniform_int_distribution<int>(0, 6)(rng);
        for (int i = 0; i < frames; ++i) {
            const int noiseLength = std::uniform_int_distribution<int>(0, 10)(rng);
            for (int k = 0; k < noiseLength; ++k)
                stream +=
                    noise[std::uniform_int_distribution<std::size_t>(0, noise.size() - 1)(rng)];
            const auto& f =
                pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(rng)];
            stream += f;
            expected.push_back(ok(f));
        }
        ASSERT_EQ(feedSplit(stream, randomCuts(stream.size(), rng)), expected) << stream;
    }
}

TEST(Framing, NoiseAloneKeepsAtMostAPrefixFragment) {
    FrameAssembler assembler;
    std::mt19937 rng(11);
    std::string noise(100000, '\0');
    for (char& ch : noise) ch = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(rng));
    assembler.feed(noise);
    EXPECT_LT(assembler.buffered(), FrameAssembler::kPrefixSize);
    // After the noise the assembler still finds the next frame.
    EXPECT_EQ(assembler.feed("KORVEL#RESET#").back(), ok("KORVEL#RESET#"));
}

}  // namespace
