// The hand-written JSON of quorvane-host --json against nlohmann::json, which wrote those lines
// before: the same bytes for the same values, and no allocation per line.

#include "JsonLinesPrinter.h"
#include "JsonText.h"

#include "AllocationCounter.h"

#include <Quorvane/Stream/TrackingInstrument.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <streambuf>
#include <string>
#include <vector>

namespace Quorvane {
namespace {

using Host::FrameChanges;
using Host::FrameSnapshot;
namespace JsonText = Host::JsonText;

std::string numberText(double value)
{
    std::string out;
    JsonText::appendNumber(out, value);
    return out;
}

std::string stringText(const std::string& value)
{
    std::string out;
    JsonText::appendString(out, value);
    return out;
}

std::string nlohmannText(const nlohmann::json& value)
{
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

TEST(JsonText, NumbersReadAsNlohmannWritesThem)
{
    const double kMax = std::numeric_limits<double>::max();
    const double kTiny = std::numeric_limits<double>::denorm_min();
    for (const double value : {0.0,
                               -0.0,
                               1.0,
                               -1.0,
                               0.5,
                               0.1,
                               0.25,
                               -1.5,
                               1e-3,
                               1.5e-4,
                               1e-4,
                               9.99e-5,
                               1e-5,
                               123.456,
                               1e14,
                               123456789012345.0,
                               1e15,
                               9.999e14,
                               1e16,
                               1234567890123456.0,
                               1e20,
                               1e21,
                               1e100,
                               1e308,
                               kMax,
                               -kMax,
                               kTiny,
                               2.2250738585072014e-308,
                               3.141592653589793,
                               1.0 / 3.0,
                               2.0 / 3.0,
                               1000.0,
                               1e-300,
                               5e-324}) {
        EXPECT_EQ(numberText(value), nlohmannText(value)) << value;
    }
    const double kNaN = std::numeric_limits<double>::quiet_NaN();
    const double kInf = std::numeric_limits<double>::infinity();
    for (const double value : {kNaN, kInf, -kInf}) {
        EXPECT_EQ(numberText(value), "null");
    }
    std::string out;
    JsonText::appendNumber(out, std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(out, "18446744073709551615");
}

TEST(JsonText, RandomNumbersReadBackExactly)
{
    std::mt19937_64 random(20261209);
    std::uniform_real_distribution<double> millimetres(-5000.0, 5000.0);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    int sameAsNlohmann = 0;
    constexpr int kCount = 20000;
    for (int i = 0; i < kCount; ++i) {
        double value = 0.0;
        switch (i % 3) {
            case 0:
                value = millimetres(random);
                break;
            case 1:
                value = unit(random);
                break;
            default: {
                // Any bit pattern that is a finite double.
                const std::uint64_t bits = random();
                std::memcpy(&value, &bits, sizeof value);
                if (!std::isfinite(value)) {
                    continue;
                }
                break;
            }
        }
        const std::string text = numberText(value);
        ASSERT_EQ(nlohmann::json::parse(text).get<double>(), value) << text;
        sameAsNlohmann += text == nlohmannText(value) ? 1 : 0;
    }
    // Both write digits that read back exactly; nlohmann's Grisu2 is not always the shortest,
    // so a rare value may differ in its last digits, never in what it reads back as.
    EXPECT_GT(sameAsNlohmann, kCount * 99 / 100);
}

TEST(JsonText, StringsAreEscapedAndRepairedAsNlohmannDoes)
{
    const std::vector<std::string> cases = {
        "",
        "Probe",
        "Odd\"Name\\",
        "tab\there\nnew\rline\b\f",
        std::string("nul\0byte", 8),
        "\x01\x1f\x7f",
        "Sond\xE9",                       // Latin-1
        "Sond\xC3\xA9",                   // UTF-8
        "\xE2\x82\xAC \xF0\x9F\x98\x80",  // three and four bytes
        "\xC0\xAF",                       // overlong
        "\xE0\x80\xAF",                   // overlong, three bytes
        "\xED\xA0\x80",                   // a surrogate
        "\xF4\x90\x80\x80",               // above U+10FFFF
        "\xF5\x80",                       // no lead byte
        "\x80\xBF",                       // continuations alone
        "\xE2\x82",                       // cut at the end
        "\xE2\x82x",                      // cut by an ASCII byte
        "\xE2\xC3\xA9",                   // cut by a new lead
        "\xF0\x9F\x98",                   // four-byte sequence cut
        "\xFF\xFE",
    };
    for (const std::string& value : cases) {
        EXPECT_EQ(stringText(value), nlohmannText(value)) << testing::PrintToString(value);
    }
}

TEST(JsonText, RandomBytesAreRepairedAsNlohmannDoes)
{
    std::mt19937 random(7);
    // Bytes weighted toward the ranges where UTF-8 decisions are made.
    const std::vector<unsigned char> alphabet = {'a',  '"',  '\\', 0x00, 0x1f, 0x7f, 0x80, 0x8f,
                                                 0x90, 0x9f, 0xa0, 0xbf, 0xc0, 0xc2, 0xdf, 0xe0,
                                                 0xe1, 0xed, 0xef, 0xf0, 0xf1, 0xf4, 0xf5, 0xff};
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> length(0, 12);
    for (int i = 0; i < 20000; ++i) {
        std::string value;
        for (int n = length(random); n > 0; --n) {
            value += static_cast<char>(alphabet[pick(random)]);
        }
        ASSERT_EQ(stringText(value), nlohmannText(value)) << testing::PrintToString(value);
    }
}

/// An output stream that keeps only the last write, so that the stream itself never allocates.
class LastWriteBuffer : public std::streambuf
{
public:
    std::string text() const { return std::string(m_text.data(), m_size); }

protected:
    std::streamsize xsputn(const char* data, std::streamsize count) override
    {
        m_size = std::min<std::size_t>(static_cast<std::size_t>(count), m_text.size());
        std::memcpy(m_text.data(), data, m_size);
        return count;
    }
    int_type overflow(int_type c) override { return c; }

private:
    std::array<char, 1 << 16> m_text{};
    std::size_t m_size = 0;
};

FrameSnapshot frameOf(int bodies)
{
    FrameSnapshot snapshot;
    snapshot.frame = 1;
    for (int i = 1; i <= bodies; ++i) {
        TrackingInstrument instrument(
            TrackerID{"optitrack-" + std::to_string(i), "", "Body " + std::to_string(i)}, true);
        instrument.pose.setIdentity();
        instrument.pose(0, 3) = 100.25 * i;
        instrument.pose(1, 3) = -0.001 * i;
        instrument.pose(2, 3) = 1e-7;
        instrument.quality = 0.75;
        instrument.timestampMs = 1700000000000 + static_cast<std::uint64_t>(i);
        instrument.updateCount = 1;
        snapshot.instruments.push_back(instrument);
    }
    return snapshot;
}

/// A printer whose stream keeps the last write.
class JsonLinesPrinterTest : public testing::Test
{
protected:
    LastWriteBuffer m_buffer;
    std::ostream m_out{&m_buffer};
    Host::JsonLinesPrinter m_printer{m_out};
};

TEST_F(JsonLinesPrinterTest, LinesAreTheObjectsNlohmannWrote)
{
    const FrameSnapshot snapshot = frameOf(2);
    FrameChanges changes;
    changes.added = {1};
    changes.updated = {0, 1};
    m_printer.frame(snapshot, changes);

    std::string expected;
    expected += nlohmannText({{"type", "added"}, {"id", "optitrack-2"}, {"name", "Body 2"}}) + "\n";
    for (const TrackingInstrument& instrument : snapshot.instruments) {
        nlohmann::json pose = nlohmann::json::array();
        for (Eigen::Index k = 0; k < instrument.pose.size(); ++k) {
            pose.push_back(instrument.pose.data()[k]);
        }
        expected += nlohmannText({{"type", "pose"},
                                  {"id", instrument.identifier()},
                                  {"name", instrument.name()},
                                  {"pose", pose},
                                  {"quality", instrument.quality},
                                  {"timestamp", instrument.timestampMs}}) +
                    "\n";
    }
    EXPECT_EQ(m_buffer.text(), expected);

    Host::RunSummary summary;
    summary.frames = 10;
    summary.framesDropped = 2;
    summary.durationS = 1.5;
    summary.frameRateHz = 120.0;
    summary.instruments.push_back({"optitrack-1", "Body 1", 8, 119.5, 0.75});
    summary.instruments.push_back({"optitrack-2", "Body 2", 0, 0.0, 0.0});
    summary.igtl = true;
    summary.igtlTotals = {2, 16, 3};
    m_printer.finish(summary, std::chrono::steady_clock::now());
    nlohmann::json instruments = nlohmann::json::array();
    for (const Host::RunSummary::Instrument& instrument : summary.instruments) {
        instruments.push_back({{"id", instrument.id},
                               {"name", instrument.name},
                               {"updates", instrument.updates},
                               {"rateHz", instrument.rateHz},
                               {"quality", instrument.lastQuality}});
    }
    const nlohmann::json line = {{"type", "summary"},
                                 {"frames", summary.frames},
                                 {"framesDropped", summary.framesDropped},
                                 {"durationS", summary.durationS},
                                 {"frameRateHz", summary.frameRateHz},
                                 {"instruments", instruments},
                                 {"igtl", {{"clients", 2}, {"posesSent", 16}, {"posesMissed", 3}}}};
    EXPECT_EQ(m_buffer.text(), nlohmannText(line) + "\n");
}

TEST_F(JsonLinesPrinterTest, AFrameAllocatesNothingOnceItsBufferHasGrown)
{
    const FrameSnapshot snapshot = frameOf(32);
    FrameChanges changes;
    for (std::size_t i = 0; i < snapshot.instruments.size(); ++i) {
        changes.updated.push_back(i);
    }
    EXPECT_GT(TestSupport::allocationsIn([&] { m_printer.frame(snapshot, changes); }), 0)
        << "the first frame grows the buffer, so the count is seen to work";
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(TestSupport::allocationsIn([&] { m_printer.frame(snapshot, changes); }), 0);
    }
    EXPECT_NE(m_buffer.text().find("\"id\":\"optitrack-32\""), std::string::npos);
}

}  // namespace
}  // namespace Quorvane
