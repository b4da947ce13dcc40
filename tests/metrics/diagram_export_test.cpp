#include "metrics/diagram_export.h"

#include <gtest/gtest.h>

namespace tg {
namespace {

DiagramTable oddTable() {
    DiagramTable table;
    table.name = "caf\xE9 \"x\"";
    table.labels = {"/a,b", "say \"hi\"\r\n", "C:\\logs\t\x80"};
    table.axisNames = {"hits", "first, text"};
    table.opers = {AxisOper::Sum, AxisOper::First};
    table.axes.resize(2);
    table.axes[0].oper = AxisOper::Sum;
    table.axes[0].data = {5, -1.5e+20, 0.25};
    table.axes[0].count = {1, 1, 1};
    table.axes[1].oper = AxisOper::First;
    table.axes[1].strdata = {"007", "x"};  // short
    return table;
}

TEST(DiagramExportTest, JsonIsUtf8WithNumbersWhereTheTextIsOne) {
    EXPECT_EQ(
        diagramJson(oddTable()),
        "{\"diagram\":\"caf\xC3\xA9 \\\"x\\\"\","
        "\"labels\":[\"/a,b\",\"say \\\"hi\\\"\\u000d\\u000a\",\"C:\\\\logs\\u0009\xE2\x82\xAC\"],"
        "\"series\":[{\"axis\":\"hits\",\"operation\":\"SUM\",\"values\":[5,-1.5e+20,0.25]},"
        "{\"axis\":\"first, text\",\"operation\":\"FIRST\",\"values\":[\"007\",\"x\",null]}]}\n");
    EXPECT_EQ(diagramJson(DiagramTable{}), "{\"diagram\":\"\",\"labels\":[],\"series\":[]}\n");
}

TEST(DiagramExportTest, CsvQuotesWhatRfc4180Needs) {
    EXPECT_EQ(diagramCsv(oddTable()),
              "label,hits,\"first, text\"\r\n"
              "\"/a,b\",5,007\r\n"
              "\"say \"\"hi\"\"\r\n\",-1.5e+20,x\r\n"
              "C:\\logs\t\xE2\x82\xAC,0.25,\r\n");
}

TEST(DiagramExportTest, WrittenInPiecesTheTextIsTheSame) {
    for (const DiagramTable& table : {oddTable(), DiagramTable{}}) {
        for (const auto format : {DiagramWriter::Format::Json, DiagramWriter::Format::Csv}) {
            for (const std::size_t bytes : {std::size_t{1}, std::size_t{9}}) {
                DiagramWriter writer(table, format);
                std::string pieces;
                while (writer.next(pieces, bytes)) {
                }
                EXPECT_FALSE(writer.next(pieces, bytes));
                EXPECT_EQ(pieces, format == DiagramWriter::Format::Json ? diagramJson(table)
                                                                        : diagramCsv(table));
            }
        }
    }
}

}  // namespace
}  // namespace tg
