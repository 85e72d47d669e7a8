// The library's JSON text is Python's json.dumps text: floats in their
// shortest round-trip form, including those a Grisu2 printer lengthens and
// those beside a power of two, where the interval that reads back is
// narrower below; the layout of objects, arrays and escapes.
#include <gtest/gtest.h>

#include <string>

#include "jsonText.h"

namespace {

struct FloatCase {
    double value;
    const char* python;  // repr(value)
};

TEST(JsonText, FloatsAsPythonWritesThem) {
    const FloatCase cases[] = {
        {-0.003562166175710654, "-0.003562166175710654"},
        {38.69762808685471, "38.69762808685471"},
        {-32322.86499465825, "-32322.86499465825"},
        {6.617444900424222e-24, "6.617444900424222e-24"},
        {5.960464477539063e-08, "5.960464477539063e-08"},
        {5.684341886080802e-14, "5.684341886080802e-14"},
        {6.189700196426902e+26, "6.189700196426902e+26"},
        {0.0, "0.0"},
        {-0.0, "-0.0"},
        {1e+16, "1e+16"},
        {1e15, "1000000000000000.0"},
        {0.0001, "0.0001"},
        {1e-05, "1e-05"},
        {585500.0, "585500.0"},
        {0.35, "0.35"},
        {2.5e-05, "2.5e-05"},
        {123456789012345.6, "123456789012345.6"},
        {5e-324, "5e-324"},
        {1.7976931348623157e+308, "1.7976931348623157e+308"},
        {0.1 + 0.2, "0.30000000000000004"},
    };
    for (const FloatCase& c : cases) EXPECT_EQ(floatText(c.value), c.python) << c.python;
}

TEST(JsonText, LayoutAsJsonDumpsWithIndentTwoAndSortedKeys) {
    const nlohmann::json v = {{"b", {1, 2.5, nullptr}},
                              {"a", nlohmann::json::object()},
                              {"c", {{"y", true}, {"x", "tab\there \"q\" \x01"}}},
                              {"d", nlohmann::json::array()}};
    EXPECT_EQ(jsonText(v),
              "{\n"
              "  \"a\": {},\n"
              "  \"b\": [\n"
              "    1,\n"
              "    2.5,\n"
              "    null\n"
              "  ],\n"
              "  \"c\": {\n"
              "    \"x\": \"tab\\there \\\"q\\\" \\u0001\",\n"
              "    \"y\": true\n"
              "  },\n"
              "  \"d\": []\n"
              "}");
}

}  // namespace
