#include <Quorvane/Core/Properties.h>
#include <Quorvane/Core/RecordingLogSink.h>
#include <Quorvane/Core/ScopedLogCapture.h>

#include <gtest/gtest.h>

#include <ostream>

#include <string>
#include <vector>

namespace Quorvane {
namespace {

using Type = Properties::Type;

TEST(Properties, ReadsWhatWasStoredAndLeavesTheTargetAloneWhenAbsent)
{
    Properties p("Stream");
    p.setParam("serverAddress", "10.0.0.2");  // a literal stores a std::string
    p.setParam("commandPort", static_cast<unsigned short>(1510));
    p.setParam("connectionType", 1);
    p.setParam("open", true);
    p.setParam("scale", 0.5);

    std::string address = "unchanged";
    unsigned short port = 0;
    int type = -1;
    bool open = false;
    double scale = 0.0;
    EXPECT_TRUE(p.param("serverAddress", address));
    EXPECT_TRUE(p.param("commandPort", port));
    EXPECT_TRUE(p.param("connectionType", type));
    EXPECT_TRUE(p.param("open", open));
    EXPECT_TRUE(p.param("scale", scale));
    EXPECT_EQ(address, "10.0.0.2");
    EXPECT_EQ(port, 1510);
    EXPECT_EQ(type, 1);
    EXPECT_TRUE(open);
    EXPECT_EQ(scale, 0.5);
    EXPECT_EQ(Properties::typeOf(*p.value("serverAddress")), Type::String);

    int missing = 77;
    EXPECT_FALSE(p.param("dataPort", missing));
    EXPECT_EQ(missing, 77);
    EXPECT_EQ(p.name(), "Stream");
}

/// One stored value read as one type: accepted (with the value read) or refused.
struct ReadRow
{
    const char* name;
    Properties::Value stored;
    Type readAs;
    bool accepted;
    Properties::Value expected;  ///< meaningful when accepted
};

/// Rows print as their name, so test names stay short and stable.
void PrintTo(const ReadRow& row, std::ostream* os)
{
    *os << '"' << row.name << '"';
}

class ConversionTable : public ::testing::TestWithParam<ReadRow>
{
};

template <class T>
void checkRead(const Properties& p, const ReadRow& row, const RecordingLogSink& sink)
{
    T out{};
    const T before = out;
    const bool ok = p.param("key", out);
    EXPECT_EQ(ok, row.accepted);
    if (row.accepted) {
        EXPECT_EQ(out, std::get<T>(row.expected));
        EXPECT_EQ(sink.size(), 0u);
    } else {
        EXPECT_EQ(out, before) << "a refused read changed its target";
        const auto records = sink.records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].level, 3);
        EXPECT_EQ(records[0].category, "Properties");
        EXPECT_NE(records[0].text.find("'key'"), std::string::npos) << records[0].text;
        EXPECT_NE(records[0].text.find(Properties::typeName(row.readAs)), std::string::npos)
            << records[0].text;
    }
}

TEST_P(ConversionTable, ConvertsOnlyWithoutLoss)
{
    const ReadRow& row = GetParam();
    ScopedLogCapture capture(0);
    Properties p("Table");
    p.setValue("key", row.stored);
    switch (row.readAs) {
        case Type::Bool:
            checkRead<bool>(p, row, capture.sink());
            break;
        case Type::Int:
            checkRead<int>(p, row, capture.sink());
            break;
        case Type::UnsignedShort:
            checkRead<unsigned short>(p, row, capture.sink());
            break;
        case Type::Double:
            checkRead<double>(p, row, capture.sink());
            break;
        case Type::String:
            checkRead<std::string>(p, row, capture.sink());
            break;
    }
}

using V = Properties::Value;
using US = unsigned short;
INSTANTIATE_TEST_SUITE_P(
    Rows, ConversionTable,
    ::testing::Values(ReadRow{"IntAsUShort", V(5), Type::UnsignedShort, true, V(US(5))},
                      ReadRow{"IntTooLargeForUShort", V(70000), Type::UnsignedShort, false, V()},
                      ReadRow{"NegativeIntAsUShort", V(-1), Type::UnsignedShort, false, V()},
                      ReadRow{"UShortAsInt", V(US(65535)), Type::Int, true, V(65535)},
                      ReadRow{"TextAsInt", V(std::string("abc")), Type::Int, false, V()},
                      ReadRow{"DecimalTextAsInt", V(std::string("-42")), Type::Int, true, V(-42)},
                      ReadRow{"TextWithBlankAsInt", V(std::string(" 5")), Type::Int, false, V()},
                      ReadRow{"TextWithTailAsInt", V(std::string("5x")), Type::Int, false, V()},
                      ReadRow{"HugeTextAsInt", V(std::string("99999999999")), Type::Int, false, V()},
                      ReadRow{"TextAsUShort", V(std::string("1511")), Type::UnsignedShort, true, V(US(1511))},
                      ReadRow{"TextTooLargeForUShort", V(std::string("70000")), Type::UnsignedShort, false,
                              V()},
                      ReadRow{"WholeDoubleAsInt", V(3.0), Type::Int, true, V(3)},
                      ReadRow{"FractionAsInt", V(2.5), Type::Int, false, V()},
                      ReadRow{"BoolAsInt", V(true), Type::Int, false, V()},
                      ReadRow{"IntAsDouble", V(-7), Type::Double, true, V(-7.0)},
                      ReadRow{"TextAsDouble", V(std::string("1e3")), Type::Double, true, V(1000.0)},
                      ReadRow{"NanTextAsDouble", V(std::string("nan")), Type::Double, false, V()},
                      ReadRow{"HexTextAsDouble", V(std::string("0x10")), Type::Double, false, V()},
                      ReadRow{"BoolAsDouble", V(false), Type::Double, false, V()},
                      ReadRow{"OneAsBool", V(1), Type::Bool, true, V(true)},
                      ReadRow{"TwoAsBool", V(2), Type::Bool, false, V()},
                      ReadRow{"TrueTextAsBool", V(std::string("true")), Type::Bool, true, V(true)},
                      ReadRow{"ZeroTextAsBool", V(std::string("0")), Type::Bool, true, V(false)},
                      ReadRow{"YesTextAsBool", V(std::string("yes")), Type::Bool, false, V()},
                      ReadRow{"DoubleAsBool", V(1.0), Type::Bool, false, V()},
                      ReadRow{"IntAsString", V(5), Type::String, false, V()},
                      ReadRow{"StringAsString", V(std::string("")), Type::String, true, V(std::string(""))}),
    [](const ::testing::TestParamInfo<ReadRow>& row) { return std::string(row.param.name); });

