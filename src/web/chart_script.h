#pragma once
// A diagram's chart data as the web pages show it, and the script in which the chart page
// hands it to the template's chart drawing code:
//
//   var arr=new Array();            arr[i] is the array of series i's values
//   var arr0 = new Array();
//   arr0[0] = 5;                    one line per value
//   arr[0] = arr0;
//   var arrname=new Array("/a", "/b");   the column labels (x labels)
//   var labelarr=new Array("hits");      the series names (y-axis names)
//
// Log text reaches this script through labels and FIRST/LAST values, so nothing from it is
// written raw: every label and name is a JavaScript string literal with only printable ASCII
// inside, and a value is written bare only when it is a plain decimal number.
//
// Plain functions; chartViewOf takes the diagram manager's and the diagram's locks through
// their operations. The HTTP server's thread.

#include <string>
#include <string_view>
#include <vector>

#include "diagram/diagram_manager.h"

namespace tg {

// The most columns a chart draws. A diagram with more x labels (one per client address, say)
// shows its busiest ones: a million bars cannot be told apart, the page would carry tens of
// megabytes of script, and the browser would stall drawing them. The page says how many were
// left out; the CSV and JSON downloads hold them all.
inline constexpr std::size_t kChartMaxLabels = 1000;

struct ChartView {
    std::vector<std::string> labels;               // column labels, in x-label order
    std::vector<std::string> seriesNames;          // one per series, in y-axis order
    std::vector<std::vector<std::string>> series;  // per series, one value text per column
    // The diagram's x labels; more than labels.size() when the chart leaves some out.
    std::size_t totalLabels = 0;
};

// What is shown when a diagram has nothing to show: two columns and two series, all named
// "No data", every value 1.
ChartView substituteChartView();

// The chart of the diagram named `name`, looked up anew. The substitute when no diagram has
// the name, it is not running, it has no series, or its first series has no values. With
// more than `maxLabels` x labels, only the `maxLabels` with the most records on all axes
// together (the earlier of equal ones), in x-label order.
ChartView chartViewOf(DiagramManager& diagrams, std::string_view name,
                      std::size_t maxLabels = static_cast<std::size_t>(-1));

// Appends the chart data script: the eight kinds of lines shown above, each ended by a line
// feed, between "<SCRIPT ...>", "<!--" and "-->", "</SCRIPT>". When the chart leaves labels
// out, a last line sets `chartnote`, the text the page shows above the chart.
void appendChartScript(std::string& out, const ChartView& chart);

// How a value text is written: "0" when its leading number is zero (atof gives 0, so also
// empty text and text that does not start with a number); the text itself when it is a plain
// decimal number (-12, 0.5, 1.5e+20); otherwise the text as a string literal.
void appendChartValue(std::string& out, std::string_view value);

// Appends `text` as a double-quoted JavaScript string literal that is safe anywhere in a
// script element or an HTML attribute. Every backslash first becomes a slash, so Windows paths
// show as C:/logs. Printable ASCII stays, except the characters " ' < > & (written \x22 \x27
// \x3C \x3E \x26); control bytes (below 0x20, and 0x7F) are written \xNN. Bytes from 0x80
// up become \uXXXX of their character: a valid UTF-8 sequence gives its character (a
// surrogate pair beyond U+FFFF), any other byte the character of the code page
// (Windows-1252). The literal is pure ASCII, so the page never carries invalid UTF-8 in its
// script.
void appendScriptString(std::string& out, std::string_view text);

}  // namespace tg