TEST(Properties, KeepsInsertionOrderAndPositionsOfOverwrittenKeys)
{
    Properties p;
    p.setParam("b", 1);
    p.setParam("a", 2);
    p.setParam("c", 3);
    p.setParam("a", std::string("now text"));  // keeps its place, takes the new type
    EXPECT_EQ(p.keys(), (std::vector<std::string>{"b", "a", "c"}));
    EXPECT_EQ(Properties::typeOf(*p.value("a")), Type::String);
    EXPECT_TRUE(p.remove("b"));
    EXPECT_FALSE(p.remove("b"));
    EXPECT_FALSE(p.has("b"));
    p.setParam("b", 4);
    EXPECT_EQ(p.keys(), (std::vector<std::string>{"a", "c", "b"}));
}

TEST(Properties, CopyFromOverwritesInPlaceAppendsNewKeysAndKeepsTheName)
{
    Properties target("target");
    target.setParam("x", 1);
    target.setParam("y", 2);
    Properties source("source");
    source.setParam("z", 30);
    source.setParam("x", 10);
    target.copyFrom(source);
    target.copyFrom(target);  // copying from itself changes nothing
    EXPECT_EQ(target.name(), "target");
    EXPECT_EQ(target.keys(), (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_EQ(target.valueText("x"), "10");
    EXPECT_EQ(target.valueText("z"), "30");
}

TEST(Properties, CopiesAndMovesAreIndependent)
{
    Properties original("o");
    original.setParam("k", 1);
    Properties copy = original;
    copy.setParam("k", 2);
    EXPECT_EQ(original.valueText("k"), "1");
    EXPECT_NE(copy, original);
    Properties moved = std::move(copy);
    EXPECT_EQ(moved.valueText("k"), "2");
    EXPECT_EQ(moved.name(), "o");
    original = moved;
    EXPECT_EQ(original, moved);
}

struct TextRow
{
    const char* name;
    Type type;
    const char* text;
    bool accepted;
    const char* stored;  ///< valueText of the stored value, or the start of the error
};

/// Rows print as their name, so test names stay short and stable.
void PrintTo(const TextRow& row, std::ostream* os)
{
    *os << '"' << row.name << '"';
}

class FromTextTable : public ::testing::TestWithParam<TextRow>
{
};

TEST_P(FromTextTable, ParsesStrictlyAndExplainsRefusals)
{
    const TextRow& row = GetParam();
    Properties p;
    p.setParam("key", std::string("previous"));
    std::string error;
    EXPECT_EQ(p.setFromText("key", row.type, row.text, &error), row.accepted);
    if (row.accepted) {
        EXPECT_EQ(Properties::typeOf(*p.value("key")), row.type);
        EXPECT_EQ(p.valueText("key"), row.stored);
    } else {
        EXPECT_EQ(p.valueText("key"), "previous") << "a refused text replaced the value";
        EXPECT_EQ(error.rfind(row.stored, 0), 0u) << error;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FromTextTable,
    ::testing::Values(TextRow{"Port", Type::UnsignedShort, "1510", true, "1510"},
                      TextRow{"PortTooLarge", Type::UnsignedShort, "70000", false,
                              "70000 is out of range for unsigned short"},
                      TextRow{"NegativePort", Type::UnsignedShort, "-1", false, "-1 is out of range"},
                      TextRow{"IntWord", Type::Int, "abc", false, "'abc' is not a decimal integer (int)"},
                      TextRow{"EmptyInt", Type::Int, "", false, "'' is not a decimal integer"},
                      TextRow{"IntMin", Type::Int, "-2147483648", true, "-2147483648"},
                      TextRow{"BoolTrue", Type::Bool, "true", true, "true"},
                      TextRow{"BoolWord", Type::Bool, "maybe", false, "'maybe' is not a bool"},
                      TextRow{"Double", Type::Double, "-0.25", true, "-0.25"},
                      TextRow{"DoubleInf", Type::Double, "inf", false, "'inf' is not a finite number"},
                      TextRow{"String", Type::String, "", true, ""}),
    [](const ::testing::TestParamInfo<TextRow>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace Quorvane
